#include "panels/Vergbparts.h"

#include <cstdint>

namespace {

TPixFormat DefaultFormat(TBitDepth depth)
{
    switch (depth) {
    case bd16:
        return pf16_565;
    case bd24:
        return pf24_888;
    case bd32:
        return pf32_888;
    default:
        return pfNone;
    }
}

// Whether a record lies inside a sheet of the given size (64-bit: the table's product
// h x patterns may not fit in 32 bits).
bool Accepts(const TVePartsData& d, int width, int height)
{
    if (d.x < 0 || d.y < 0 || d.w <= 0 || d.h <= 0 || d.patterns <= 0)
        return false;
    const int64_t rows = int64_t(d.h) * d.patterns;
    return int64_t(d.x) + d.w <= width && int64_t(d.y) + rows <= height;
}

}  // namespace

TVeRGBParts::TVeRGBParts(TComponent* Owner) : TComponent(Owner) {}

TVeRGBParts::~TVeRGBParts()
{
    if (FMade)
        FreeParts();
}

void TVeRGBParts::SetBitDepth(TBitDepth depth)
{
    if (FMade)
        return;
    FBitDepth = depth;
    if (!ChkDepthAndFormat(FBitDepth, FPixFormat))
        FPixFormat = DefaultFormat(depth);
}

void TVeRGBParts::SetPixFormat(TPixFormat format)
{
    if (FMade)
        return;
    FPixFormat = format;
    if (!ChkDepthAndFormat(FBitDepth, FPixFormat))
        FBitDepth = DepthOfFormat(format);
}

bool TVeRGBParts::SetParts(TVeRGBBits* image, TVeAlpha* alpha, const TVePartsData* table, int count)
{
    if (count < 1 || image == nullptr || !image->Created() || table == nullptr)
        return false;
    if (FMade)
        FreeParts();
    FImages.assign(static_cast<size_t>(count), nullptr);
    FAlphas.assign(static_cast<size_t>(count), nullptr);
    FPatterns.assign(static_cast<size_t>(count), 0);
    FCount = count;
    const bool withAlpha = alpha != nullptr && alpha->Created();
    for (int i = 0; i < count; ++i) {
        const TVePartsData& d = table[i];
        if (!Accepts(d, image->Width(), image->Height()))
            continue;
        const int rows = d.h * d.patterns;
        auto* part = new TVeRGBBits(this);
        part->SetPixFormat(FPixFormat);
        if (!part->Resize(d.w, rows) || !part->Create()) {
            delete part;  // too large to hold: the part stays empty
            continue;
        }
        part->Draw(0, 0, image, d.x, d.y, d.w, rows);
        FImages[static_cast<size_t>(i)] = part;
        FPatterns[static_cast<size_t>(i)] = d.patterns;
        if (withAlpha) {
            auto* plane = new TVeAlpha(this);
            if (!plane->Resize(d.w, rows) || !plane->Create()) {
                delete plane;
                continue;
            }
            plane->Draw(0, 0, alpha, d.x, d.y, d.w, rows);
            FAlphas[static_cast<size_t>(i)] = plane;
        }
    }
    FMade = true;
    return true;
}

bool TVeRGBParts::SetParts(TVeRGBBits* image, TVeAlpha* alpha, const TVePartsData* table)
{
    int count = 0;
    if (table != nullptr)
        while (table[count].x >= 0)
            ++count;
    return SetParts(image, alpha, table, count);
}

bool TVeRGBParts::SetParts(TVeRGBBits* image, const TVePartsData* table)
{
    return SetParts(image, nullptr, table);
}

void TVeRGBParts::FreeParts()
{
    if (FMade) {
        for (TVeRGBBits* part : FImages)
            delete part;
        for (TVeAlpha* plane : FAlphas)
            delete plane;
    }
    FCount = 0;
    FImages.clear();
    FAlphas.clear();
    FPatterns.clear();
    FMade = false;
}

int TVeRGBParts::GetSize() const
{
    return FMade ? FCount : 0;
}

TVeRGBBits* TVeRGBParts::GetImage(int i) const
{
    return InRange(i) ? FImages[static_cast<size_t>(i)] : nullptr;
}

TVeAlpha* TVeRGBParts::GetAlpha(int i) const
{
    return InRange(i) ? FAlphas[static_cast<size_t>(i)] : nullptr;
}

int TVeRGBParts::GetPattern(int i) const
{
    return InRange(i) ? FPatterns[static_cast<size_t>(i)] : 0;
}
