#include "media/Veddraw.h"

#include <algorithm>
#include <vector>

#include "platform/Display.h"
#include "platform/Gdi.h"

namespace DirectX {

namespace {

TBitDepth DepthOfBytes(int bytes)
{
    switch (bytes) {
    case 2: return bd16;
    case 3: return bd24;
    case 4: return bd32;
    default: return bdNone;
    }
}

TPixFormat WorkingFormat(TBitDepth depth)
{
    switch (depth) {
    case bd16: return pf16_565;
    case bd24: return pf24_888;
    case bd32: return pf32_888;
    default: return pfNone;
    }
}

bool SourceFormatOf(TPixFormat format, Display::TSourceFormat& out)
{
    switch (format) {
    case pf16_565: out = Display::TSourceFormat::Rgb565; return true;
    case pf16_555:
    case pf16_5551: out = Display::TSourceFormat::Rgb555; return true;
    case pf24_888: out = Display::TSourceFormat::Bgr24; return true;
    case pf32_888:
    case pf32_8888: out = Display::TSourceFormat::Bgrx32; return true;
    default: return false;
    }
}

}  // namespace

TPixFormat FormatOfMasks(TBitDepth depth, uint32_t red, uint32_t green, uint32_t blue)
{
    for (int f = 1; f < PixFormatCount; ++f) {
        const TPixFormat format = static_cast<TPixFormat>(f);
        const TRGBBitMask& m = RGBBitMask[f];
        // A desktop has no alpha channel: the format without one is the match.
        if (DepthOfFormat(format) == depth && m.Red == red && m.Green == green && m.Blue == blue && m.Alpha == 0)
            return format;
    }
    return pfNone;
}

TDSurface::TDSurface(TDDraw* display) : TVeRGBBits(display), FDisplay(display) {}

bool TDSurface::GetDC(HDC& dc)
{
    return OpenPixelDC(dc);
}

void TDSurface::ReleaseDC(HDC dc)
{
    ReleasePixelDC(dc);
}

TDDraw::TDDraw(TComponent* owner) : TComponent(owner) {}

TDDraw::~TDDraw()
{
    SetEnabled(false);
}

bool TDDraw::ENumDisplayModes(std::vector<TDisplayMode>& modes, bool /*all*/)
{
    modes.clear();
    Display::TDesktopMode desktop;
    if (!Display::GetDesktopMode(desktop))
        return false;
    TDisplayMode mode;
    mode.BitDepth = DepthOfBytes(desktop.BytesPerPixel);
    if (mode.BitDepth == bdNone)
        return false;
    mode.PixFormat = FormatOfMasks(mode.BitDepth, desktop.RedMask, desktop.GreenMask, desktop.BlueMask);
    mode.ScreenSize = ss640x480;
    mode.Width = Display::ScreenWidth;
    mode.Height = Display::ScreenHeight;
    modes.push_back(mode);
    return true;
}

void TDDraw::SetBitDepth(TBitDepth depth)
{
    if (!GetEnabled())
        FBitDepth = depth;
}

void TDDraw::SetFullScreen(bool fullScreen)
{
    if (!GetEnabled())
        FFullScreen = fullScreen;
}

void TDDraw::SetBackType(TBackType type)
{
    if (!GetEnabled())
        FBackType = type;
}

void TDDraw::SetTripleBuffer(bool triple)
{
    if (!GetEnabled())
        FTripleBuffer = triple;
}

void TDDraw::SetCaption(const std::string& caption)
{
    if (!GetEnabled())
        FCaption = caption;
}

void TDDraw::SetNoVSync(bool noVSync)
{
    FNoVSync.store(noVSync);
    if (GetEnabled())
        Display::SetVSync(!noVSync);
}

void TDDraw::SetEnabled(bool enabled)
{
    if (enabled == GetEnabled())
        return;
    if (!enabled) {
        FEnabled.store(false);
        ReleaseSurfaces();
        Display::Close();
        return;
    }
    Display::TDesktopMode desktop;
    if (!Display::GetDesktopMode(desktop))
        return;
    // An unset depth takes the desktop's; the desktop's own format where the depths agree.
    TBitDepth depth = FBitDepth == bdNone ? DepthOfBytes(desktop.BytesPerPixel) : FBitDepth;
    TPixFormat format = WorkingFormat(depth);
    if (depth == DepthOfBytes(desktop.BytesPerPixel)) {
        const TPixFormat own = FormatOfMasks(depth, desktop.RedMask, desktop.GreenMask, desktop.BlueMask);
        if (own != pfNone)
            format = own;
    }
    Display::TSourceFormat source;
    if (format == pfNone || !SourceFormatOf(format, source))
        return;
    auto* surface = new TDSurface(this);
    surface->SetPixFormat(format);
    if (!surface->Resize(Display::ScreenWidth, Display::ScreenHeight) || !surface->Create()) {
        delete surface;
        return;
    }
    Display::TOpenOptions options;
    options.Title = FCaption;
    options.FullScreen = FFullScreen;
    options.VSync = !FNoVSync.load();
    if (!Display::Open(options)) {
        delete surface;
        return;
    }
    FBitDepth = depth;
    FPixFormat = format;
    FSurface = surface;
    {
        std::lock_guard<std::mutex> lock(FModifyLock);
        FModify.SetRectEmpty();
    }
    FEnabled.store(true);
}

void TDDraw::ReleaseSurfaces()
{
    FSurface = nullptr;
    // Each surface leaves this list as it is deleted.
    while (ComponentCount() > 0)
        delete Components(ComponentCount() - 1);
}

TDSurface* TDDraw::CreateSurface(TBitDepth depth, TPixFormat format, int width, int height, bool /*videoMemory*/)
{
    if (!GetEnabled() || (format != pfNone && !ChkDepthAndFormat(depth, format)))
        return nullptr;
    auto* surface = new TDSurface(this);
    surface->SetBitDepth(depth);
    if (format != pfNone)
        surface->SetPixFormat(format);
    if (surface->PixFormat() == pfNone || !surface->Resize(width, height) || !surface->Create()) {
        delete surface;
        return nullptr;
    }
    return surface;
}

int TDDraw::SurfaceCount() const
{
    int count = 0;
    for (int i = 0; i < ComponentCount(); ++i)
        if (Components(i) != FSurface && dynamic_cast<TDSurface*>(Components(i)))
            ++count;
    return count;
}

bool TDDraw::Flip()
{
    TVeRectSet all;
    all.UnionRect(VeRect(0, 0, Display::ScreenWidth, Display::ScreenHeight));
    return Present(all);
}

bool TDDraw::FlipModifyRect(const TVeRectSet& rects)
{
    return Present(rects);
}

void TDDraw::SetModifyRect(const TVeRect& rect)
{
    std::lock_guard<std::mutex> lock(FModifyLock);
    FModify.UnionRect(rect);
}

bool TDDraw::Present(const TVeRectSet& rects)
{
    TDSurface* surface = FSurface;
    if (!GetEnabled() || !surface)
        return false;
    // Kept per thread so that a flip allocates nothing once warmed up.
    thread_local std::vector<Display::TDisplayRect> list;
    list.clear();
    for (const TVeRect& r : rects)
        list.push_back(Display::TDisplayRect{r.left, r.top, r.right, r.bottom});
    {
        std::lock_guard<std::mutex> lock(FModifyLock);
        for (const TVeRect& r : FModify)
            list.push_back(Display::TDisplayRect{r.left, r.top, r.right, r.bottom});
        FModify.SetRectEmpty();
    }
    if (list.empty())
        return true;
    Display::TSourceFormat source;
    if (!SourceFormatOf(surface->PixFormat(), source) || !surface->Lock())
        return false;
    const bool ok = Display::Present(surface->Bits(), surface->Pitch(), source, surface->Width(), surface->Height(),
                                     list.data(), static_cast<int>(list.size()));
    surface->Unlock();
    return ok;
}

void TDDraw::WaitPresented()
{
    if (!GetEnabled() || FNoVSync.load())
        return;
    Display::WaitPresented(Display::RefreshPeriodMs());
}

}  // namespace DirectX
