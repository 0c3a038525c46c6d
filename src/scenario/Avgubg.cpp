// Backgrounds, the three character slots with their eight-frame motions, and eye blinking.
#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

#include "archive/Vefileman.h"
#include "base/Vealpha.h"
#include "base/Verect.h"
#include "base/Vergbbits.h"
#include "game/Zbdata.h"
#include "game/Zbfunc.h"
#include "game/Zbglobals.h"
#include "panels/Vergbpanel.h"
#include "scenario/Avgu.h"

namespace {

std::string Format(const char* format, int value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

int ModeA()
{
    return GetGameModeA(GameData);
}

int ModeB()
{
    return GetGameModeB(GameData);
}

int RandomOf(int n)
{
    return GameRandom ? GameRandom->Random(n) : 0;
}

// The tint of a variant picture, applied to the figures in front of it.
uint32_t EffectTint(int effect)
{
    switch (effect) {
    case 1: return 0x6D6D6D;
    case 2: return 0x80705C;
    case 3: return 0x808070;
    case 4: return 0x5E5E6D;
    default: return 0;
    }
}

void ApplyTone(TVeRGBBits* bits, int tone)
{
    if (!bits || !bits->Created())
        return;
    const int x2 = bits->Width() - 1;
    const int y2 = bits->Height() - 1;
    if (tone == 1) {
        bits->Sepia(0, 0, x2, y2);
    } else if (tone == 2) {
        bits->Monochrome(0, 0, x2, y2);
        bits->Negative(0, 0, x2, y2);
    }
}

}  // namespace

void TAvgUnit::LoadBackground()
{
    // Remainder and quotient truncate toward zero, so a negative request falls into the scene
    // pictures: -7 is file 3 (ModeA 0), -300 is file -297, which no archive holds.
    const int n = BGRequest % 1000;
    const bool ordinary = BGRequest < 1000;
    const int modeA = ModeA();
    const int modeB = ModeB();
    int f = n;
    int weather = 0;
    if (n == 997) {
        weather = modeB == 2 ? 1 : modeB == 3 ? 2 : 0;
    } else if (n < 500) {
        const int base = n / 10 * 10;
        switch (modeB) {
        case 1: f = base + 6; break;
        case 2: f = base + 6; weather = 1; break;
        case 3: f = base + 7; weather = 2; break;
        case 4: f = base; weather = 3; break;
        case 5: f = base; weather = 4; break;
        default:
            f = modeA == 1 ? base : modeA == 2 ? base + 1 : modeA == 3 ? base + 2 : base + 3;
            break;
        }
    }
    if (f == BGFileNo && weather == WeatherKind)
        return;
    BGShownRequest = BGRequest;
    BGFileNo = f;
    if (f >= 500 && f < 756)
        SetSysOpenFlag(SysData, f - 500);
    WeatherKind = 0;
    BGEffect = 0;
    BGTone = 0;
    TVeRGBBits* bits = BGPanel->Image();
    BGPanel->SetModify();
    if (!bits || !bits->Created())
        return;

    auto exists = [this](const std::string& name) { return BGFile && BGFile->FileIsExist(name); };
    auto drawAt = [&](const std::string& name, int x, int y) {
        SelectGnyKeyTable(0);
        if (!DrawImageFileWM(bits, nullptr, name, x, y, BGFile))
            bits->Cls();
    };

    std::string name;
    if (f == 999) {
        bits->BoxFill(0, 0, bits->Width() - 1, bits->Height() - 1, 0x000000);
    } else if (f == 998) {
        bits->BoxFill(0, 0, bits->Width() - 1, bits->Height() - 1, 0xFFFFFF);
    } else if (f == 997) {
        bits->Cls();
        WeatherKind = modeB == 2 ? 1 : modeB == 3 ? 2 : modeB == 4 ? 3 : modeB == 5 ? 4 : 0;
    } else if (f == 995 || f == 996) {
        const int picture = f == 995 ? 508 : 509;
        name = Format("zbbg%03d.lzh", picture);
        if (!exists(name))
            name = Format("zbbg%03d.jpg", picture);
        if (exists(name))
            drawAt(name, f == 995 ? 0 : -640, f == 995 ? -480 : 0);
        else
            bits->Cls();
    } else {
        if (f < 500) {
            const int t = f / 10;
            auto variant = [t](int v) { return Format("zbbg%02d", t) + char('0' + v) + ".jpg"; };
            if (ordinary && modeB == 2)
                WeatherKind = 1;
            if (ordinary && modeB == 3)
                WeatherKind = 2;
            if (modeB == 4)
                WeatherKind = 3;
            if (modeB == 5)
                WeatherKind = 4;
            if (modeA != 3) {
                if (modeB == 1 || modeB == 2) {
                    if (exists(variant(6))) {
                        name = variant(6);
                        if (ordinary)
                            BGEffect = 1;
                    }
                } else if (modeB == 3) {
                    if (exists(variant(7))) {
                        name = variant(7);
                    } else if (exists(variant(6))) {
                        name = variant(6);
                        if (ordinary)
                            BGEffect = 1;
                    }
                }
            }
            if (name.empty()) {
                switch (modeA) {
                case 1:
                    if (exists(variant(0)))
                        name = variant(0);
                    break;
                case 2:
                    if (exists(variant(1))) {
                        name = variant(1);
                        BGEffect = ordinary ? 2 : 3;
                    }
                    break;
                case 3:
                    if (exists(variant(2))) {
                        name = variant(2);
                        BGEffect = ordinary ? 4 : 5;
                    }
                    break;
                default:
                    if (exists(variant(3)))
                        name = variant(3);
                    break;
                }
            }
            if (modeB == 4)
                BGTone = 1;
            else if (modeB == 5)
                BGTone = 2;
            if (name.empty())
                name = variant(0);
        } else {
            name = Format("zbbg%03d.lzh", f);
            if (!exists(name))
                name = Format("zbbg%03d.jpg", f);
        }
        if (!exists(name)) {
            bits->Cls();
        } else {
            drawAt(name, 0, 0);
            ApplyTone(bits, BGTone);
        }
    }
    if (WeatherKind >= 1 && WeatherKind <= 3)
        WeatherInit();
}

void TAvgUnit::TintPicture(TVeRGBBits* bits)
{
    if (!bits || !bits->Created())
        return;
    if (const uint32_t tint = EffectTint(BGEffect))
        bits->ToneChange(0, 0, bits->Width() - 1, bits->Height() - 1, tint);
    ApplyTone(bits, BGTone);
}

void TAvgUnit::PlaceFigure(int slot, TVeRGBPanel* panel)
{
    panel->SetOffsetX(160 * (slot + 1) - panel->SizeX() / 2);
    panel->SetOffsetY((480 - panel->SizeY()) / 2);
}

void TAvgUnit::ClearEyes(int slot)
{
    if (slot < 0 || slot > 2)
        return;
    if (EyeImage[slot])
        EyeImage[slot]->Release();
    if (EyeAlpha[slot])
        EyeAlpha[slot]->Release();
    EyeHasAlpha[slot] = false;
    EyeX[slot] = -1;
    EyeY[slot] = -1;
}

void TAvgUnit::LoadCharacter(int slot)
{
    if (slot < 0 || slot > 2 || CharRequest[slot] == CharNo[slot])
        return;
    const int request = CharRequest[slot];
    TVeRGBPanel* panel = SlotPanel(slot);
    CharNo[slot] = request;
    ReleasePanelImage(panel);
    ClearEyes(slot);
    if (request < 0) {
        panel->SetVisible(false);
        return;
    }
    if (request == 999) {
        panel->SetSizeX(16);
        panel->SetSizeY(16);
        if (InitPanelImage(panel, true) && panel->Alpha())
            panel->Alpha()->Fill(0);
        PlaceFigure(slot, panel);
        panel->SetVisible(true);
        CharLevel[slot] = 128;
        return;
    }
    const std::string name = Format("zbchr%03d.png", request);
    if (!CGFile || !CGFile->FileIsExist(name) || !LoadPanelImage(panel, name, CGFile)) {
        CharNo[slot] = -1;
        panel->SetVisible(false);
        return;
    }
    TintPicture(panel->Image());
    PlaceFigure(slot, panel);
    panel->SetVisible(true);
    panel->SetModify();
    CharLevel[slot] = 128;

    for (int row = 0; row < EyeRows; ++row) {
        const TEyeTable& eye = EyeTable[row];
        if (eye.CharNo < 0 || eye.CharNo != request)
            continue;
        TVeRGBBits* strip = EyeImage[slot];
        TVeAlpha* alpha = EyeAlpha[slot];
        if (!strip || !alpha)
            break;
        bool drawn = false;
        const std::string png = Format("zbeye%03d.png", request);
        if (CGFile->FileIsExist(png) && DrawImageFileWM(strip, alpha, png, 0, 0, CGFile)) {
            EyeHasAlpha[slot] = alpha->Created() && alpha->Width() >= strip->Width() &&
                                alpha->Height() >= strip->Height();
            drawn = true;
        } else {
            const std::string bmp = Format("zbeye%03d.bmp", request);
            if (DrawImageFileWM(strip, nullptr, bmp, 0, 0, CGFile)) {
                EyeHasAlpha[slot] = false;
                drawn = true;
            }
        }
        // A strip must hold two frames; a row that places the eyes off the figure's top left
        // would mark and draw outside it.
        if (!drawn || !strip->Created() || strip->Height() < 2 || eye.EyeX < 0 || eye.EyeY < 0) {
            ClearEyes(slot);
            break;
        }
        TintPicture(strip);
        EyeX[slot] = eye.EyeX;
        EyeY[slot] = eye.EyeY;
        EyeTimer[slot] = 0;
        break;
    }
}

void TAvgUnit::MoveToOutPanel(TVeRGBPanel* from, TVeRGBPanel* to)
{
    if (!from || !to || from == to)
        return;
    ReleasePanelImage(to);
    const bool autoSize = to->AutoSize();
    to->SetAutoSize(false);
    to->SetImage(from->Image());
    to->SetAlpha(from->Alpha());
    to->SetMaskMode(from->MaskMode());
    to->SetSizeX(from->SizeX());
    to->SetSizeY(from->SizeY());
    to->SetOffsetX(from->OffsetX());
    to->SetOffsetY(from->OffsetY());
    to->SetAutoSize(autoSize);
    to->SetVisible(from->Visible());
    to->SetModify();
    from->SetImage(nullptr);
    from->SetAlpha(nullptr);
    from->SetVisible(false);
}

void TAvgUnit::MoveEyes(int to, int from)
{
    if (to < 0 || to > 2 || from < 0 || from > 2 || to == from)
        return;
    if (EyeImage[to])
        EyeImage[to]->Release();
    if (EyeAlpha[to])
        EyeAlpha[to]->Release();
    std::swap(EyeImage[to], EyeImage[from]);
    std::swap(EyeAlpha[to], EyeAlpha[from]);
    EyeHasAlpha[to] = EyeHasAlpha[from];
    EyeHasAlpha[from] = false;
    EyeX[to] = EyeX[from];
    EyeY[to] = EyeY[from];
    EyeTimer[to] = EyeTimer[from];
    EyeX[from] = -1;
    EyeY[from] = -1;
}

void TAvgUnit::ApplyCharOrder(const std::array<int, 3>& order)
{
    TVeRGBPanel* p0 = SlotPanel(order[0]);
    TVeRGBPanel* p1 = SlotPanel(order[1]);
    TVeRGBPanel* p2 = SlotPanel(order[2]);
    if (p0 && p1 && p2) {
        BGPanel->RaiseOrder(p1, p2);
        BGPanel->RaiseOrder(p0, p1);
    }
}

void TAvgUnit::ApplyCharOutOrder(const std::array<int, 3>& order)
{
    TVeRGBPanel* p0 = OutPanel(order[0]);
    TVeRGBPanel* p1 = OutPanel(order[1]);
    TVeRGBPanel* p2 = OutPanel(order[2]);
    if (p0 && p1 && p2) {
        BGPanel->RaiseOrder(p1, p2);
        BGPanel->RaiseOrder(p0, p1);
    }
}

void TAvgUnit::ChangeCharacters(int kind, int slot)
{
    if (CtrlSkip || SkipMode) {
        if (kind == 4)
            CharRequest = {-1, -1, -1};
        kind = 0;
    }
    for (int s = 0; s < 3; ++s) {
        CharInKind[s] = 0;
        CharOutKind[s] = 0;
        EyeTimer[s] = 0;
        ReleasePanelImage(OutPanel(s));
        OutPanel(s)->SetVisible(false);
    }
    auto moveOut = [this](int s, int outKind) {
        MoveToOutPanel(SlotPanel(s), OutPanel(s));
        ClearEyes(s);
        CharNo[s] = -1;
        CharOutKind[s] = outKind;
    };
    // Hands the figure of slot from to slot to, where the script asked it to move.
    auto handOver = [this](int from, int to) {
        MoveToOutPanel(SlotPanel(from), SlotPanel(to));
        MoveEyes(to, from);
        CharNo[to] = CharNo[from];
        CharNo[from] = -1;
    };
    switch (kind) {
    case 1:
        ChangeScene(2, 2);
        return;
    case 2:
        if (slot == 0 || slot == 2) {
            const int side = slot;
            const int other = 2 - slot;
            const int sideKind = slot == 0 ? 2 : 3;
            if (CharNo[side] >= 0)
                moveOut(side, sideKind);
            LoadCharacter(side);
            if (CharNo[side] >= 0)
                CharInKind[side] = sideKind;
            // The centre figure moves aside (to the other side), or the other side's figure
            // moves to the centre.
            const int aside = slot == 0 ? 2 : 1;
            const int toCentre = slot == 0 ? 4 : 3;
            if (CharMove == aside) {
                if (CharRequest[other] == CharNo[1] && CharRequest[1] == -1 && CharNo[1] >= 0) {
                    handOver(1, other);
                } else {
                    LoadCharacter(1);
                    LoadCharacter(other);
                }
                if (CharNo[other] != 0)
                    CharInKind[other] = sideKind;
            } else if (CharMove == toCentre) {
                if (CharRequest[1] == CharNo[other] && CharRequest[other] == -1 && CharNo[other] >= 0) {
                    handOver(other, 1);
                } else {
                    LoadCharacter(1);
                    LoadCharacter(other);
                }
                // The other side's figure slides to the centre, towards the changed slot.
                if (CharNo[1] != 0)
                    CharInKind[1] = slot == 0 ? 3 : 2;
            } else {
                LoadCharacter(1);
                LoadCharacter(other);
            }
        } else if (slot == 1) {
            if (CharNo[1] >= 0)
                moveOut(1, 1);
            LoadCharacter(1);
            if (CharNo[1] >= 0)
                CharInKind[1] = 1;
            LoadCharacter(0);
            LoadCharacter(2);
        } else {
            for (int s = 0; s < 3; ++s)
                LoadCharacter(s);
        }
        break;
    case 3: {
        const int inKinds[3] = {2, 1, 3};
        for (int s = 0; s < 3; ++s) {
            LoadCharacter(s);
            if (CharNo[s] >= 0)
                CharInKind[s] = inKinds[s];
        }
        break;
    }
    case 4: {
        const int outKinds[3] = {2, 1, 3};
        for (int s = 0; s < 3; ++s) {
            LoadCharacter(s);
            CharRequest[s] = -1;
            if (CharNo[s] >= 0)
                moveOut(s, outKinds[s]);
        }
        break;
    }
    case 5:
        for (int s = 0; s < 3; ++s) {
            if (CharRequest[s] == CharNo[s])
                continue;
            const bool left = CharNo[s] >= 0;
            if (left)
                moveOut(s, 1);
            LoadCharacter(s);
            // A replacement cross-fades over four frames; a figure entering an empty slot
            // fades in over eight.
            if (CharNo[s] >= 0) {
                CharInKind[s] = left ? 4 : 1;
                if (left)
                    CharOutKind[s] = 4;
            } else if (left) {
                CharOutKind[s] = 1;
            }
        }
        break;
    default:
        for (int s = 0; s < 3; ++s)
            LoadCharacter(s);
        kind = 0;
        break;
    }
    ApplyCharOutOrder(CharOrder);
    CharOrder = CharOrderRequest;
    ApplyCharOrder(CharOrder);
    if (kind == 0) {
        Wait(1);
    } else {
        Phase = 5;
        StepCount = 0;
        DrawCharStep();
        SvcResetFrameCounters();
    }
    SvcForceRender();
}

void TAvgUnit::DrawCharStep()
{
    const int n = std::clamp(StepCount, 0, 8);
    for (int s = 0; s < 3; ++s) {
        TVeRGBPanel* panel = SlotPanel(s);
        TVeRGBPanel* out = OutPanel(s);
        if (Phase != 5) {
            if (panel->Visible()) {
                PlaceFigure(s, panel);
                CharLevel[s] = 128;
                panel->SetModify();
            }
            out->SetVisible(false);
            continue;
        }
        if (panel->Visible()) {
            const int x0 = 160 * (s + 1) - panel->SizeX() / 2;
            int x = x0;
            int level = 128;
            switch (CharInKind[s]) {
            case 1: level = 16 * n; break;
            case 2:
                x = x0 - 20 * (8 - n);
                level = s == 0 ? 16 * n : 128;
                break;
            case 3:
                x = x0 + 20 * (8 - n);
                level = s == 2 ? 16 * n : 128;
                break;
            case 4: level = n < 4 ? 32 * n : 128; break;
            default: break;
            }
            panel->SetModify();
            panel->SetOffsetX(x);
            panel->SetOffsetY((480 - panel->SizeY()) / 2);
            CharLevel[s] = level;
            panel->SetModify();
        }
        if (out->Visible()) {
            const int x0 = 160 * (s + 1) - out->SizeX() / 2;
            int x = x0;
            int level = 16 * (8 - n);
            switch (CharOutKind[s]) {
            case 2: x = x0 - 20 * n; break;
            case 3: x = x0 + 20 * n; break;
            case 4: level = n < 4 ? 128 : 32 * (8 - n); break;
            default: break;
            }
            out->SetModify();
            out->SetOffsetX(x);
            out->SetOffsetY((480 - out->SizeY()) / 2);
            CharOutLevel[s] = level;
            out->SetModify();
        }
    }
}

void TAvgUnit::MarkEyes(int slot)
{
    TVeRGBBits* strip = EyeImage[slot];
    if (!strip || !strip->Created())
        return;
    SlotPanel(slot)->SetModifyRect(
        VeRect(EyeX[slot], EyeY[slot], EyeX[slot] + strip->Width(), EyeY[slot] + strip->Height() / 2));
}

void TAvgUnit::EyeBlink()
{
    for (int s = 0; s < 3; ++s) {
        if (EyeX[s] < 0)
            continue;
        int& t = EyeTimer[s];
        bool redraw = false;
        if (t == 0) {
            t = 1014 + RandomOf(60);
        } else if (t < 1000) {
            --t;
        } else if (t == 1000) {
            t = 2090;
        } else if (t < 2000) {
            --t;
            redraw = t <= 1014 && t % 2 == 0;
        } else if (t == 2000) {
            t = 3014 + RandomOf(60);
        } else if (t < 3000) {
            --t;
        } else if (t == 3000) {
            t = 90;
        } else if (t < 4000) {
            --t;
            redraw = t <= 3006 && t % 2 == 0;
        }
        if (redraw)
            MarkEyes(s);
    }
}

void TAvgUnit::DrawEyes(int slot, TVeRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy)
{
    const int t = EyeTimer[slot];
    if (!((t >= 1000 && t <= 1014) || (t >= 3000 && t <= 3006)))
        return;
    const int k = (t % 1000) / 2;
    int frame = 0;
    if (k == 1 || k == 3 || k == 5 || k == 7)
        frame = 1;
    else if (k == 2 || k == 6)
        frame = 2;
    TVeRGBBits* strip = EyeImage[slot];
    if (frame == 0 || !strip || !strip->Created())
        return;
    const int fh = strip->Height() / 2;
    TVeRect area;
    if (!area.IntersectRect(VeRect(sx, sy, sx + dx, sy + dy),
                            VeRect(EyeX[slot], EyeY[slot], EyeX[slot] + strip->Width(), EyeY[slot] + fh)))
        return;
    const int srcX = area.left - EyeX[slot];
    const int srcY = area.top - EyeY[slot] + (frame - 1) * fh;
    const int toX = x + area.left - sx;
    const int toY = y + area.top - sy;
    if (EyeHasAlpha[slot] && EyeAlpha[slot])
        dest->DrawAlphaMask(toX, toY, strip, srcX, srcY, area.Width(), area.Height(), EyeAlpha[slot]);
    else
        dest->Draw(toX, toY, strip, srcX, srcY, area.Width(), area.Height());
}

bool TAvgUnit::DrawCharLevel(TVeRGBPanel* panel, int level, TVeRGBBits* dest, int x, int y, int sx, int sy,
                             int dx, int dy)
{
    TVeRGBBits* image = panel->Image();
    if (!image || !image->Created() || level <= 0)
        return true;
    TVeRect area;
    if (!area.IntersectRect(VeRect(sx, sy, sx + dx, sy + dy), VeRect(0, 0, image->Width(), image->Height())))
        return true;
    const int toX = x + area.left - sx;
    const int toY = y + area.top - sy;
    TVeAlpha* alpha = panel->MaskMode() == mmAlphaMask ? panel->Alpha() : nullptr;
    if (!alpha) {
        if (level >= 128)
            dest->Draw(toX, toY, image, area.left, area.top, area.Width(), area.Height());
        else
            dest->AlphaBlend(toX, toY, image, area.left, area.top, area.Width(), area.Height(), level);
    } else {
        if (level >= 128)
            dest->DrawAlphaMask(toX, toY, image, area.left, area.top, area.Width(), area.Height(), alpha);
        else
            dest->DrawDoubleAlphaMask(toX, toY, image, area.left, area.top, area.Width(), area.Height(), alpha,
                                      level);
    }
    return true;
}

bool TAvgUnit::DrawSlotPanel(int slot, TVeRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy)
{
    TVeRGBPanel* panel = SlotPanel(slot);
    DrawCharLevel(panel, CharLevel[slot], dest, x, y, sx, sy, dx, dy);
    if (EyeX[slot] >= 0 && CharLevel[slot] == 128)
        DrawEyes(slot, dest, x, y, sx, sy, dx, dy);
    return true;
}

bool TAvgUnit::DrawOutPanel(int slot, TVeRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy)
{
    if (Phase != 5)
        return false;
    return DrawCharLevel(OutPanel(slot), CharOutLevel[slot], dest, x, y, sx, sy, dx, dy);
}

bool TAvgUnit::BGPanelDraw(TObject*, TVeRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy)
{
    if (Phase == 4) {
        if (TransMode == 1 && TransImage)
            dest->ClipDraw(x, y, TransImage, sx, sy, dx, dy);
        return true;
    }
    if (Phase == 11 && ShakeKind >= 0 && ShakeKind <= 3 && ShakeImage) {
        dest->BoxFill(x, y, x + dx - 1, y + dy - 1, 0x000000);
        TVeRect area;
        const TVeRect shifted = VeRect(ShakeX, ShakeY, ShakeX + ShakeImage->Width(), ShakeY + ShakeImage->Height());
        if (area.IntersectRect(VeRect(sx, sy, sx + dx, sy + dy), shifted))
            dest->Draw(x + area.left - sx, y + area.top - sy, ShakeImage, area.left - ShakeX, area.top - ShakeY,
                       area.Width(), area.Height());
        return true;
    }
    return false;
}
