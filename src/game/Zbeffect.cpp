#include "game/Zbeffect.h"

#include <algorithm>
#include <new>

#include "archive/Vefileman.h"
#include "base/Vealpha.h"
#include "base/Verectset.h"
#include "base/Vergbbits.h"
#include "game/Zbdata.h"
#include "game/Zbdef.h"
#include "game/Zbfunc.h"
#include "platform/Winapi.h"

const char* const FadeMaskFileNames[FadeMaskCount] = {
    "FadeMask00_BlindR.bmp",    "FadeMask01_BlindL.bmp",    "FadeMask02_TovanR.bmp",
    "FadeMask03_TovanL.bmp",    "FadeMask04_Circle.bmp",    "FadeMask05_CircleR.bmp",
    "FadeMask06_Clock.bmp",     "FadeMask07_Swirl.bmp",     "FadeMask08_Crystal.bmp",
    "FadeMask09_StripesB.bmp",  "FadeMask10_StripesN.bmp",  "FadeMask11_Star.bmp",
    "FadeMask12_Radiation.bmp", "FadeMask13_RadiationR.bmp", "FadeMask14_Windmill.bmp",
    "FadeMask15_Naruto.bmp",    "FadeMask16_Noise.bmp",
};

const char* const HalationFileNames[1 + HalationFlareCount] = {
    "HaloBack.bmp", "HaloBlueB.bmp", "HaloYellowB.bmp", "HaloYellowS.bmp", "HaloBlueS.bmp", "HaloGreen.bmp",
};

const int HalationFlareTargetY[HalationFlareCount] = {240, 84, 366, 160, 292};

TQJWaterTable* WaterTable = nullptr;
TQJFadeAlphaMask* FadeAlphaMask = nullptr;
TQJHalationImage* HalationImage = nullptr;

