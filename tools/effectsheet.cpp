// Draws every transition effect at a few levels and writes a contact sheet PNG: one row per
// effect, the columns a quarter-size frame each, old screen at the left and new at the right.
// Usage: effectsheet <out.png> [data folder]
// Without a data folder the effect resources are generated into a temporary one.
#include <stdlib.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/Vefileman.h"
#include "base/Vepicture.h"
#include "base/Verectset.h"
#include "base/Vergbbits.h"
#include "game/Zbdata.h"
#include "game/Zbeffect.h"
#include "game/Zbeffectdata.h"

namespace {

constexpr int W = 640, H = 480, Thumb = 4, TW = W / Thumb, TH = H / Thumb, Gap = 4;

using TEffect = std::function<bool(TVeRGBBits*, TVeRectSet*, TVeRGBBits*, TVeRGBBits*, int)>;

struct TRow {
    std::string Name;
    TEffect Effect;
    int Last;
    int Mask = -1;
};

std::unique_ptr<TVeRGBBits> Picture(bool second)
{
    auto b = std::make_unique<TVeRGBBits>(nullptr);
    b->SetBitDepth(bd32);
    b->Create();
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            uint8_t* p = b->Bits() + ptrdiff_t(y) * b->Pitch() + x * 4;
            if (!second) {
                // Warm gradient with a grid, so that stretches and shifts are easy to follow.
                const bool grid = x % 64 == 0 || y % 48 == 0;
                p[0] = grid ? 255 : uint8_t(40 + y / 4);
                p[1] = grid ? 255 : uint8_t(x * 200 / W);
                p[2] = grid ? 255 : uint8_t(220 - y / 4);
            } else {
                // Cool rings around the centre.
                const double r = std::hypot(x - W / 2.0, y - H / 2.0);
                const bool ring = int(r / 24) % 2 == 0;
                p[0] = ring ? 230 : 90;
                p[1] = ring ? 160 : 40;
                p[2] = uint8_t(x * 255 / W);
            }
            p[3] = 0;
        }
    return b;
}

void Paste(TDecodedPicture& sheet, TVeRGBBits* frame, int col, int row)
{
    const int ox = Gap + col * (TW + Gap), oy = Gap + row * (TH + Gap);
    for (int y = 0; y < TH; ++y)
        for (int x = 0; x < TW; ++x)
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int j = 0; j < Thumb; ++j)
                    for (int i = 0; i < Thumb; ++i)
                        sum += frame->Bits()[ptrdiff_t(y * Thumb + j) * frame->Pitch() + (x * Thumb + i) * 4 + c];
                sheet.Pixels[(size_t(oy + y) * size_t(sheet.Width) + size_t(ox + x)) * 3 + size_t(c)] =
                    uint8_t(sum / (Thumb * Thumb));
            }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: effectsheet <out.png> [data folder]\n");
        return 2;
    }
    std::string folder;
    std::string scratch;
    if (argc == 3) {
        folder = argv[2];
    } else {
        std::string pattern = (std::filesystem::temp_directory_path() / "effectsheetXXXXXX").string();
        if (!::mkdtemp(pattern.data()) || !WriteEffectData(pattern)) {
            std::fprintf(stderr, "effectsheet: cannot make the effect data\n");
            return 1;
        }
        folder = scratch = pattern;
    }
    ZbdataStart();
    ZbeffectStart();
    TFileMan files(nullptr);
    files.InitDir(folder);
    int status = 0;
    try {
        WaterTable->Load(&files);
        HalationImage->Load(&files, bd32);
        auto slide = [](int dir) {
            return [dir](TVeRGBBits* d, TVeRectSet* s, TVeRGBBits* o, TVeRGBBits* n, int l) {
                return TransSlide(d, s, o, n, l, dir);
            };
        };
        std::vector<TRow> rows = {{"fade", TransFade, 128},        {"slide 0", slide(0), 160},
                                  {"slide 1", slide(1), 160},      {"slide 2", slide(2), 160},
                                  {"slide 3", slide(3), 160},      {"zoom in", TransZoomIn, 36},
                                  {"zoom in 2", TransZoomIn2, 20}, {"zoom blur", TransZoomBlur, 36},
                                  {"zoom blur 2", TransZoomBlur2, 20}, {"water", TransWater, 70},
                                  {"halation", TransHalation, 37}, {"mask add 4", TransMaskAdd, 511, 4}};
        for (int mask = 0; mask < FadeMaskCount; ++mask)
            rows.push_back({"mask fade " + std::to_string(mask), TransMaskFade, 255, mask});
        const double fractions[] = {0.15, 0.3, 0.45, 0.6, 0.75, 0.9};
        const int columns = 2 + int(std::size(fractions));
        TDecodedPicture sheet;
        sheet.Width = Gap + columns * (TW + Gap);
        sheet.Height = Gap + int(rows.size()) * (TH + Gap);
        sheet.Pixels.assign(size_t(sheet.Width) * size_t(sheet.Height) * 3, 48);
        for (size_t r = 0; r < rows.size(); ++r) {
            const TRow& row = rows[r];
            if (row.Mask >= 0)
                FadeAlphaMask->Load(&files, FadeMaskFileNames[row.Mask]);
            auto dest = Picture(false);
            auto old = Picture(false);
            auto fresh = Picture(true);
            Paste(sheet, old.get(), 0, int(r));
            Paste(sheet, fresh.get(), columns - 1, int(r));
            size_t next = 0;
            // The step effects build on earlier frames, so every level is drawn in order.
            for (int level = 0; level <= row.Last && next < std::size(fractions); ++level) {
                row.Effect(dest.get(), nullptr, old.get(), fresh.get(), level);
                if (level == int(std::lround(fractions[next] * row.Last)))
                    Paste(sheet, dest.get(), int(++next), int(r));
            }
            std::printf("row %zu: %s\n", r, row.Name.c_str());
        }
        std::vector<uint8_t> png;
        std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
        if (!EncodePng(png, sheet) ||
            !out.write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()))) {
            std::fprintf(stderr, "effectsheet: cannot write %s\n", argv[1]);
            status = 1;
        }
    } catch (const Exception& e) {
        std::fprintf(stderr, "effectsheet: %s\n", e.Message.c_str());
        status = 1;
    }
    ZbeffectFinish();
    ZbdataFinish();
    if (!scratch.empty()) {
        std::error_code error;
        std::filesystem::remove_all(scratch, error);
    }
    return status;
}
