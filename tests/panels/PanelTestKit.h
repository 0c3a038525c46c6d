#pragma once
// Shared helpers of the panel tests: pictures with a known pattern and an event recorder.

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "panels/Vergbpanel.h"

namespace paneltest {

// A created 24-bit picture whose pixel (x, y) holds Colour(x, y, seed).
inline uint32_t Colour(int x, int y, int seed)
{
    return (uint32_t((x * 7 + seed * 31) & 0xFF) << 16) | (uint32_t((y * 5 + seed * 13) & 0xFF) << 8) |
           uint32_t((x + y + seed * 57) & 0xFF);
}

inline TVeRGBBits* MakeImage(TComponent* owner, int w, int h, int seed, TBitDepth depth = bd24)
{
    auto* image = new TVeRGBBits(owner);
    image->SetBitDepth(depth);
    image->Resize(w, h);
    image->Create();
    const int bpp = BytesPerPixel(image->BitDepth());
    for (int y = 0; y < h; ++y) {
        uint8_t* row = image->Bits() + ptrdiff_t(y) * image->Pitch();
        for (int x = 0; x < w; ++x) {
            const uint32_t c = Colour(x, y, seed);
            row[x * bpp] = uint8_t(c);
            row[x * bpp + 1] = uint8_t(c >> 8);
            row[x * bpp + 2] = uint8_t(c >> 16);
        }
    }
    return image;
}

// A created plane whose bytes cycle through fully transparent, half and opaque.
inline TVeAlpha* MakeAlpha(TComponent* owner, int w, int h)
{
    auto* alpha = new TVeAlpha(owner);
    alpha->Resize(w, h);
    alpha->Create();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            alpha->Bits()[ptrdiff_t(y) * alpha->Pitch() + x] = static_cast<uint8_t>(((x / 3 + y / 2) % 3) * 127);
    return alpha;
}

inline TVeRGBBits* MakeTarget(TComponent* owner, int w, int h)
{
    auto* target = new TVeRGBBits(owner);
    target->Resize(w, h);
    target->Create();
    return target;
}

// Records every event of the panels it is attached to as "name:Event".
struct TEventLog {
    std::vector<std::string> Lines;

    void Attach(TVeRGBPanel* p, const std::string& name)
    {
        auto add = [this, name](const std::string& what) { Lines.push_back(name + ":" + what); };
        p->OnClick = [add](TObject*) { add("Click"); };
        p->OnCreate = [add](TObject*) { add("Create"); };
        p->OnRelease = [add](TObject*) { add("Release"); };
        p->OnShow = [add](TObject*) { add("Show"); };
        p->OnHide = [add](TObject*) { add("Hide"); };
        p->OnMouseMove = [add](TObject*, TShiftState, int x, int y) {
            add("Move(" + std::to_string(x) + "," + std::to_string(y) + ")");
        };
        p->OnMouseDown = [add](TObject*, TMouseButton b, TShiftState, int x, int y) {
            add("Down" + std::to_string(int(b)) + "(" + std::to_string(x) + "," + std::to_string(y) + ")");
        };
        p->OnMouseUp = [add](TObject*, TMouseButton b, TShiftState, int x, int y) {
            add("Up" + std::to_string(int(b)) + "(" + std::to_string(x) + "," + std::to_string(y) + ")");
        };
        p->OnMouseEnter = [add](TObject*) { add("Enter"); };
        p->OnMouseLeave = [add](TObject*) { add("Leave"); };
        p->OnKeyDown = [add](TObject*, Word& key, TShiftState) { add("KeyDown" + std::to_string(key)); };
        p->OnKeyUp = [add](TObject*, Word& key, TShiftState) { add("KeyUp" + std::to_string(key)); };
        p->OnChange = [add](TObject*) { add("Change"); };
        p->OnActivate = [add](TObject*) { add("Activate"); };
        p->OnDeactivate = [add](TObject*) { add("Deactivate"); };
        p->OnAnime = [add](TObject*) { add("Anime"); };
    }

    // The lines recorded since the last call.
    std::vector<std::string> Take()
    {
        std::vector<std::string> out;
        out.swap(Lines);
        return out;
    }
};

inline std::vector<TVeRect> Rects(const TVeRectSet& s)
{
    return std::vector<TVeRect>(s.begin(), s.end());
}

}  // namespace paneltest

inline std::ostream& operator<<(std::ostream& os, const TVeRect& r)
{
    return os << "(" << r.left << "," << r.top << "," << r.right << "," << r.bottom << ")";
}