namespace {

constexpr char WaterTableNotCreate[] = "WaterTable Not Create";
constexpr char WaterTableIncomplete[] = "WaterTable Incomplete ";
constexpr char FadeAlphaMaskNotCreate[] = "FadeAlphaMask Not Create";
constexpr char HalationImageNotCreate[] = "HalationImage Not Create";

constexpr int ScreenWidth = 640;
constexpr int ScreenHeight = 480;
// Levels of the approach blends, 128 divided by a count falling by one per step.
constexpr int HalationApproach[5] = {0, 32, 43, 64, 128};   // steps 1..4
constexpr int WaterApproach[7] = {16, 18, 21, 26, 32, 43, 64};  // steps 32..38

int StartCount = 0;

[[noreturn]] void Fail(const char* message)
{
    if (ErrLog)
        ErrLog->Add(message);
    throw EGameErr();
}

void MarkScreen(TVeRectSet* dirty)
{
    if (dirty)
        dirty->UnionRect(VeRect(0, 0, ScreenWidth, ScreenHeight));
}

bool IsScreen(const TVeRGBBits* p)
{
    return p && p->Created() && p->Bits() && p->Width() == ScreenWidth && p->Height() == ScreenHeight &&
           (p->BitDepth() == bd24 || p->BitDepth() == bd32);
}

// A picture the effect may address next to dest.
bool Fits(const TVeRGBBits* dest, const TVeRGBBits* p)
{
    return IsScreen(p) && p->BitDepth() == dest->BitDepth() && p->PixFormat() == dest->PixFormat();
}

void DrawWhole(TVeRGBBits* dest, TVeRGBBits* picture, TVeRectSet* dirty)
{
    dest->Draw(0, 0, picture, 0, 0, ScreenWidth, ScreenHeight);
    MarkScreen(dirty);
}

// The last frame: the new picture whole. Without one the screen is still marked, as the frame
// changed, unless marked is false (an old picture that cannot be read ends the effect unseen).
bool ShowLast(TVeRGBBits* dest, TVeRectSet* dirty, TVeRGBBits* newImage, bool marked)
{
    if (newImage)
        DrawWhole(dest, newImage, dirty);
    else if (marked)
        MarkScreen(dirty);
    return true;
}

// The first frame: the old picture whole; the effect goes on.
bool ShowFirst(TVeRGBBits* dest, TVeRectSet* dirty, TVeRGBBits* oldImage)
{
    DrawWhole(dest, oldImage, dirty);
    return false;
}

// One frame of an effect whose last level is last. The frames every effect draws alike come
// first; any other level is the effect's own: middle draws it from the new picture (null when
// there is none or it does not fit dest) and the screen is marked. True when the frame was the
// last.
template <class Middle>
bool EffectFrame(TVeRGBBits* dest, TVeRectSet* dirty, TVeRGBBits* oldImage, TVeRGBBits* newImage, int level,
                 int last, bool resourceReady, Middle middle)
{
    if (!IsScreen(dest))
        return true;  // nothing can be drawn: the effect is over
    TVeRGBBits* usable = Fits(dest, newImage) ? newImage : nullptr;
    if (!resourceReady || level >= last)
        return ShowLast(dest, dirty, usable, true);
    if (!Fits(dest, oldImage))
        return ShowLast(dest, dirty, usable, false);
    if (level <= 0)
        return ShowFirst(dest, dirty, oldImage);
    middle(usable);
    MarkScreen(dirty);
    return false;
}

// Nested lock for the routines that address pixels directly.
class TLocked {
public:
    explicit TLocked(TVeRGBBits* bits) : FBits(bits), FOk(bits->Lock()) {}
    ~TLocked()
    {
        if (FOk)
            FBits->Unlock();
    }
    bool Ok() const { return FOk; }

private:
    TVeRGBBits* FBits;
    bool FOk;
};

// The centred crop of a zoom step: (4s, 3s) to (640 - 4s, 480 - 3s).
struct TCrop {
    uint8_t* Bits;
    int Width;
    int Height;
    int Pitch;
};

TCrop Crop(TVeRGBBits* p, int s)
{
    const int bpp = BytesPerPixel(p->BitDepth());
    return {p->Bits() + static_cast<ptrdiff_t>(3 * s) * p->Pitch() + 4 * s * bpp, ScreenWidth - 8 * s,
            ScreenHeight - 6 * s, p->Pitch()};
}

enum TStretchKind { skCopy, skBlend };

void StretchCrop(TVeRGBBits* src, int srcStep, TVeRGBBits* dst, int dstStep, TStretchKind kind)
{
    TLocked srcLock(src);
    TLocked dstLock(dst);
    if (!srcLock.Ok() || !dstLock.Ok())
        return;
    const TCrop s = Crop(src, srcStep);
    const TCrop d = Crop(dst, dstStep);
    const bool deep = dst->BitDepth() == bd32;
    if (kind == skCopy)
        (deep ? StretchCopy32 : StretchCopy24)(s.Bits, s.Width, s.Height, s.Pitch, d.Bits, d.Width, d.Height,
                                                d.Pitch);
    else
        (deep ? StretchBlend32 : StretchBlend24)(s.Bits, s.Width, s.Height, s.Pitch, d.Bits, d.Width, d.Height,
                                                  d.Pitch);
}

void BlendToward(TVeRGBBits* target, TVeRGBBits* toward, int level)
{
    target->AlphaBlend(0, 0, toward, 0, 0, ScreenWidth, ScreenHeight, level);
}

void RippleInto(TVeRGBBits* dest, TVeRGBBits* src, int phase, int amplitude)
{
    TLocked srcLock(src);
    TLocked dstLock(dest);
    if (!srcLock.Ok() || !dstLock.Ok())
        return;
    if (dest->BitDepth() == bd24)
        WaterTable->Ripple24(src->Bits(), ScreenWidth, ScreenHeight, 320, 240, src->Pitch(), dest->Bits(),
                             dest->Pitch(), phase, amplitude);
    else
        WaterTable->Ripple32(src->Bits(), ScreenWidth, ScreenHeight, 320, 240, src->Pitch(), dest->Bits(),
                             dest->Pitch(), phase, amplitude);
}

bool MaskReady()
{
    return FadeAlphaMask && FadeAlphaMask->Loaded && FadeAlphaMask->Work && FadeAlphaMask->Work->Created();
}

void DrawThroughMask(TVeRGBBits* dest, TVeRGBBits* oldImage, TVeRGBBits* newImage)
{
    if (newImage)
        dest->DrawAlphaMask(0, 0, oldImage, 0, 0, newImage, 0, 0, ScreenWidth, ScreenHeight, FadeAlphaMask->Work);
    else
        dest->Draw(0, 0, oldImage, 0, 0, ScreenWidth, ScreenHeight);
}

}  // namespace

