#pragma once
// The game's window: one 640x480 screen shown in a window or letterboxed in a desktop-sized
// full-screen window (never a video-mode change).
//
// Threads: Open, Close, PumpEvents and the event handler belong to the interface (main)
// thread, the only one that touches the window. Present may be called from any thread: it
// copies the given rectangles into a front copy of the screen under a small mutex, queues them
// and posts one wake-up to the interface thread; it never waits for that thread. The interface
// thread uploads only the queued rectangles and presents. WaitPresented lets a frame thread
// wait (bounded) until its last Present reached the screen.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Input.h"

namespace Display {

constexpr int ScreenWidth = 640;
constexpr int ScreenHeight = 480;

// Half-open, as every rectangle of the game.
struct TDisplayRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

// Layouts Present accepts; 24- and 32-bit pixels are stored blue, green, red (and a fourth byte).
enum class TSourceFormat : uint8_t { Rgb565, Rgb555, Bgr24, Bgrx32 };

struct TDesktopMode {
    int Width = 0;
    int Height = 0;
    int BytesPerPixel = 0;
    uint32_t RedMask = 0;
    uint32_t GreenMask = 0;
    uint32_t BlueMask = 0;
    uint32_t AlphaMask = 0;
    int RefreshRate = 0;  // Hz; 0 when unknown
};

// Starts the video driver (interface thread; EndVideo ends it). False when no display can be
// opened, said once on standard error. A driver that shows nothing ("dummy", "offscreen") serves
// only when SDL_VIDEODRIVER names it.
bool StartVideo();
// Ends what StartVideo started (when started is true). Once the connection to the display is
// lost the driver is left as it stands: its shut-down would wait for the display's answers.
void EndVideo(bool started);

// Keeps the video driver started while it lives, so the questions below and the window share
// one connection to the display server instead of each making its own (a tenth of a second or
// more each). Interface thread only.
class TVideoSession {
public:
    TVideoSession();
    ~TVideoSession();
    TVideoSession(const TVideoSession&) = delete;
    TVideoSession& operator=(const TVideoSession&) = delete;

private:
    bool FStarted = false;
};

// Starts the video driver for this one question (call on the interface thread).
bool VideoAvailable();
bool GetDesktopMode(TDesktopMode& mode);

struct TOpenOptions {
    std::string Title;
    bool FullScreen = false;
    bool VSync = true;
};

// Interface thread only. False when the driver, window, renderer or texture cannot be made.
// While open, message boxes (platform/Dialogs.h) are shown as the video library's own boxes,
// except on the headless drivers ("dummy", "offscreen"), which keep the standard-error default.
bool Open(const TOpenOptions& options);
void Close();
bool IsOpen();

// Any thread. Copies each rectangle of pixels (a width x height image, rows pitch bytes apart)
// that lies on the screen into the front copy, clipped to the image and the screen, and asks
// the interface thread to show them. Returns false, copying nothing, when the display is closed.
bool Present(const uint8_t* pixels, int pitch, TSourceFormat format, int width, int height,
             const TDisplayRect* rects, int count);
// Waits until everything given to Present so far has been presented, at most timeoutMs.
// True when it was (or nothing was waiting).
bool WaitPresented(int timeoutMs);
// Any thread; applied by the interface thread on its next pump.
void SetVSync(bool on);
// Refresh period of the window's display in milliseconds (17 when unknown).
int RefreshPeriodMs();

// Reads the front copy's pixels (0x00RRGGBB); false when closed or outside the screen.
bool ReadFront(int x, int y, uint32_t& rgb);
// How many presents the interface thread has made since Open.
uint64_t PresentCount();

enum class TEventKind : uint8_t {
    MouseMove,
    MouseDown,
    MouseUp,
    Wheel,
    MouseEnter,
    MouseLeave,
    KeyDown,
    KeyUp,
    Activate,
    Deactivate,
    Close,  // the user asked to close the window
    // The connection to the display was lost (its server ended). Delivered once; from then on
    // nothing is shown, and the window is only closed.
    DisplayLost,
};

// One input event, coordinates in the 640x480 game screen.
struct TInputEvent {
    TEventKind Kind = TEventKind::MouseMove;
    int32_t X = 0;
    int32_t Y = 0;
    TMouseButton Button = mbLeft;
    Word Key = 0;  // virtual-key code (0 for keys the game has no code for)
    TShiftState Shift;
    int32_t WheelDelta = 0;  // 120 per notch, positive away from the user
};

using TInputHandler = std::function<void(const TInputEvent& event)>;
// The handler runs on the interface thread inside PumpEvents; an empty one drops events.
void SetInputHandler(TInputHandler handler);

// For the program's start, before the window exists: the same message boxes from now on, for
// good (a headless driver named in the environment keeps the default).
void InstallMessageBoxes();

// Any thread: the interface thread's next pump delivers a Close event, as if the user had
// closed the window. False when the display is closed.
bool PostClose();

// Any thread: the interface thread's wait in PumpEvents ends soon, even with nothing to show.
void Wake();

// Interface thread: waits at most timeoutMs for the first event, then handles every queued
// one (input, window changes, presentation requests). False when closed.
bool PumpEvents(int timeoutMs);
// The display the window is shown on, as the player names it (":0"); after a lost connection,
// also once the window is gone or where it never stood, the display that was lost; "" when
// unknown.
std::string ServerName();
// True once the connection to the display was lost.
bool ServerLost();

// Published by the interface thread; readable anywhere.
int MouseX();
int MouseY();
bool ApplicationActive();

// Where the 640x480 screen lies in an output of the given size: the largest centred rectangle
// of the same aspect ratio.
TDisplayRect LetterboxRect(int outputWidth, int outputHeight);
// A window position mapped into the screen shown in that letterbox, clamped to the screen.
void WindowToScreen(int x, int y, int windowWidth, int windowHeight, int& screenX, int& screenY);
// The virtual-key code of a key given as its keyboard symbol of the video library; 0 if none.
Word VirtualKeyOf(int32_t keySymbol);

}  // namespace Display
