// The mini-game's marks: their display slots, grading by the pointer's path, scoring, and the
// score gauge's bar.
#include <algorithm>
#include <cstdint>

#include "base/Vealpha.h"
#include "base/Vergbbits.h"
#include "game/Batonu.h"

namespace {

// A mark is open from its moment for OpenTime ms, shows its grade until RetireTime ms.
constexpr int64_t OpenTime = 200;
constexpr int64_t RetireTime = 700;
constexpr int64_t ApproachTime = -733;
constexpr int64_t AppearTime = -1500;
// Squared distances: closer than 12 pixels is good, closer than 24 near.
constexpr int64_t GoodDistance = 144;
constexpr int64_t NearDistance = 576;
// The approaching animation's frame boundaries, ms before the moment.
constexpr int64_t ApproachSteps[10] = {-666, -600, -533, -466, -400, -333, -266, -200, -133, -66};

int64_t Square(int64_t v) { return v * v; }

// The pointer's path from P to M this frame.
struct TPath {
    int64_t Px, Py, Mx, My;
    bool Moved;
    int64_t L2, A, B, C, N2;
};

TPath MakePath(int32_t px, int32_t py, int32_t mx, int32_t my)
{
    TPath p{px, py, mx, my, px != mx || py != my, 0, 0, 0, 0, 0};
    if (p.Moved) {
        p.L2 = Square(p.Mx - p.Px) + Square(p.My - p.Py);
        p.A = p.My - p.Py;
        p.B = -(p.Mx - p.Px);
        p.C = (p.Mx - p.Px) * p.My - (p.My - p.Py) * p.Mx;
        p.N2 = Square(p.A) + Square(p.B);
    }
    return p;
}

// Squared distance from the mark to the path: its end points, and the line through them when
// the mark lies beside the segment (both ends within the segment's length).
int64_t PathDistance(const TPath& p, int64_t x, int64_t y)
{
    int64_t toNew = Square(p.Mx - x) + Square(p.My - y);
    if (!p.Moved)
        return toNew;
    int64_t toOld = Square(p.Px - x) + Square(p.Py - y);
    int64_t d = std::min(toNew, toOld);
    if (toNew <= p.L2 && toOld <= p.L2 && p.N2 > 0)
        d = std::min(d, Square(p.A * x + p.B * y + p.C) / p.N2);
    return d;
}

}  // namespace

void TBatonUnit::TraceMarks(int steps, int32_t now, int32_t mx, int32_t my)
{
    const TPath path = MakePath(PrevX, PrevY, mx, my);
    for (int i = 0; i < SlotCount;) {
        int k = FirstMark + i;
        if (k >= MarkCount)
            break;
        int slot = (FirstSlot + i) % SlotCount;
        const TBatonMark& mark = Marks[k];
        int64_t dp = int64_t(PrevTime) - mark.Time;
        int64_t dn = int64_t(now) - mark.Time;
        if (dp < 0 && dn >= 0)
            SlotGrade[slot] = grMissed;
        if ((dp >= 0 && dp < OpenTime) || (dn >= 0 && dn < OpenTime)) {
            int64_t d = PathDistance(path, mark.X, mark.Y);
            if (d < GoodDistance)
                SlotGrade[slot] = grGood;
            else if (d < NearDistance && SlotGrade[slot] == grMissed)
                SlotGrade[slot] = grNear;
        }
        if (dp <= OpenTime && dn > OpenTime)
            CloseMark(slot);

        if (dn >= RetireTime) {
            if (SlotState[slot] != dsHidden) {
                SlotState[slot] = dsHidden;
                if (MarkPanel[slot])
                    MarkPanel[slot]->SetVisible(false);
            }
            ++FirstMark;
            FirstSlot = (FirstSlot + 1) % SlotCount;
            continue;  // the same i now names the next mark
        }
        if (dn >= OpenTime) {
            ShowSlot(slot, mark);
            SlotState[slot] = dsGrade;
        } else if (dn >= 0) {
            ShowSlot(slot, mark);
            SlotState[slot] = dsOpen;
        } else if (dn >= ApproachTime) {
            ShowSlot(slot, mark);
            SlotState[slot] = dsApproaching;
            SlotCounter[slot] = int32_t(std::count_if(std::begin(ApproachSteps), std::end(ApproachSteps),
                                                      [dn](int64_t t) { return t <= dn; }));
        } else if (dn >= AppearTime) {
            if (SlotState[slot] == dsAppearing) {
                SlotCounter[slot] += steps;
            } else {
                ShowSlot(slot, mark);
                SlotState[slot] = dsAppearing;
                SlotCounter[slot] = 0;
            }
        }
        ++i;
    }

    for (int i = 0; i < SlotCount && FirstMark + i < MarkCount; ++i) {
        int slot = (FirstSlot + i) % SlotCount;
        TVeRGBPanel* panel = MarkPanel[slot];
        if (!panel)
            continue;
        int32_t counter = SlotCounter[slot];
        switch (SlotState[slot]) {
        case dsAppearing:
            panel->SetBlockIndex(counter < 4 ? counter / 2 : 2);
            break;
        case dsApproaching:
            panel->SetBlockIndex(counter + 3);
            break;
        case dsOpen:
            panel->SetBlockIndex(14);
            break;
        case dsGrade:
            panel->SetBlockIndex(15 + SlotGrade[slot]);
            break;
        default:
            break;
        }
    }
}