// ---- water table

TQJWaterTable::~TQJWaterTable()
{
    Free();
}

void TQJWaterTable::Load(TFileMan* fileMan)
{
    if (Loaded)
        return;
    DistTable = static_cast<uint8_t*>(GlobalAllocZeroed(WaterDistBytes));
    SinTable = static_cast<uint8_t*>(GlobalAllocZeroed(WaterSinBytes));
    MultiTable = static_cast<uint8_t*>(GlobalAllocZeroed(WaterMultiBytes));
    Loaded = true;
    if (!DistTable || !SinTable || !MultiTable) {
        Free();
        Fail(WaterTableNotCreate);
    }
    struct {
        const char* Name;
        uint8_t* Block;
        int64_t Size;
    } const files[3] = {{WaterDistFileName, DistTable, WaterDistBytes},
                        {WaterSinFileName, SinTable, WaterSinBytes},
                        {WaterMultiFileName, MultiTable, WaterMultiBytes}};
    for (const auto& file : files) {
        TStream* stream = OpenDataFile(fileMan, file.Name);
        int64_t got = 0;
        if (stream) {
            try {
                got = stream->Read(file.Block, file.Size);
            } catch (const Exception&) {
                got = 0;
            }
            fileMan->Close(stream);
        }
        // A table of zeros would move every pixel by -127: without all three tables whole, the
        // water effect shows the new screen instead.
        if (got != file.Size) {
            if (ErrLog)
                ErrLog->Add(std::string(WaterTableIncomplete) + file.Name);
            Free();
            return;
        }
    }
    for (int i = 0; i < WaterSinBytes; ++i)
        SinTable[i] = std::min<uint8_t>(SinTable[i], WaterMultiColumns - 1);
}

void TQJWaterTable::Free()
{
    if (!Loaded)
        return;
    GlobalFreeBlock(DistTable);
    GlobalFreeBlock(SinTable);
    GlobalFreeBlock(MultiTable);
    DistTable = SinTable = MultiTable = nullptr;
    Loaded = false;
}

template <int Bpp>
void TQJWaterTable::Ripple(const uint8_t* src, int width, int height, int cx, int cy, int srcPitch, uint8_t* dst,
                           int dstPitch, int phase, int amplitude)
{
    if (!Loaded || !DistTable || !SinTable || !MultiTable || !src || !dst || width < 1 || height < 1)
        return;
    if (cx > WaterDistColumns || width - cx > WaterDistColumns || cy > WaterDistRows || height - cy > WaterDistRows)
        return;
    const uint8_t* multi = MultiTable + std::clamp(amplitude, 0, WaterMultiRows - 1) * WaterMultiColumns;
    for (int y = 0; y < height; ++y) {
        const int dy = y < cy ? cy - 1 - y : y - cy;
        const uint8_t* dist = DistTable + static_cast<ptrdiff_t>(dy) * WaterDistColumns * 2;
        uint8_t* __restrict to = dst + static_cast<ptrdiff_t>(y) * dstPitch;
        for (int x = 0; x < width; ++x) {
            const int dx = x < cx ? cx - 1 - x : x - cx;
            const int d = dist[2 * dx] | (dist[2 * dx + 1] << 8);
            const int wave = std::min<int>(SinTable[(4 * d + phase) & 255], WaterMultiColumns - 1);
            const int o = multi[wave] - 127;
            const int sx = std::clamp(x + o, 0, width - 1);
            const int sy = std::clamp(y + o, 0, height - 1);
            const uint8_t* from = src + static_cast<ptrdiff_t>(sy) * srcPitch + sx * Bpp;
            for (int b = 0; b < Bpp; ++b)
                to[x * Bpp + b] = from[b];
        }
    }
}

