#include "game/Zbeffectdata.h"

#include <algorithm>
#include <cmath>
#include <fstream>

#include "game/Zbeffect.h"

namespace {

constexpr double Pi = 3.14159265358979323846;

uint8_t Byte(double v)
{
    return static_cast<uint8_t>(std::lround(std::fmin(std::fmax(v, 0.0), 255.0)));
}

// 0..1, growing clockwise from twelve o'clock.
double Turn(double x, double y)
{
    double a = std::atan2(x, -y) / (2 * Pi);
    return a < 0 ? a + 1 : a;
}

double Frac(double v)
{
    return v - std::floor(v);
}

uint32_t NextRandom(uint32_t& state)
{
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

void Put16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

std::vector<uint8_t> BmpHeader(int width, int height, int bits, int paletteEntries, uint32_t imageBytes)
{
    std::vector<uint8_t> out;
    const uint32_t offset = 14 + 40 + 4 * paletteEntries;
    out.push_back('B');
    out.push_back('M');
    Put32(out, offset + imageBytes);
    Put32(out, 0);
    Put32(out, offset);
    Put32(out, 40);
    Put32(out, uint32_t(width));
    Put32(out, uint32_t(height));
    Put16(out, 1);
    Put16(out, uint32_t(bits));
    Put32(out, 0);
    Put32(out, imageBytes);
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, uint32_t(paletteEntries));
    Put32(out, 0);
    return out;
}

bool WriteFile(const std::string& folder, const std::string& name, const std::vector<uint8_t>& bytes)
{
    std::ofstream file(folder + "/" + name, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file.flush());
}

}  // namespace

std::vector<uint8_t> MakeWaterDistTable()
{
    std::vector<uint8_t> out;
    out.reserve(WaterDistBytes);
    for (int dy = 0; dy < WaterDistRows; ++dy)
        for (int dx = 0; dx < WaterDistColumns; ++dx)
            Put16(out, uint32_t(std::lround(std::hypot(dx + 0.5, dy + 0.5))));
    return out;
}

std::vector<uint8_t> MakeWaterSinTable()
{
    std::vector<uint8_t> out(WaterSinBytes);
    for (int i = 0; i < WaterSinBytes; ++i)
        out[size_t(i)] = Byte(127 + 127 * std::sin(2 * Pi * i / 256));
    return out;
}

std::vector<uint8_t> MakeWaterMultiTable()
{
    std::vector<uint8_t> out(WaterMultiBytes);
    for (int a = 0; a < WaterMultiRows; ++a)
        for (int w = 0; w < WaterMultiColumns; ++w)
            out[size_t(a * WaterMultiColumns + w)] = Byte(127 + std::round((w - 127) * a * 12.0 / (31 * 127)));
    return out;
}

std::vector<uint8_t> MakeFadeMaskPlane(int index, int width, int height)
{
    std::vector<uint8_t> plane(size_t(width) * size_t(height));
    const double cx = width / 2.0, cy = height / 2.0;
    const double rmax = std::hypot(cx, cy);
    uint32_t seed = 12345u + uint32_t(index);
    // Crystal: cells around random seeds, each turning at its own random time.
    std::vector<double> sx, sy, sv;
    for (int i = 0; i < 48; ++i) {
        sx.push_back(NextRandom(seed) % uint32_t(width));
        sy.push_back(NextRandom(seed) % uint32_t(height));
        sv.push_back(NextRandom(seed) % 256);
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double px = x + 0.5 - cx, py = y + 0.5 - cy;
            const double r = std::hypot(px, py) / rmax;
            const double turn = Turn(px, py);
            double v;  // 1 turns first, 0 last
            switch (index) {
            case 0: v = 1 - (x % 64) / 63.0; break;
            case 1: v = (x % 64) / 63.0; break;
            case 2: v = 1 - double(x) / (width - 1); break;
            case 3: v = double(x) / (width - 1); break;
            case 4: v = 1 - r; break;
            case 5: v = r; break;
            case 6: v = 1 - turn; break;
            case 7: v = 1 - Frac(turn + r * 0.75); break;
            case 8: {
                size_t best = 0;
                double bestD = 1e30;
                for (size_t i = 0; i < sx.size(); ++i) {
                    const double d = std::hypot(x - sx[i], y - sy[i]);
                    if (d < bestD) {
                        bestD = d;
                        best = i;
                    }
                }
                v = sv[best] / 255.0;
                break;
            }
            case 9: v = 1 - (y % 48) / 47.0; break;
            case 10: v = 1 - (y % 12) / 11.0; break;
            case 11: {
                // Five points: the radius of the star's outline at this angle.
                const double a = Frac(turn * 5);
                const double edge = 0.55 + 0.45 * std::fabs(a - 0.5) * 2;
                v = 1 - std::fmin(r / edge, 1.0);
                break;
            }
            case 12: v = 1 - Frac(turn * 16); break;
            case 13: v = Frac(turn * 16); break;
            case 14: v = 1 - Frac(turn * 4); break;
            case 15: v = 1 - Frac(turn * 2 + r * 3); break;
            case 16: v = (NextRandom(seed) & 255) / 255.0; break;
            default: v = 1 - double(x) / (width - 1); break;
            }
            plane[size_t(y) * size_t(width) + size_t(x)] = Byte(v * 255);
        }
    }
    return plane;
}

