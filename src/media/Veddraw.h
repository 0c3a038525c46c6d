#pragma once
// The display component and its surfaces. The screen is the platform window's 640x480
// picture; the back surface the game draws into is a plain memory surface, and a flip copies
// its changed rectangles to the window (converting the pixel format) without waiting for the
// window's thread. Surfaces are owned by the display: disabling it deletes every surface it
// made, and a surface deleted earlier by its user leaves the display's list on the way.
//
// Threads: SetEnabled, ENumDisplayModes and the destructor run on the interface thread;
// Flip, FlipModifyRect, SetModifyRect, SetNoVSync and WaitPresented may run on any thread.

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "base/Verectset.h"
#include "base/Vergbbits.h"
#include "platform/Classes.h"

namespace DirectX {

enum TScreenSize : uint8_t { ssOther, ss320x240, ss640x480, ss800x600, ss1024x768 };
enum TBackType : uint8_t { btSystem, btVideo };

struct TDisplayMode {
    TBitDepth BitDepth = bdNone;
    TPixFormat PixFormat = pfNone;  // pfNone when the mode's masks match no known format
    TScreenSize ScreenSize = ssOther;
    int Width = 0;
    int Height = 0;
};

class TDDraw;

// A surface the display made. Its pixels stay in memory; Bits and Pitch are valid while it is
// created (the game reads them only while locked, as on every display surface).
class TDSurface : public TVeRGBBits {
public:
    explicit TDSurface(TDDraw* display);
    bool GetDC(HDC& dc) override;
    void ReleaseDC(HDC dc) override;
    TDDraw* Display() const { return FDisplay; }

private:
    TDDraw* FDisplay;
};

// The pixel format of a mode with these masks, or pfNone.
TPixFormat FormatOfMasks(TBitDepth depth, uint32_t red, uint32_t green, uint32_t blue);

class TDDraw : public TComponent {
public:
    explicit TDDraw(TComponent* owner);
    ~TDDraw() override;

    // The modes this display can serve: 640x480 in the desktop's depth. The flag is accepted
    // for the callers' sake and changes nothing. False (and an empty list) without a display.
    bool ENumDisplayModes(std::vector<TDisplayMode>& modes, bool all);

    // Settings, stored while disabled and used by the next SetEnabled(true).
    void SetBitDepth(TBitDepth depth);
    TBitDepth BitDepth() const { return FBitDepth; }
    TPixFormat PixFormat() const { return FPixFormat; }
    void SetFullScreen(bool fullScreen);
    bool FullScreen() const { return FFullScreen; }
    void SetBackType(TBackType type);
    TBackType BackType() const { return FBackType; }
    void SetTripleBuffer(bool triple);
    bool TripleBuffer() const { return FTripleBuffer; }
    void SetCaption(const std::string& caption);
    const std::string& Caption() const { return FCaption; }
    // When true, presentation does not wait for the vertical retrace; may change at any time.
    void SetNoVSync(bool noVSync);
    bool NoVSync() const { return FNoVSync.load(); }

    // True opens the window and the back surface and sets Enabled on success; false releases
    // everything, every surface the display made included.
    void SetEnabled(bool enabled);
    bool GetEnabled() const { return FEnabled.load(); }

    // The back surface (null while disabled).
    TDSurface* Surface() const { return FSurface; }
    // The display itself stands for the device object the movie stream draws through; null
    // while disabled.
    TDDraw* DirectDraw() { return GetEnabled() ? this : nullptr; }

    // An off-screen surface owned by this display; null while disabled, for a format that
    // does not belong to the depth, or when the pixels cannot be had. videoMemory is ignored.
    TDSurface* CreateSurface(TBitDepth depth, TPixFormat format, int width, int height, bool videoMemory);
    // Surfaces made by CreateSurface that still exist.
    int SurfaceCount() const;

    // Presents the whole back surface.
    bool Flip();
    // Presents the given rectangles of the back surface, clipped to the screen, with anything
    // marked by SetModifyRect since the last presentation.
    bool FlipModifyRect(const TVeRectSet& rects);
    void SetModifyRect(const TVeRect& rect);
    // After a flip, with no lock held: waits until the window has shown it, at most one refresh
    // period (this paces the full-speed frame mode as the retrace did); returns at once with
    // NoVSync.
    void WaitPresented();

private:
    bool Present(const TVeRectSet& rects);
    void ReleaseSurfaces();

    TBitDepth FBitDepth = bdNone;
    TPixFormat FPixFormat = pfNone;
    bool FFullScreen = false;
    TBackType FBackType = btSystem;
    bool FTripleBuffer = false;
    std::string FCaption = "ZB";
    std::atomic<bool> FNoVSync{false};
    std::atomic<bool> FEnabled{false};
    TDSurface* FSurface = nullptr;
    std::mutex FModifyLock;  // a leaf: guards FModify only
    TVeRectSet FModify;
};

}  // namespace DirectX