void TQJWaterTable::Ripple24(const uint8_t* src, int width, int height, int cx, int cy, int srcPitch, uint8_t* dst,
                             int dstPitch, int phase, int amplitude)
{
    Ripple<3>(src, width, height, cx, cy, srcPitch, dst, dstPitch, phase, amplitude);
}

void TQJWaterTable::Ripple32(const uint8_t* src, int width, int height, int cx, int cy, int srcPitch, uint8_t* dst,
                             int dstPitch, int phase, int amplitude)
{
    Ripple<4>(src, width, height, cx, cy, srcPitch, dst, dstPitch, phase, amplitude);
}

// ---- fade mask

TQJFadeAlphaMask::~TQJFadeAlphaMask()
{
    Free();
}

void TQJFadeAlphaMask::Load(TFileMan* fileMan, const std::string& fileName)
{
    Free();
    Mask = new (std::nothrow) TVeAlpha(nullptr);
    Work = new (std::nothrow) TVeAlpha(nullptr);
    TStream* stream = (Mask && Work) ? OpenDataFile(fileMan, fileName) : nullptr;
    if (stream) {
        Mask->LoadAlphaStream(stream, 0, 0);
        fileMan->Close(stream);
        if (Mask->Created() && Work->Resize(Mask->Width(), Mask->Height()))
            Work->Create();
    }
    if (!Mask || !Work || !Mask->Created() || !Work->Created()) {
        delete Mask;
        delete Work;
        Mask = Work = nullptr;
        Fail(FadeAlphaMaskNotCreate);
    }
    Loaded = true;
}

void TQJFadeAlphaMask::Free()
{
    if (!Loaded)
        return;
    delete Mask;
    delete Work;
    Mask = Work = nullptr;
    Loaded = false;
}

void TQJFadeAlphaMask::Extract(int level)
{
    if (Loaded)
        Work->Extract(0, 0, Mask, 0, 0, Mask->Width(), Mask->Height(), level);
}

void TQJFadeAlphaMask::SAdd(int level)
{
    if (Loaded)
        Work->SAdd(0, 0, Mask, 0, 0, Mask->Width(), Mask->Height(), level);
}

void TQJFadeAlphaMask::SSub(int level)
{
    if (Loaded)
        Work->SSub(0, 0, Mask, 0, 0, Mask->Width(), Mask->Height(), level);
}

// ---- halation images

TQJHalationImage::~TQJHalationImage()
{
    Free();
}

void TQJHalationImage::Load(TFileMan* fileMan, int bitDepth)
{
    Free();
    TVeRGBBits* images[1 + HalationFlareCount] = {};
    bool failed = false;
    for (auto& image : images) {
        image = new (std::nothrow) TVeRGBBits(nullptr);
        if (!image)
            failed = true;
        else
            image->SetBitDepth(static_cast<TBitDepth>(bitDepth));
    }
    for (int i = 0; i < 1 + HalationFlareCount && !failed; ++i) {
        TStream* stream = OpenDataFile(fileMan, HalationFileNames[i]);
        if (!stream)
            continue;
        if (!images[i]->DrawBmpStream(stream, 0, 0))
            failed = true;
        fileMan->Close(stream);
    }
    if (failed) {
        for (auto& image : images)
            delete image;
        Fail(HalationImageNotCreate);
    }
    HaloBack = images[0];
    for (int i = 0; i < HalationFlareCount; ++i)
        Flares[i] = images[1 + i];
    Loaded = true;
}

void TQJHalationImage::Free()
{
    if (!Loaded)
        return;
    delete HaloBack;
    HaloBack = nullptr;
    for (auto& flare : Flares) {
        delete flare;
        flare = nullptr;
    }
    Loaded = false;
}

void ZbeffectStart()
{
    if (StartCount++ != 0)
        return;
    WaterTable = new TQJWaterTable;
    FadeAlphaMask = new TQJFadeAlphaMask;
    HalationImage = new TQJHalationImage;
}

