#pragma once
// What the main form needs of the display and of the panel tree's root, as two small
// interfaces: the form is written against them, the game supplies adapters over the display
// component and the root panel, and tests supply recording fakes.
//
// Display events arrive on the interface thread in window coordinates together with the
// viewport the 640x480 picture occupies in the window, so the form can map them to game space.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Verect.h"
#include "base/Verectset.h"
#include "base/Vergbbits.h"
#include "platform/Input.h"

struct TGameDisplayMode {
    TBitDepth BitDepth = bdNone;
    TPixFormat PixFormat = pfNone;
    bool Is640x480 = false;
};

// DisplayLost: the connection to the display was lost; nothing is shown any more.
enum class TDisplayEventKind : uint8_t {
    MouseMove,
    MouseDown,
    MouseUp,
    Wheel,
    Enter,
    Leave,
    KeyDown,
    KeyUp,
    Close,
    DisplayLost,
};

// Modifier bits of a display event.
enum : uint8_t { dmShift = 1, dmCtrl = 2, dmAlt = 4 };
// Mouse buttons held, and the button of a press or release.
enum : uint8_t { dbLeft = 1, dbRight = 2, dbMiddle = 4 };

struct TDisplayEvent {
    TDisplayEventKind Kind = TDisplayEventKind::MouseMove;
    int X = 0;  // window coordinates
    int Y = 0;
    TVeRect Viewport{0, 0, 640, 480};  // where the 640x480 picture lies in the window
    uint8_t Modifiers = 0;
    uint8_t Buttons = 0;  // held at the time of the event
    uint8_t Button = 0;   // the one pressed or released
    int Clicks = 1;       // 2 for the second press of a double click
    int WheelNotches = 0; // positive away from the user
    uint16_t Key = 0;     // virtual-key code
};

using TDisplayEventHandler = std::function<void(const TDisplayEvent&)>;

class TGameDisplay {
public:
    virtual ~TGameDisplay() = default;

    // 0 when unusable, else 0x100..0x800.
    virtual int Version() = 0;
    // The desktop's size and bits per pixel; false when unknown.
    virtual bool DesktopMode(int& width, int& height, int& bitsPerPixel) = 0;
    virtual void EnumDisplayModes(std::vector<TGameDisplayMode>& modes) = 0;
    // Before Enable: depth, full screen or window, vertical sync. Back surface in system
    // memory, triple buffering.
    virtual void Configure(TBitDepth depth, bool fullScreen, bool noVSync) = 0;
    virtual void SetNoVSync(bool noVSync) = 0;
    virtual bool Enable() = 0;
    virtual void Disable() = 0;
    virtual bool Enabled() = 0;
    virtual TBitDepth BitDepth() = 0;
    // The back surface (null while not enabled).
    virtual TVeRGBBits* Surface() = 0;
    // A created surface the caller owns; null on failure.
    virtual TVeRGBBits* CreateSurface(TBitDepth depth, TPixFormat format, int width, int height) = 0;
    // Never wait for the interface thread.
    virtual void Flip() = 0;
    virtual void FlipModifyRect(const TVeRectSet& rects) = 0;
    virtual void SetModifyRect(const TVeRect& rect) = 0;
    // The pointer in game coordinates; false when unknown (the caller keeps its last value).
    virtual bool CursorPos(int& x, int& y) = 0;
    virtual bool AppActive() = 0;
    // Interface thread: the window's title and visibility (the title is given before Enable).
    virtual void ShowWindow(const std::string& title, bool visible) = 0;
    // Interface thread: waits at most timeoutMs for events and hands each to handler.
    virtual void PumpEvents(int timeoutMs, const TDisplayEventHandler& handler) = 0;
    // Any thread: ends a PumpEvents wait early. Displays that cannot say so and are polled.
    virtual bool CanWakePump() const { return false; }
    virtual void WakePump() {}
    // The display the window is shown on, as the player names it; "" when unknown.
    virtual std::string Name() { return ""; }
    // True once the connection to the display was lost (Name then still names it).
    virtual bool Lost() { return false; }
    // Frame thread, after a presentation and with no lock held: waits until it has been shown,
    // at most maxMs. The full-speed frame mode is paced by this.
    virtual void WaitPresented(int maxMs) = 0;
};

class TVeRGBPanel;

// The root of the panel tree as the form uses it.
class TGameRoot {
public:
    virtual ~TGameRoot() = default;
    // The root panel itself (null for a stand-in).
    virtual TVeRGBPanel* Panel() { return nullptr; }
    virtual bool SetCreated(bool created) = 0;
    virtual bool Created() = 0;
    virtual void Anime() = 0;
    virtual void GetModifiedRectSet(TVeRectSet& rects) = 0;
    // Draws only the dirty rectangles into target and clears the dirty state.
    virtual void Update(TVeRGBBits* target) = 0;
    // Draws the whole tree and clears the dirty state.
    virtual void Draw(TVeRGBBits* target) = 0;
    virtual void MouseMove(TShiftState shift, int x, int y) = 0;
    virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y) = 0;
    virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y) = 0;
    virtual void MouseWheel(TShiftState shift, int delta, TPoint pos, bool& handled) = 0;
    virtual void MouseEnter(int x, int y) = 0;
    virtual void MouseLeave() = 0;
    virtual void KeyDown(Word& key, TShiftState shift) = 0;
    virtual void KeyUp(Word& key, TShiftState shift) = 0;
    // Makes the root the panel's parent and tells the panel where the pointer is.
    virtual void Attach(TVeRGBPanel* panel, int cursorX, int cursorY) = 0;
    virtual void Detach(TVeRGBPanel* panel) = 0;
};

// Factories the form uses in its creation; tests replace them. The defaults are the display
// component with its window and a root panel made through the registry.
using TGameDisplayFactory = std::function<std::unique_ptr<TGameDisplay>()>;
using TGameRootFactory = std::function<std::unique_ptr<TGameRoot>()>;
void SetGameDisplayFactory(TGameDisplayFactory factory);
void SetGameRootFactory(TGameRootFactory factory);
std::unique_ptr<TGameDisplay> MakeGameDisplay();
std::unique_ptr<TGameRoot> MakeGameRoot();
