// Weather over the background: rain streaks, falling snow and film scratches, drawn by the two
// weather panels (behind and in front of the figures) and moved once per frame.
#include "base/Verect.h"
#include "base/Vergbbits.h"
#include "game/Zbdata.h"
#include "game/Zbfunc.h"
#include "panels/Vergbpanel.h"
#include "scenario/Avgu.h"

namespace {

constexpr uint32_t StreakColour = 0x202020;

int RandomOf(int n)
{
    return GameRandom ? GameRandom->Random(n) : 0;
}

int Rnd()
{
    return GameRandom ? GameRandom->Rnd() : 0;
}

struct TFlake {
    int First;
    int Last;  // inclusive
    int CellX;
    int Size;
    bool Front;
};

// The snow groups by particle, with their cell of "Snow.bmp".
constexpr TFlake Flakes[] = {
    {0, 41, 36, 8, false},
    {42, 77, 26, 10, false},
    {78, 105, 14, 12, true},
    {106, 127, 0, 14, true},
};

}  // namespace

void TAvgUnit::WeatherInit()
{
    switch (WeatherKind) {
    case 1:
        for (int i = 0; i < WeatherParticles; ++i) {
            WeatherX[i] = static_cast<int16_t>(RandomOf(640));
            WeatherY[i] = static_cast<int16_t>(RandomOf(480) - 120);
        }
        break;
    case 2:
        for (int i = 0; i < WeatherParticles; ++i) {
            WeatherX[i] = static_cast<int16_t>(RandomOf(704) - 32);
            WeatherY[i] = static_cast<int16_t>(RandomOf(480) - 480);
        }
        WeatherDrift = {0, 1, 2, 1};
        break;
    case 3:
        for (int i = 0; i < 4; ++i) {
            WeatherX[i] = static_cast<int16_t>(RandomOf(640));
            WeatherDrift[i] = 0;
        }
        break;
    default:
        break;
    }
    WeatherCount = 0;
}

void TAvgUnit::WeatherUpdate(int steps)
{
    switch (WeatherKind) {
    case 1:
    case 3:
        WeatherCount += steps;
        if (WeatherCount < 2)
            return;
        WeatherCount = 0;
        if (WeatherKind == 1) {
            WeatherInit();
        } else {
            for (int i = 0; i < 4; ++i) {
                if (RandomOf(60) != 0) {
                    WeatherDrift[i] = RandomOf(5) - 2;
                } else {
                    WeatherX[i] = static_cast<int16_t>(RandomOf(640));
                    WeatherDrift[i] = 0;
                }
            }
        }
        break;
    case 2: {
        // The motion repeats every 32 counts: wrapping by a multiple of that changes nothing
        // and keeps a scene left running for years from overflowing.
        if (++WeatherCount >= (1 << 30))
            WeatherCount -= 1 << 30;
        if (WeatherCount % 2 == 0)
            return;
        if ((WeatherCount / 2) % 4 == 0) {
            const int j = (WeatherCount / 8) % 4;
            std::array<int32_t, 4>& w = WeatherDrift;
            if (j < 3) {
                w[j] = w[j + 1];
            } else {
                w[3] += w[2] - w[1];
                if (w[3] == -3)
                    w[3] = -1;
                else if (w[3] == 3)
                    w[3] = 1;
            }
        }
        for (int i = 0; i < WeatherParticles; ++i) {
            int dx;
            int dy;
            if (i < 42) {
                dx = WeatherDrift[0];
                dy = 4;
            } else if (i < 78) {
                dx = WeatherDrift[1];
                dy = 5;
            } else if (i < 106) {
                dx = 2 * WeatherDrift[2];
                dy = 6 + (Rnd() & 3);
            } else {
                dx = 2 * WeatherDrift[3];
                dy = 6 + (Rnd() & 7);
            }
            WeatherX[i] = static_cast<int16_t>(WeatherX[i] + dx);
            WeatherY[i] = static_cast<int16_t>(WeatherY[i] + dy);
            if (WeatherY[i] > 494) {
                WeatherX[i] = static_cast<int16_t>(RandomOf(704) - 32);
                WeatherY[i] = -14;
            }
        }
        break;
    }
    default:
        return;
    }
    WeatherBack->SetModify();
    WeatherFront->SetModify();
}

bool TAvgUnit::WeatherDraw(bool front, TVeRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy)
{
    if (!dest)
        return true;
    // The region in the destination's coordinates; a panel point p lands at p - (sx, sy) + (x, y).
    const TVeRect clip = VeRect(x, y, x + dx, y + dy);
    const int ox = x - sx;
    const int oy = y - sy;
    switch (WeatherKind) {
    case 1: {
        const int first = front ? 64 : 0;
        for (int i = first; i < first + 64; ++i) {
            const int px = WeatherX[i] + ox;
            const int py = WeatherY[i] + oy;
            DrawAddLine(dest, px, py, px, py + 239, StreakColour, clip);
        }
        break;
    }
    case 2:
        if (!SnowImage || !SnowImage->Created())
            break;
        for (const TFlake& group : Flakes) {
            if (group.Front != front)
                continue;
            // A "Snow.bmp" too small for this cell has no flake to draw.
            if (SnowImage->Width() < group.CellX + group.Size || SnowImage->Height() < group.Size)
                continue;
            for (int i = group.First; i <= group.Last; ++i) {
                TVeRect area;
                const TVeRect flake =
                    VeRect(WeatherX[i] + ox, WeatherY[i] + oy, WeatherX[i] + ox + group.Size, WeatherY[i] + oy + group.Size);
                if (!area.IntersectRect(flake, clip))
                    continue;
                dest->SaturationAdd(area.left, area.top, SnowImage, group.CellX + area.left - flake.left,
                                    area.top - flake.top, area.Width(), area.Height());
            }
        }
        break;
    case 3:
        if (!front)
            break;
        for (int i = 0; i < 4; ++i) {
            const int px = WeatherX[i] + WeatherDrift[i] + ox;
            DrawSubLine(dest, px, oy, px, oy + 479, StreakColour, clip);
            DrawSubLine(dest, px + 1, oy, px + 1, oy + 479, StreakColour, clip);
        }
        break;
    default:
        break;
    }
    return true;
}