void ZbeffectFinish()
{
    if (StartCount == 0 || --StartCount != 0)
        return;
    delete WaterTable;
    WaterTable = nullptr;
    delete FadeAlphaMask;
    FadeAlphaMask = nullptr;
    delete HalationImage;
    HalationImage = nullptr;
}

// ---- effects

bool TransFade(TVeRGBBits* dest, TVeRectSet* dirty, TVeRGBBits* oldImage, TVeRGBBits* newImage, int level)
{
    return EffectFrame(dest, dirty, oldImage, newImage, level, 128, true, [&](TVeRGBBits* n) {
        if (n)
            dest->AlphaBlend(0, 0, oldImage, 0, 0, n, 0, 0, ScreenWidth, ScreenHeight, level);
        else
            dest->Draw(0, 0, oldImage, 0, 0, ScreenWidth, ScreenHeight);
    });
}

bool TransSlide(TVeRGBBits* dest, TVeRectSet* dirty, TVeRGBBits* oldImage, TVeRGBBits* newImage, int level,
                int direction)
{
    return EffectFrame(dest, dirty, oldImage, newImage, level, 160, true, [&](TVeRGBBits* n) {
        const int v = 3 * level;
        const int h = 4 * level;
        switch (direction) {
        case 0:
            dest->Draw(0, 0, oldImage, 0, v, ScreenWidth, ScreenHeight - v);
            if (n)
                dest->Draw(0, ScreenHeight - v, n, 0, 0, ScreenWidth, v);
            break;
        case 1:
            dest->Draw(0, v, oldImage, 0, 0, ScreenWidth, ScreenHeight - v);
            if (n)
                dest->Draw(0, 0, n, 0, ScreenHeight - v, ScreenWidth, v);
            break;
        case 2:
            dest->Draw(h, 0, oldImage, 0, 0, ScreenWidth - h, ScreenHeight);
            if (n)
                dest->Draw(0, 0, n, ScreenWidth - h, 0, h, ScreenHeight);
            break;
        case 3:
            dest->Draw(0, 0, oldImage, h, 0, ScreenWidth - h, ScreenHeight);
            if (n)
                dest->Draw(ScreenWidth - h, 0, n, 0, 0, h, ScreenHeight);
            break;
        default:
            dest->Draw(0, 0, oldImage, 0, 0, ScreenWidth, ScreenHeight);
            break;
        }
    });
}

bool TransZoomIn(TVeRGBBits* dest, TVeRectSet* dirty, TVeRGBBits* oldImage, TVeRGBBits* newImage, int step)
{
    return EffectFrame(dest, dirty, oldImage, newImage, step, 36, true, [&](TVeRGBBits* n) {
        StretchCrop(oldImage, step, dest, 0, skBlend);
        if (!n)
            oldImage->Draw(0, 0, dest, 0, 0, ScreenWidth, ScreenHeight);
        else if (4 * step <= 128)
            oldImage->AlphaBlend(0, 0, dest, 0, 0, n, 0, 0, ScreenWidth, ScreenHeight, 4 * step);
    });
}

bool TransZoomIn2(TVeRGBBits* dest, TVeRectSet* dirty, TVeRGBBits* oldImage, TVeRGBBits* newImage, int step)
{
    return EffectFrame(dest, dirty, oldImage, newImage, step, 20, true, [&](TVeRGBBits* n) {
        StretchCrop(dest, step, oldImage, 0, skBlend);
        if (n)
            StretchCrop(n, 0, oldImage, 20 - step, skCopy);
        BlendToward(dest, oldImage, std::max(8 * step - 32, 16));
    });
}

bool TransZoomBlur(TVeRGBBits* dest, TVeRectSet* dirty, TVeRGBBits* oldImage, TVeRGBBits* newImage, int step)
{
    return EffectFrame(dest, dirty, oldImage, newImage, step, 36, true, [&](TVeRGBBits* n) {
        if (n)
            BlendToward(dest, n, 32);
        StretchCrop(oldImage, 0, dest, step, skBlend);
        oldImage->Draw(0, 0, dest, 0, 0, ScreenWidth, ScreenHeight);
    });
}