TDecodedPicture MakeHalationPicture(int index, int step)
{
    TDecodedPicture picture;
    if (index <= 0) {
        step = std::clamp(step, 1, 480);
        picture.Width = 640 / step;
        picture.Height = 480 / step;
        picture.Pixels.resize(size_t(picture.Width) * size_t(picture.Height) * 3);
        for (int y = 0; y < picture.Height; ++y)
            for (int x = 0; x < picture.Width; ++x) {
                const double g = std::fmax(0.0, 1 - std::hypot(x * step, y * step * 4.0 / 3) / 800);
                uint8_t* p = &picture.Pixels[size_t(y * picture.Width + x) * 3];
                p[0] = Byte(60 * g * g);
                p[1] = Byte(110 * g * g);
                p[2] = Byte(140 * g * g);
            }
        return picture;
    }
    // Flare colours (blue, green, red) and sides, in table order.
    static const int colours[HalationFlareCount][3] = {
        {255, 160, 80}, {80, 220, 255}, {100, 230, 255}, {255, 190, 120}, {120, 255, 140}};
    static const int sides[HalationFlareCount] = {160, 160, 80, 80, 112};
    const int i = std::min(index, HalationFlareCount) - 1;
    const int side = sides[i];
    picture.Width = picture.Height = side;
    picture.Pixels.resize(size_t(side) * size_t(side) * 3);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const double r = std::hypot(x + 0.5 - side / 2.0, y + 0.5 - side / 2.0) / (side / 2.0);
            const double g = r >= 1 ? 0 : (1 - r) * (1 - r) * 0.8 + (r > 0.8 ? (1 - r) * 2 : 0.0);
            uint8_t* p = &picture.Pixels[size_t(y * side + x) * 3];
            for (int c = 0; c < 3; ++c)
                p[c] = Byte(colours[i][c] * g);
        }
    return picture;
}

std::vector<uint8_t> MakeGreyBmp(const std::vector<uint8_t>& plane, int width, int height)
{
    const uint32_t stride = (uint32_t(width) + 3) & ~3u;
    std::vector<uint8_t> out = BmpHeader(width, height, 8, 256, stride * uint32_t(height));
    for (int i = 0; i < 256; ++i)
        Put32(out, uint32_t(i) * 0x010101u);
    for (int y = height - 1; y >= 0; --y) {
        const uint8_t* row = plane.data() + size_t(y) * size_t(width);
        out.insert(out.end(), row, row + width);
        out.resize(out.size() + (stride - uint32_t(width)), 0);
    }
    return out;
}

std::vector<uint8_t> MakeRgbBmp(const TDecodedPicture& picture)
{
    const uint32_t stride = (uint32_t(picture.Width) * 3 + 3) & ~3u;
    std::vector<uint8_t> out = BmpHeader(picture.Width, picture.Height, 24, 0, stride * uint32_t(picture.Height));
    for (int y = picture.Height - 1; y >= 0; --y) {
        const uint8_t* row = picture.Pixels.data() + size_t(y) * size_t(picture.Width) * 3;
        out.insert(out.end(), row, row + size_t(picture.Width) * 3);
        out.resize(out.size() + (stride - uint32_t(picture.Width) * 3), 0);
    }
    return out;
}

bool WriteEffectData(const std::string& folder)
{
    bool ok = WriteFile(folder, WaterDistFileName, MakeWaterDistTable()) &&
              WriteFile(folder, WaterSinFileName, MakeWaterSinTable()) &&
              WriteFile(folder, WaterMultiFileName, MakeWaterMultiTable());
    for (int i = 0; ok && i < FadeMaskCount; ++i)
        ok = WriteFile(folder, FadeMaskFileNames[i], MakeGreyBmp(MakeFadeMaskPlane(i), 640, 480));
    for (int i = 0; ok && i <= HalationFlareCount; ++i)
        ok = WriteFile(folder, HalationFileNames[i], MakeRgbBmp(MakeHalationPicture(i)));
    return ok;
}
