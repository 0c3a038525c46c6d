#pragma once
// Screen transition effects and the data three of them need.
//
// Each effect draws one frame into dest (the locked 640x480 drawing target, still holding the
// previous frame) from old and new (640x480 buffers of dest's depth; new may be null) at a
// level or step, adds (0,0)-(640,480) to dirty (may be null) when it draws, and returns true
// when the frame was the last. Level 0 draws old whole; any level at or above the last draws new
// whole. Some effects use old as their work buffer. A picture that is missing, not created, not
// 640x480 or of another depth than dest is never addressed: such an old or dest ends the effect
// at once (new drawn when usable), such a new counts as missing.
//
// Water table files (each read whole into its block; a missing or short file leaves the tables
// unloaded, so the water effect shows the new screen instead of reading zeros):
//   "WaterDistTbl.bin"  153,600 bytes: 240 rows of 320 uint16 little-endian; entry (dx, dy) is
//                       the ripple distance of a pixel dx columns and dy rows from the centre,
//                       one quadrant, mirrored for the other three.
//   "WaterSinTbl.bin"   256 bytes: one wave period; values index the amplitude rows and are
//                       clamped to 254 on load (a row has 255 entries).
//   "WaterMultiTbl.bin" 8,160 bytes: 32 rows (amplitude 0..31) of 255 bytes mapping a wave
//                       value to a displacement biased by 127 (127 = still).
// Fade masks are 8-bit grey pictures (any size; 640x480 covers the screen, a smaller one covers
// only its own area). Halation images are bitmaps drawn with saturating addition, clipped.

#include <cstdint>
#include <string>

class TVeRGBBits;
class TVeAlpha;
class TVeRectSet;
class TFileMan;

inline constexpr char WaterDistFileName[] = "WaterDistTbl.bin";
inline constexpr char WaterSinFileName[] = "WaterSinTbl.bin";
inline constexpr char WaterMultiFileName[] = "WaterMultiTbl.bin";
inline constexpr int WaterDistBytes = 153600;
inline constexpr int WaterSinBytes = 256;
inline constexpr int WaterMultiBytes = 8160;
inline constexpr int WaterDistColumns = 320;
inline constexpr int WaterDistRows = 240;
inline constexpr int WaterMultiRows = 32;
inline constexpr int WaterMultiColumns = 255;

inline constexpr int FadeMaskCount = 17;
extern const char* const FadeMaskFileNames[FadeMaskCount];

inline constexpr int HalationFlareCount = 5;
// HaloBack first, then the flares in their table order.
extern const char* const HalationFileNames[1 + HalationFlareCount];
// Final vertical position of each flare's centre.
extern const int HalationFlareTargetY[HalationFlareCount];

class TQJWaterTable {
public:
    TQJWaterTable() = default;
    ~TQJWaterTable();
    TQJWaterTable(const TQJWaterTable&) = delete;
    TQJWaterTable& operator=(const TQJWaterTable&) = delete;

    // Does nothing when loaded. Blocks that cannot be had: "WaterTable Not Create" and EGameErr.
    void Load(TFileMan* fileMan);
    void Free();
    // Copies every pixel of a width x height picture from its displaced source position (see the
    // unit); returns at once unless loaded and the centre leaves at most 320 columns and 240
    // rows on each side.
    void Ripple24(const uint8_t* src, int width, int height, int cx, int cy, int srcPitch, uint8_t* dst,
                  int dstPitch, int phase, int amplitude);
    void Ripple32(const uint8_t* src, int width, int height, int cx, int cy, int srcPitch, uint8_t* dst,
                  int dstPitch, int phase, int amplitude);

    bool Loaded = false;
    uint8_t* DistTable = nullptr;
    uint8_t* SinTable = nullptr;
    uint8_t* MultiTable = nullptr;

private:
    template <int Bpp>
    void Ripple(const uint8_t* src, int width, int height, int cx, int cy, int srcPitch, uint8_t* dst,
                int dstPitch, int phase, int amplitude);
};

class TQJFadeAlphaMask {
public:
    TQJFadeAlphaMask() = default;
    ~TQJFadeAlphaMask();
    TQJFadeAlphaMask(const TQJFadeAlphaMask&) = delete;
    TQJFadeAlphaMask& operator=(const TQJFadeAlphaMask&) = delete;

    // Replaces any earlier mask. A mask that does not open or decode, or a plane that cannot be
    // made: "FadeAlphaMask Not Create" and EGameErr.
    void Load(TFileMan* fileMan, const std::string& fileName);
    void Free();
    // Work from Mask over the whole plane; nothing when not loaded.
    void Extract(int level);
    void SAdd(int level);
    void SSub(int level);

    bool Loaded = false;
    TVeAlpha* Mask = nullptr;
    TVeAlpha* Work = nullptr;
};

class TQJHalationImage {
public:
    TQJHalationImage() = default;
    ~TQJHalationImage();
    TQJHalationImage(const TQJHalationImage&) = delete;
    TQJHalationImage& operator=(const TQJHalationImage&) = delete;

    // Replaces earlier images; a file that does not open is skipped (its image stays empty). A
    // bitmap that does not decode or an image that cannot be made: "HalationImage Not Create"
    // and EGameErr.
    void Load(TFileMan* fileMan, int bitDepth);
    void Free();

    bool Loaded = false;
    TVeRGBBits* HaloBack = nullptr;
    TVeRGBBits* Flares[HalationFlareCount] = {};
};

extern TQJWaterTable* WaterTable;
extern TQJFadeAlphaMask* FadeAlphaMask;
extern TQJHalationImage* HalationImage;

// Counted: the first start makes the three empty resources, the matching last finish frees them.
void ZbeffectStart();
void ZbeffectFinish();

bool TransFade(TVeRGBBits* dest, TVeRectSet* dirty, TVeRGBBits* oldImage, TVeRGBBits* newImage, int level);
// direction 0: new rises from the bottom, 1: drops from the top, 2: enters from the left,
// 3: from the right; any other direction shows old until the last level.
bool TransSlide(TVeRGBBits* dest, TVeRectSet* dirty, TVeRGBBits* oldImage, TVeRGBBits* newImage, int level,
                int direction);
bool TransZoomIn(TVeRGBBits* dest, TVeRectSet* dirty, TVeRGBBits* oldImage, TVeRGBBits* newImage, int step);
bool TransZoomIn2(TVeRGBBits* dest, TVeRectSet* dirty, TVeRGBBits* oldImage, TVeRGBBits* newImage, int step);
bool TransZoomBlur(TVeRGBBits* dest, TVeRectSet* dirty, TVeRGBBits* oldImage, TVeRGBBits* newImage, int step);
bool TransZoomBlur2(TVeRGBBits* dest, TVeRectSet* dirty, TVeRGBBits* oldImage, TVeRGBBits* newImage, int step);
bool TransWater(TVeRGBBits* dest, TVeRectSet* dirty, TVeRGBBits* oldImage, TVeRGBBits* newImage, int step);
bool TransMaskAdd(TVeRGBBits* dest, TVeRectSet* dirty, TVeRGBBits* oldImage, TVeRGBBits* newImage, int level);
bool TransMaskFade(TVeRGBBits* dest, TVeRectSet* dirty, TVeRGBBits* oldImage, TVeRGBBits* newImage, int level);
bool TransHalation(TVeRGBBits* dest, TVeRectSet* dirty, TVeRGBBits* oldImage, TVeRGBBits* newImage, int step);
