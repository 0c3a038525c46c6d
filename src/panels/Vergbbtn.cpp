#include "panels/Vergbbtn.h"

#include <climits>

TVeRGBBtn::TVeRGBBtn(TComponent* Owner) : TVeRGBPanel(Owner)
{
    SetSizeX(98);
    SetSizeY(31);
    InitFields();
}

TVeRGBBtn::TVeRGBBtn(TComponent* Owner, TVeRGBPanel* Parent) : TVeRGBPanel(Owner, Parent)
{
    InitFields();
}

void TVeRGBBtn::InitFields()
{
    FEnabled = true;
    FSelected = false;
    FPatNormal = 1;
    FPatFocus = 0;
    FPatSelected = 0;
    FPatDown = 0;
    FPatDisable = 0;
    FAnimeWait = 1;
    FAnimeType = batWraparound;
    FAnimeCount = 0;
    FForward = true;
    FMouseInside = false;
}

void TVeRGBBtn::SetEnabled(bool v)
{
    if (v == FEnabled)
        return;
    FEnabled = v;
    ChangeState();
}

void TVeRGBBtn::SetSelected(bool v)
{
    if (v == FSelected)
        return;
    FSelected = v;
    ChangeState();
}

void TVeRGBBtn::SetPattern(int& field, int v, int minimum)
{
    if (v < minimum || v == field)
        return;
    // A total past the int range would wrap the block count; such a count is refused.
    const int64_t total = int64_t(FPatNormal) + FPatFocus + FPatSelected + FPatDown + FPatDisable - field + v;
    if (total > INT_MAX)
        return;
    field = v;
    SetNumBlock(static_cast<int>(total));
    ChangeState();
}

void TVeRGBBtn::SetPatNormal(int v) { SetPattern(FPatNormal, v, 1); }
void TVeRGBBtn::SetPatFocus(int v) { SetPattern(FPatFocus, v, 0); }
void TVeRGBBtn::SetPatSelected(int v) { SetPattern(FPatSelected, v, 0); }
void TVeRGBBtn::SetPatDown(int v) { SetPattern(FPatDown, v, 0); }
void TVeRGBBtn::SetPatDisable(int v) { SetPattern(FPatDisable, v, 0); }

void TVeRGBBtn::SetAnimeWait(int v)
{
    if (v >= 0 && v != FAnimeWait)
        FAnimeWait = v;
}

void TVeRGBBtn::SetAnimeType(TBtnAnimeType v)
{
    if (v == FAnimeType)
        return;
    FAnimeType = v;
    if (v == batWraparound)
        FForward = true;
}

TVeRGBBtn::TBlockRange TVeRGBBtn::StateRange() const
{
    // The first state that applies and has frames wins; one without frames falls through.
    const int n = FPatNormal, f = FPatFocus, s = FPatSelected, d = FPatDown, x = FPatDisable;
    if (!FEnabled && x > 0)
        return {n + f + s + d, n + f + s + d + x};
    if (FSelected && s > 0)
        return {n + f, n + f + s};
    if (Pressed() && d > 0)
        return {n + f + s, n + f + s + d};
    if (FMouseInside && f > 0)
        return {n, n + f};
    return {0, n};
}

void TVeRGBBtn::ChangeState()
{
    SetBlockIndex(StateRange().Lo);
    FAnimeCount = 0;
}

void TVeRGBBtn::CallOnClick()
{
    if (FEnabled)
        TVeRGBPanel::CallOnClick();
}

void TVeRGBBtn::CallOnMouseDown(TMouseButton Button, TShiftState Shift, int X, int Y)
{
    if (FPatDown > 0)
        ChangeState();
    TVeRGBPanel::CallOnMouseDown(Button, Shift, X, Y);
}

void TVeRGBBtn::CallOnMouseUp(TMouseButton Button, TShiftState Shift, int X, int Y)
{
    if (FPatDown > 0)
        ChangeState();
    TVeRGBPanel::CallOnMouseUp(Button, Shift, X, Y);
}

void TVeRGBBtn::CallOnMouseEnter()
{
    FMouseInside = true;
    if (FPatFocus > 0)
        ChangeState();
    TVeRGBPanel::CallOnMouseEnter();
}

void TVeRGBBtn::CallOnMouseLeave()
{
    FMouseInside = false;
    if (FPatFocus > 0)
        ChangeState();
    TVeRGBPanel::CallOnMouseLeave();
}

void TVeRGBBtn::CallOnAnime()
{
    if (!Visible())
        return;
    if (++FAnimeCount >= FAnimeWait) {
        FAnimeCount = 0;
        const TBlockRange range = StateRange();
        const int c = BlockIndex();
        int next;
        if (FForward) {
            next = c + 1;
            if (next >= range.Hi) {
                if (FAnimeType == batRoundtrip) {
                    FForward = false;
                    next = range.Hi - 2;
                } else {
                    next = range.Lo;
                }
            }
        } else {
            next = c - 1;
            if (next < range.Lo) {
                FForward = true;
                next = range.Lo + 1;
            }
        }
        if (next < range.Lo)
            next = range.Lo;
        if (next >= range.Hi)
            next = range.Hi - 1;
        if (next != c)
            SetBlockIndex(next);
    }
    TVeRGBPanel::CallOnAnime();
}

void TVeRGBBtn::StatusClear()
{
    FMouseInside = false;
    TVeRGBPanel::StatusClear();
}
