#pragma once
// An image parts atlas: cuts one sheet image (and its alpha plane) into separate part images,
// each a vertical strip of equal pattern blocks ready to be a panel's Image and Alpha. The
// atlas owns the part images; they stay valid until the next SetParts, FreeParts or the
// atlas's destruction.

#include <cstdint>
#include <vector>

#include "base/Vealpha.h"
#include "base/Vergbbits.h"
#include "base/Vergbcolor.h"
#include "platform/Classes.h"

// One part of a sheet: the rectangle (x, y) to (x + w, y + h x patterns), h being the height
// of one pattern block. A table of parts ends at a record whose x is negative.
struct TVePartsData {
    int32_t x;
    int32_t y;
    int32_t w;
    int32_t h;
    int32_t patterns;
};
static_assert(sizeof(TVePartsData) == 20);

class TVeRGBParts : public TComponent {
public:
    explicit TVeRGBParts(TComponent* Owner);
    ~TVeRGBParts() override;

    TBitDepth BitDepth() const { return FBitDepth; }
    TPixFormat PixFormat() const { return FPixFormat; }
    // Both are ignored while parts are held; each brings the other along when the pair no
    // longer fits.
    void SetBitDepth(TBitDepth depth);
    void SetPixFormat(TPixFormat format);

    // Cuts count parts; a record outside the sheet leaves its part empty but still counts.
    // False, with nothing changed, when count < 1 or the image is missing or not created.
    bool SetParts(TVeRGBBits* image, TVeAlpha* alpha, const TVePartsData* table, int count);
    bool SetParts(TVeRGBBits* image, TVeAlpha* alpha, const TVePartsData* table);
    bool SetParts(TVeRGBBits* image, const TVePartsData* table);
    void FreeParts();

    int GetSize() const;
    // None (null, or 0 patterns) for an index outside 0..GetSize()-1.
    TVeRGBBits* GetImage(int i) const;
    TVeAlpha* GetAlpha(int i) const;
    int GetPattern(int i) const;

private:
    bool InRange(int i) const { return FMade && i >= 0 && i < FCount; }

    bool FMade = false;
    TBitDepth FBitDepth = bd24;
    TPixFormat FPixFormat = pf24_888;
    int FCount = 0;
    std::vector<TVeRGBBits*> FImages;
    std::vector<TVeAlpha*> FAlphas;
    std::vector<int> FPatterns;
};