// A slot leaving the hidden state gets its mark's place and is shown, also when its first
// frame falls after the appearing phase (a mark early in the movie, or a long frame).
void TBatonUnit::ShowSlot(int slot, const TBatonMark& mark)
{
    if (SlotState[slot] != dsHidden)
        return;
    TVeRGBPanel* panel = MarkPanel[slot];
    if (!panel)
        return;
    panel->SetOffsetX(mark.X - 24);
    panel->SetOffsetY(mark.Y - 24);
    panel->SetBlockIndex(0);
    panel->SetVisible(true);
}

// The mark's window has passed: its grade moves the score, by rules that grow more lenient
// with the retries.
void TBatonUnit::CloseMark(int slot)
{
    int32_t before = Score;
    switch (SlotGrade[slot]) {
    case grMissed:
        if (Retries < 9)
            --Score;
        break;
    case grNear:
        if (Retries >= 3)
            ++Score;
        break;
    default:
        Score += Retries < 6 ? 1 : 2;
        break;
    }
    Score = std::clamp(Score, 0, MaxScore);
    if (Score != before)
        UpdateScore();
    PlaySound(SlotGrade[slot] == grMissed ? ErrSound : OKSound);
}

bool TBatonUnit::PointPanelDraw(TObject*, TVeRGBBits* DestBits, int X, int Y, int SX, int SY, int DX, int DY)
{
    const int s = Score;
    if (s == 0 || s == MaxScore)
        return false;
    if (!DestBits || !PointImage || !PointAlpha)
        return true;
    const int blockHeight = PointImage->Height() / 2;
    int x0 = std::max(SX, 0), x1 = std::min(SX + DX, PointImage->Width());
    int y0 = std::max(SY, 0), y1 = std::min(SY + DY, blockHeight);
    if (x0 >= x1 || y0 >= y1)
        return true;
    struct TRange {
        int From, To, Block;
    };
    const TRange ranges[4] = {
        {0, 243 - 6 * s, 0}, {243 - 6 * s, 245, 1}, {289, 291 + 6 * s, 1}, {291 + 6 * s, 534, 0}};
    for (const TRange& r : ranges) {
        int from = std::max(r.From, x0), to = std::min(r.To, x1);
        if (from >= to)
            continue;
        DestBits->DrawAlphaMask(X + (from - SX), Y + (y0 - SY), PointImage, from, r.Block * blockHeight + y0, to - from,
                                y1 - y0, PointAlpha);
    }
    return true;
}