bool TransZoomBlur2(TVeRGBBits* dest, TVeRectSet* dirty, TVeRGBBits* oldImage, TVeRGBBits* newImage, int step)
{
    return EffectFrame(dest, dirty, oldImage, newImage, step, 20, true, [&](TVeRGBBits* n) {
        if (step <= 15) {
            if (n)
                StretchCrop(n, 16 - step, oldImage, 0, skBlend);
            BlendToward(dest, oldImage, 32);
            oldImage->Draw(0, 0, dest, 0, 0, ScreenWidth, ScreenHeight);
        } else if (n) {
            BlendToward(dest, n, 32);
        }
    });
}

bool TransWater(TVeRGBBits* dest, TVeRectSet* dirty, TVeRGBBits* oldImage, TVeRGBBits* newImage, int step)
{
    const bool ready = WaterTable && WaterTable->Loaded;
    return EffectFrame(dest, dirty, oldImage, newImage, step, 70, ready, [&](TVeRGBBits* n) {
        const int phase = 8 * step;
        if (step <= 31) {
            RippleInto(dest, oldImage, phase, step);
        } else if (step <= 38) {
            if (n)
                BlendToward(oldImage, n, WaterApproach[step - 32]);
            RippleInto(dest, oldImage, phase, 31);
        } else if (n) {
            RippleInto(dest, n, phase, 70 - step);
        }
    });
}

bool TransMaskAdd(TVeRGBBits* dest, TVeRectSet* dirty, TVeRGBBits* oldImage, TVeRGBBits* newImage, int level)
{
    return EffectFrame(dest, dirty, oldImage, newImage, level, 511, MaskReady(), [&](TVeRGBBits* n) {
        // Level 255 subtracts nothing, as 256 adds nothing: both use the mask as loaded.
        if (level <= 255)
            FadeAlphaMask->SSub(255 - level);
        else
            FadeAlphaMask->SAdd(level - 256);
        DrawThroughMask(dest, oldImage, n);
    });
}

bool TransMaskFade(TVeRGBBits* dest, TVeRectSet* dirty, TVeRGBBits* oldImage, TVeRGBBits* newImage, int level)
{
    return EffectFrame(dest, dirty, oldImage, newImage, level, 255, MaskReady(), [&](TVeRGBBits* n) {
        FadeAlphaMask->Extract(level);
        DrawThroughMask(dest, oldImage, n);
    });
}

bool TransHalation(TVeRGBBits* dest, TVeRectSet* dirty, TVeRGBBits* oldImage, TVeRGBBits* newImage, int step)
{
    const bool ready = HalationImage && HalationImage->Loaded;
    return EffectFrame(dest, dirty, oldImage, newImage, step, 37, ready, [&](TVeRGBBits* n) {
        if (step == 1) {
            oldImage->ToneChange(0, 0, ScreenWidth - 1, ScreenHeight - 1, 0x404040);
            TVeRGBBits* back = HalationImage->HaloBack;
            if (back && back->Created())
                oldImage->SaturationAdd(0, 0, back, 0, 0, back->Width(), back->Height());
        }
        if (step <= 4) {
            BlendToward(dest, oldImage, HalationApproach[step]);
            return;
        }
        if (n)
            dest->AlphaBlend(0, 0, oldImage, 0, 0, n, 0, 0, ScreenWidth, ScreenHeight, 4 * step - 20);
        else
            dest->Draw(0, 0, oldImage, 0, 0, ScreenWidth, ScreenHeight);
        for (int i = 0; i < HalationFlareCount; ++i) {
            TVeRGBBits* flare = HalationImage->Flares[i];
            if (!flare || !flare->Created())
                continue;
            const int k = HalationFlareTargetY[i] * (step - 5) / 32;
            dest->SaturationAdd(4 * k / 3 - flare->Width() / 2, k - flare->Height() / 2, flare, 0, 0,
                                flare->Width(), flare->Height());
        }
    });
}
