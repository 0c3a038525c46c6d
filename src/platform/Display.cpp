#include "platform/Display.h"
#include "platform/Renderchoice.h"
#include "platform/X11guard.h"
#include "platform/X11window.h"

#include <SDL.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Codepage.h"
#include "platform/Dialogs.h"
#include "platform/Forms.h"
#include "platform/Startuptrace.h"

namespace Display {
namespace {

constexpr int MaxPendingRects = 32;
constexpr int CloseCode = 1;  // user code of the wake-up event that carries a close request
constexpr size_t FrontPixels = size_t(ScreenWidth) * ScreenHeight;

// What Present hands over to the interface thread. Mailbox is a leaf lock: it is held only for
// copying pixels and rectangles (and for posting the wake-up), never while waiting.
struct TMailbox {
    std::mutex Lock;
    std::vector<uint32_t> Front;  // 0xXXRRGGBB (top byte unused), the screen as last presented
    std::vector<TDisplayRect> Pending;
    bool PendingAll = false;
    uint64_t Submitted = 0;  // Present calls that queued something
    bool Open = false;
    uint32_t WakeEvent = 0;
    // Where the interface thread waits on the X server's connection itself, this wakes it.
    int WakeFd = -1;
};

// Everything below belongs to the interface thread.
struct TWindowState {
    SDL_Window* Window = nullptr;
    SDL_Renderer* Renderer = nullptr;
    SDL_Texture* Texture = nullptr;
    std::vector<uint32_t> Staging;
    std::vector<TDisplayRect> Taken;  // the rectangles being uploaded
    bool VSyncApplied = false;
    // The software renderer draws straight into the window's own surface, which keeps what
    // stands there from one present to the next.
    bool KeepsPicture = false;
    bool NeedFullUpload = true;
    uint8_t Buttons = 0;  // ssLeft, ssRight, ssMiddle bits of the buttons held
    std::thread::id Owner;
    TMessageBoxHandler PreviousBox;
    bool BoxInstalled = false;
    bool LossReported = false;  // the window's loss was delivered as a close
    bool ConnectionLossReported = false;
    int ServerFd = -1;  // the X server's connection, where the interface thread waits on it
    std::string ServerName;
};

TMailbox Mailbox;
TWindowState Win;
std::atomic<bool> WakePosted{false};
std::atomic<bool> WantVSync{true};
std::atomic<int> PublishedX{0};
std::atomic<int> PublishedY{0};
std::atomic<bool> Active{false};
std::atomic<int> RefreshMs{17};
std::atomic<uint64_t> Presents{0};

std::mutex PresentedLock;
std::condition_variable PresentedWake;
uint64_t Presented = 0;  // the Submitted value the last present covered
bool PresentedClosed = true;

std::mutex HandlerLock;
TInputHandler Handler;

// Ends the interface thread's wait on the X server's connection (under the mailbox lock).
void Rouse()
{
    const uint64_t one = 1;
    if (Mailbox.WakeFd >= 0)
        (void)!write(Mailbox.WakeFd, &one, sizeof one);
}

// Posts the interface thread's wake-up unless one is already on its way; called under the
// mailbox lock so that it never races with the event queue's shut-down in Close.
void PostWake()
{
    if (!Mailbox.Open)
        return;
    if (!WakePosted.exchange(true)) {
        SDL_Event event;
        SDL_zero(event);
        event.type = Mailbox.WakeEvent;
        if (SDL_PushEvent(&event) <= 0)
            WakePosted.store(false);
    }
    // Only once the event is queued: roused earlier, the interface thread could look, find
    // nothing and wait out its whole period.
    Rouse();
}

bool ClipRect(const TDisplayRect& in, int width, int height, TDisplayRect& out)
{
    out.left = std::max<int32_t>(in.left, 0);
    out.top = std::max<int32_t>(in.top, 0);
    out.right = std::min<int32_t>(in.right, std::min(width, ScreenWidth));
    out.bottom = std::min<int32_t>(in.bottom, std::min(height, ScreenHeight));
    return out.right > out.left && out.bottom > out.top;
}

void AddPending(const TDisplayRect& r)
{
    if (Mailbox.PendingAll)
        return;
    if (static_cast<int>(Mailbox.Pending.size()) < MaxPendingRects) {
        Mailbox.Pending.push_back(r);
        return;
    }
    // Too many small pieces: one bounding rectangle uploads no slower.
    TDisplayRect bounds = r;
    for (const TDisplayRect& p : Mailbox.Pending) {
        bounds.left = std::min(bounds.left, p.left);
        bounds.top = std::min(bounds.top, p.top);
        bounds.right = std::max(bounds.right, p.right);
        bounds.bottom = std::max(bounds.bottom, p.bottom);
    }
    Mailbox.Pending.assign(1, bounds);
}

uint32_t Expand5(uint32_t v) { return (v << 3) | (v >> 2); }
uint32_t Expand6(uint32_t v) { return (v << 2) | (v >> 4); }

void CopyRow(const uint8_t* __restrict src, uint32_t* __restrict dst, int count, TSourceFormat format)
{
    switch (format) {
    case TSourceFormat::Bgrx32:
        // The texture ignores the fourth byte, so the row goes over as it is.
        std::memcpy(dst, src, size_t(count) * 4);
        break;
    case TSourceFormat::Bgr24: {
        // One four-byte load per pixel (little-endian: blue, green, red, next); the last pixel
        // is read byte by byte so that nothing past the row is touched.
        int i = 0;
        for (; i + 1 < count; ++i) {
            uint32_t p;
            std::memcpy(&p, src + 3 * i, 4);
            dst[i] = p;
        }
        if (i < count)
            dst[i] = uint32_t(src[3 * i]) | (uint32_t(src[3 * i + 1]) << 8) | (uint32_t(src[3 * i + 2]) << 16);
        break;
    }
    case TSourceFormat::Rgb565:
        for (int i = 0; i < count; ++i) {
            const uint32_t p = uint32_t(src[2 * i]) | (uint32_t(src[2 * i + 1]) << 8);
            dst[i] = (Expand5(p >> 11) << 16) | (Expand6((p >> 5) & 0x3F) << 8) | Expand5(p & 0x1F);
        }
        break;
    case TSourceFormat::Rgb555:
        for (int i = 0; i < count; ++i) {
            const uint32_t p = uint32_t(src[2 * i]) | (uint32_t(src[2 * i + 1]) << 8);
            dst[i] = (Expand5((p >> 10) & 0x1F) << 16) | (Expand5((p >> 5) & 0x1F) << 8) | Expand5(p & 0x1F);
        }
        break;
    }
}

int SourceBytes(TSourceFormat format)
{
    switch (format) {
    case TSourceFormat::Bgrx32: return 4;
    case TSourceFormat::Bgr24: return 3;
    default: return 2;
    }
}

// While a box stands, the thread that shows it waits inside the video library, which shows
// the box from a process of its own (a forked child, or a dialog tool it starts). A close
// signal ends that process, so that the wait returns and the program can end in order. The
// signal's handler does it, so no thread of ours exists to be copied into a forked child, and
// what it runs are plain system calls.
struct TStandingBox {
    std::mutex Lock;  // one box at a time
    std::atomic<bool> Standing{false};
    char ChildrenPath[64] = {};
    pid_t Before[32] = {};
    int BeforeCount = 0;
};
TStandingBox Box;

// The processes the showing thread started and that still run (at most max).
int ReadBoxChildren(pid_t* pids, int max)
{
    const int fd = open(Box.ChildrenPath, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    int count = 0;
    pid_t value = 0;
    bool inNumber = false;
    char text[256];
    for (ssize_t n; (n = read(fd, text, sizeof text)) > 0;)
        for (ssize_t i = 0; i < n; ++i) {
            if (text[i] >= '0' && text[i] <= '9') {
                value = value * 10 + (text[i] - '0');
                inNumber = true;
            } else if (inNumber) {
                if (count < max)
                    pids[count++] = value;
                value = 0;
                inNumber = false;
            }
        }
    if (inNumber && count < max)
        pids[count++] = value;
    close(fd);
    return count;
}

// The close signal's hook: ends what was started for the box; a process started before it (a
// clipboard tool) keeps running.
void EndStandingBox()
{
    if (!Box.Standing.load())
        return;
    pid_t now[32];
    const int count = ReadBoxChildren(now, 32);
    for (int i = 0; i < count; ++i) {
        bool before = false;
        for (int j = 0; j < Box.BeforeCount; ++j)
            before = before || Box.Before[j] == now[i];
        if (!before)
            kill(now[i], SIGKILL);
    }
}

void ShowSdlBox(const std::string& text, const std::string& caption)
{
    const std::string utf8Caption = ProgramTextToUtf8(caption), utf8Text = ProgramTextToUtf8(text);
    std::fprintf(stderr, "%s: %s\n", utf8Caption.c_str(), utf8Text.c_str());
    std::fflush(stderr);
    // The window may only be used as the parent on its own thread; without one the box stands
    // alone, as it must before the game window exists.
    SDL_Window* parent = std::this_thread::get_id() == Win.Owner ? Win.Window : nullptr;
    std::lock_guard<std::mutex> lock(Box.Lock);
    std::snprintf(Box.ChildrenPath, sizeof Box.ChildrenPath, "/proc/self/task/%d/children", int(gettid()));
    Box.BeforeCount = ReadBoxChildren(Box.Before, 32);
    Box.Standing.store(true);
    SetCloseSignalHook(EndStandingBox);
    // A close signal ends the program in order, which waits for the box: no box after one. Nor
    // after the display is gone: nobody would see it, and the text stands on standard error.
    if (!CloseSignalRaised() && !X11DisplayLost())
        SDL_ShowSimpleMessageBox(0, utf8Caption.c_str(), utf8Text.c_str(), parent);
    SetCloseSignalHook(nullptr);
    Box.Standing.store(false);
}

std::atomic<bool> BoxesForGood{false};

// Drivers that show nothing to anybody.
bool Invisible(const char* driver)
{
    return std::strcmp(driver, "dummy") == 0 || std::strcmp(driver, "offscreen") == 0;
}

const char* NamedDriver()
{
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    return driver && *driver ? driver : nullptr;
}

// Headless drivers have nobody to click a box away. Before the video driver runs, the driver
// asked for in the environment decides.
bool DriverCanShowBoxes()
{
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver)
        driver = NamedDriver();
    return !driver || !Invisible(driver);
}

TShiftState CurrentShift(uint16_t mods, uint8_t buttons)
{
    TShiftState s = TShiftState::FromInt(buttons);
    if (mods & KMOD_SHIFT)
        s << ssShift;
    if (mods & KMOD_ALT)
        s << ssAlt;
    if (mods & KMOD_CTRL)
        s << ssCtrl;
    return s;
}

uint8_t ButtonBit(uint8_t sdlButton, TMouseButton& button)
{
    switch (sdlButton) {
    case SDL_BUTTON_LEFT: button = mbLeft; return uint8_t(1u << ssLeft);
    case SDL_BUTTON_RIGHT: button = mbRight; return uint8_t(1u << ssRight);
    case SDL_BUTTON_MIDDLE: button = mbMiddle; return uint8_t(1u << ssMiddle);
    default: return 0;
    }
}

void Deliver(const TInputEvent& event)
{
    TInputHandler handler;
    {
        std::lock_guard<std::mutex> lock(HandlerLock);
        handler = Handler;
    }
    if (handler)
        handler(event);
}

void MapAndPublish(int wx, int wy, TInputEvent& event)
{
    // Through the renderer's output, so that the mouse meets the picture in the very rectangle
    // it was drawn into, also where output pixels and window units differ.
    int ww = ScreenWidth, wh = ScreenHeight, ow = ScreenWidth, oh = ScreenHeight;
    SDL_GetWindowSize(Win.Window, &ww, &wh);
    if (SDL_GetRendererOutputSize(Win.Renderer, &ow, &oh) != 0 || ww <= 0 || wh <= 0) {
        ow = ww;
        oh = wh;
    }
    WindowToScreen(int(int64_t(wx) * ow / std::max(ww, 1)), int(int64_t(wy) * oh / std::max(wh, 1)), ow, oh, event.X,
                   event.Y);
    PublishedX.store(event.X);
    PublishedY.store(event.Y);
}

// The pointer where the X server sees it now, in window coordinates: a window that moved or
// changed its size under a still pointer gets no motion event, and the library's last position
// would be stale (so would its global one, a cache that motion over the window does not refresh).
void PointerInWindow(int& x, int& y)
{
    TWindowPlace place;
    if (X11WindowPlace(Win.Window, place) && X11PointerPlace(Win.Window, x, y)) {
        x -= place.X;
        y -= place.Y;
    } else {
        SDL_GetMouseState(&x, &y);
    }
}

void RepublishMouse()
{
    int x = 0, y = 0;
    PointerInWindow(x, y);
    TInputEvent ignored;
    MapAndPublish(x, y, ignored);
}

// Pointer events made while the window still had its first place and size carry positions
// relative to those, and would put the cursor and the lit button elsewhere until the pointer
// moves: they are dropped, and one motion at the pointer's real place stands for them.
void SettlePointer()
{
    int x = 0, y = 0;
    PointerInWindow(x, y);  // a round trip: every event made before it has arrived
    SDL_PumpEvents();
    SDL_FlushEvent(SDL_MOUSEMOTION);
    int w = 0, h = 0;
    SDL_GetWindowSize(Win.Window, &w, &h);
    if (x < 0 || y < 0 || x >= w || y >= h)
        return;
    SDL_Event motion{};
    motion.type = SDL_MOUSEMOTION;
    motion.motion.windowID = SDL_GetWindowID(Win.Window);
    motion.motion.x = x;
    motion.motion.y = y;
    SDL_PushEvent(&motion);
}

void UploadAndPresent()
{
    if (X11DisplayLost())
        return;
    // The two lists trade places, so neither side allocates once warmed up.
    std::vector<TDisplayRect>& rects = Win.Taken;
    rects.clear();
    bool all;
    uint64_t covers;
    {
        std::lock_guard<std::mutex> lock(Mailbox.Lock);
        all = Mailbox.PendingAll || Win.NeedFullUpload;
        rects.swap(Mailbox.Pending);
        Mailbox.PendingAll = false;
        covers = Mailbox.Submitted;
        if (all)
            rects.assign(1, TDisplayRect{0, 0, ScreenWidth, ScreenHeight});
        for (const TDisplayRect& r : rects)
            for (int y = r.top; y < r.bottom; ++y) {
                const size_t at = size_t(y) * ScreenWidth + size_t(r.left);
                std::memcpy(&Win.Staging[at], &Mailbox.Front[at], size_t(r.right - r.left) * 4);
            }
    }
    Win.NeedFullUpload = false;
    for (const TDisplayRect& r : rects) {
        const SDL_Rect area{r.left, r.top, r.right - r.left, r.bottom - r.top};
        const size_t at = size_t(r.top) * ScreenWidth + size_t(r.left);
        SDL_UpdateTexture(Win.Texture, &area, &Win.Staging[at], ScreenWidth * 4);
    }
    if (!rects.empty() || all) {
        int ow = ScreenWidth, oh = ScreenHeight;
        SDL_GetRendererOutputSize(Win.Renderer, &ow, &oh);
        const TDisplayRect box = LetterboxRect(ow, oh);
        const SDL_Rect dst{box.left, box.top, box.right - box.left, box.bottom - box.top};
        if (Win.KeepsPicture && !all && dst.w == ScreenWidth && dst.h == ScreenHeight) {
            // Unscaled onto a kept picture: only the changed rectangles are drawn again.
            for (const TDisplayRect& r : rects) {
                const SDL_Rect area{r.left, r.top, r.right - r.left, r.bottom - r.top};
                const SDL_Rect to{dst.x + area.x, dst.y + area.y, area.w, area.h};
                SDL_RenderCopy(Win.Renderer, Win.Texture, &area, &to);
            }
        } else {
            SDL_SetRenderDrawColor(Win.Renderer, 0, 0, 0, 255);
            SDL_RenderClear(Win.Renderer);
            SDL_RenderCopy(Win.Renderer, Win.Texture, nullptr, &dst);
        }
        SDL_RenderPresent(Win.Renderer);
        Presents.fetch_add(1);
        StartupTrace::FramePresented();
    }
    {
        std::lock_guard<std::mutex> lock(PresentedLock);
        Presented = std::max(Presented, covers);
    }
    PresentedWake.notify_all();
}

void ApplyVSync()
{
    const bool want = WantVSync.load();
    if (want == Win.VSyncApplied)
        return;
#if SDL_VERSION_ATLEAST(2, 0, 18)
    if (SDL_RenderSetVSync(Win.Renderer, want ? 1 : 0) == 0)
        Win.VSyncApplied = want;
#endif
}

void HandleWindowEvent(const SDL_WindowEvent& w)
{
    TInputEvent event;
    switch (w.event) {
    case SDL_WINDOWEVENT_EXPOSED:
    case SDL_WINDOWEVENT_SHOWN:
    case SDL_WINDOWEVENT_RESTORED:
        Win.NeedFullUpload = true;
        UploadAndPresent();
        break;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
        RepublishMouse();
        Win.NeedFullUpload = true;
        UploadAndPresent();
        break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        Active.store(true);
        Win.NeedFullUpload = true;
        UploadAndPresent();
        event.Kind = TEventKind::Activate;
        Deliver(event);
        break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
        Active.store(false);
        event.Kind = TEventKind::Deactivate;
        Deliver(event);
        break;
    case SDL_WINDOWEVENT_ENTER: {
        int x = 0, y = 0;
        PointerInWindow(x, y);
        event.Kind = TEventKind::MouseEnter;
        MapAndPublish(x, y, event);
        Deliver(event);
        break;
    }
    case SDL_WINDOWEVENT_LEAVE:
        event.Kind = TEventKind::MouseLeave;
        event.X = PublishedX.load();
        event.Y = PublishedY.load();
        Deliver(event);
        break;
    case SDL_WINDOWEVENT_CLOSE:
        event.Kind = TEventKind::Close;
        Deliver(event);
        break;
    default: break;
    }
}

void HandleEvent(const SDL_Event& e)
{
    if (e.type == Mailbox.WakeEvent && e.user.code == CloseCode) {
        TInputEvent close;
        close.Kind = TEventKind::Close;
        Deliver(close);
        return;
    }
    if (e.type == Mailbox.WakeEvent) {
        // Cleared before the mailbox is read: a Present after this point posts a new wake-up.
        WakePosted.store(false);
        ApplyVSync();
        UploadAndPresent();
        return;
    }
    TInputEvent event;
    if (IsWindowDestroyedEvent(e, Win.Window) || (X11WindowLost() && !Win.LossReported)) {
        // The window was taken away from outside: close in order, as if the player had.
        Win.LossReported = true;
        event.Kind = TEventKind::Close;
        Deliver(event);
        return;
    }
    switch (e.type) {
    case SDL_QUIT:
        event.Kind = TEventKind::Close;
        Deliver(event);
        break;
    case SDL_WINDOWEVENT:
        // The start-up picture's window shares the event queue; its focus is not the game's.
        if (e.window.windowID == 0 || e.window.windowID == SDL_GetWindowID(Win.Window))
            HandleWindowEvent(e.window);
        break;
    case SDL_MOUSEMOTION:
        event.Kind = TEventKind::MouseMove;
        MapAndPublish(e.motion.x, e.motion.y, event);
        event.Shift = CurrentShift(SDL_GetModState(), Win.Buttons);
        Deliver(event);
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        const uint8_t bit = ButtonBit(e.button.button, event.Button);
        if (bit == 0)
            break;
        const bool down = e.type == SDL_MOUSEBUTTONDOWN;
        Win.Buttons = down ? uint8_t(Win.Buttons | bit) : uint8_t(Win.Buttons & ~bit);
        event.Kind = down ? TEventKind::MouseDown : TEventKind::MouseUp;
        MapAndPublish(e.button.x, e.button.y, event);
        event.Shift = CurrentShift(SDL_GetModState(), Win.Buttons);
        if (down && e.button.clicks == 2)
            event.Shift << ssDouble;
        Deliver(event);
        break;
    }
    case SDL_MOUSEWHEEL: {
        int x = 0, y = 0;
        SDL_GetMouseState(&x, &y);
        event.Kind = TEventKind::Wheel;
        MapAndPublish(x, y, event);
        const int notches = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
        event.WheelDelta = notches * 120;
        event.Shift = CurrentShift(SDL_GetModState(), Win.Buttons);
        if (event.WheelDelta != 0)
            Deliver(event);
        break;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        // Alt+F4 closes the window as the system menu of a desktop window does.
        if (e.type == SDL_KEYDOWN && e.key.keysym.sym == SDLK_F4 && (e.key.keysym.mod & KMOD_ALT) != 0) {
            event.Kind = TEventKind::Close;
            Deliver(event);
            break;
        }
        event.Kind = e.type == SDL_KEYDOWN ? TEventKind::KeyDown : TEventKind::KeyUp;
        event.Key = VirtualKeyOf(e.key.keysym.sym);
        event.Shift = CurrentShift(e.key.keysym.mod, Win.Buttons);
        event.X = PublishedX.load();
        event.Y = PublishedY.load();
        Deliver(event);
        break;
    default: break;
    }
}

SDL_Renderer* CreateRenderer(SDL_Window* window, bool vsync)
{
    // A renderer the player named in the environment is the video library's to pick.
    const bool software = !SDL_GetHint(SDL_HINT_RENDER_DRIVER) && !HardwareRendering(window);
    if (software)
        KeepWindowSurfacesOffOpenGL();
    const Uint32 kind = software ? SDL_RENDERER_SOFTWARE : 0;
    SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, kind | (vsync ? SDL_RENDERER_PRESENTVSYNC : 0));
    return renderer ? renderer : SDL_CreateRenderer(window, -1, kind);
}

bool CoversBounds(const SDL_Rect& bounds)
{
    TWindowPlace place;
    return X11WindowPlace(Win.Window, place) && place.X == bounds.x && place.Y == bounds.y &&
           place.Width == bounds.w && place.Height == bounds.h;
}

// Asking for desktop full screen is only a request: with no window manager nobody carries it
// out, and a manager may refuse it, while the video library believes the window covers the
// display and sizes its drawing so. Where the window did not become what was asked, a
// borderless window at the display's bounds shows the player the same.
void CoverDisplay()
{
    bool manager = false;
    if (!X11WindowManagerRuns(Win.Window, manager))
        return;  // other drivers make full screen themselves
    SDL_Rect bounds;
    const int display = SDL_GetWindowDisplayIndex(Win.Window);
    if (SDL_GetDisplayBounds(display < 0 ? 0 : display, &bounds) != 0)
        return;
    // A manager answers while it maps the window, which may take a moment after the map.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (manager && !CoversBounds(bounds) && std::chrono::steady_clock::now() < limit) {
        SDL_PumpEvents();
        SDL_Delay(10);
    }
    if (CoversBounds(bounds))
        return;
    SDL_SetWindowFullscreen(Win.Window, 0);
    SDL_SetWindowBordered(Win.Window, SDL_FALSE);
    SDL_SetWindowPosition(Win.Window, bounds.x, bounds.y);
    SDL_SetWindowSize(Win.Window, bounds.w, bounds.h);
    SDL_RaiseWindow(Win.Window);
    // Without a manager the keyboard follows the pointer unless a window takes it.
    if (!manager)
        SDL_SetWindowInputFocus(Win.Window);
    SettlePointer();
}

// The sound device's thread looks hints up as it starts, in a list that the video library
// guards with no lock, while this thread goes on to make the window. Each hint that the making
// of the window adds is put in the list before any sound device opens, at the value it has
// unset: later only values change, and the list the sound thread walks no longer grows.
void ListWindowHints()
{
#ifdef SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE
    SDL_SetHintWithPriority(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "1", SDL_HINT_DEFAULT);
#endif
    // The software renderer sets this one while it is made and empties it afterwards.
    SDL_SetHintWithPriority(SDL_HINT_RENDER_VSYNC, "", SDL_HINT_DEFAULT);
}

// Interface thread: waits at most timeoutMs on the X server's connection and the wake-up, then
// takes the first event there is.
bool WaitForEvent(SDL_Event& event, int timeoutMs)
{
    if (SDL_PollEvent(&event))
        return true;
    if (timeoutMs <= 0 || X11DisplayLost())
        return false;
    if (!X11EventsWaiting(Win.Window)) {
        pollfd waits[2] = {{Win.ServerFd, POLLIN, 0}, {-1, POLLIN, 0}};
        {
            std::lock_guard<std::mutex> lock(Mailbox.Lock);
            waits[1].fd = Mailbox.WakeFd;
        }
        // A signal cuts the wait short, so that the loop sees a close signal at once.
        poll(waits, 2, timeoutMs);
        if (waits[1].revents & POLLIN) {
            uint64_t count;
            (void)!read(waits[1].fd, &count, sizeof count);
        }
    }
    return !X11DisplayLost() && SDL_PollEvent(&event);
}

void WaitForWake(int timeoutMs)
{
    pollfd wait{-1, POLLIN, 0};
    {
        std::lock_guard<std::mutex> lock(Mailbox.Lock);
        wait.fd = Mailbox.WakeFd;
    }
    if (wait.fd >= 0 && timeoutMs > 0 && poll(&wait, 1, timeoutMs) > 0) {
        uint64_t count;
        (void)!read(wait.fd, &count, sizeof count);
    }
}

// The display is gone: the frame threads no longer wait for presentations that will not come,
// and the program hears of it once, to end as on any end it did not ask for.
void ReportConnectionLoss()
{
    {
        std::lock_guard<std::mutex> lock(PresentedLock);
        PresentedClosed = true;
    }
    PresentedWake.notify_all();
    Active.store(false);
    TInputEvent lost;
    lost.Kind = TEventKind::DisplayLost;
    Deliver(lost);
}

// The display the player asked for, so that a line about a display that did not answer says
// which one.
std::string AskedDisplay()
{
    const char* named = std::getenv("DISPLAY");
    return named && *named ? std::string(named) : std::string("DISPLAY not set");
}

}  // namespace

bool StartVideo()
{
    static std::atomic<bool> reported{false};
    std::string reason;
    ListWindowHints();
    int failed = -1;
    if (!X11DisplayLost()) {
        TX11Start starting;
        failed = SDL_InitSubSystem(SDL_INIT_VIDEO);
    }
    if (X11DisplayLost()) {
        // Lost before or while the video system started: its shut-down would only talk to a
        // dead server.
        reason = "the connection to display " + X11LostDisplayName() + " was lost";
    } else if (failed != 0) {
        reason = AskedDisplay() + ": " + SDL_GetError();
    } else {
        const char* driver = SDL_GetCurrentVideoDriver();
        if (NamedDriver() || !driver || !Invisible(driver))
            return true;
        // The video library falls back to a driver that draws for nobody when it finds no
        // display; a player would see a program that seems to hang.
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        reason = AskedDisplay() + ": neither DISPLAY nor WAYLAND_DISPLAY names a display that answers";
    }
    if (!reported.exchange(true)) {
        std::fprintf(stderr, "No display could be opened: %s\n", reason.c_str());
        std::fflush(stderr);
    }
    return false;
}

TVideoSession::TVideoSession()
{
    PrepareX11Guard();
    FStarted = StartVideo();
}

TVideoSession::~TVideoSession()
{
    EndVideo(FStarted);
}

void EndVideo(bool started)
{
    // Without its display the driver's shut-down would wait for answers that never come.
    if (started && !X11DisplayLost())
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

bool VideoAvailable()
{
    if (!StartVideo())
        return false;
    EndVideo(true);
    return true;
}

bool GetDesktopMode(TDesktopMode& mode)
{
    mode = TDesktopMode{};
    if (!StartVideo())
        return false;
    SDL_DisplayMode dm;
    const bool ok = SDL_GetDesktopDisplayMode(0, &dm) == 0;
    if (ok) {
        mode.Width = dm.w;
        mode.Height = dm.h;
        mode.RefreshRate = dm.refresh_rate;
        mode.BytesPerPixel = SDL_BYTESPERPIXEL(dm.format);
        int bpp = 0;
        SDL_PixelFormatEnumToMasks(dm.format, &bpp, &mode.RedMask, &mode.GreenMask, &mode.BlueMask,
                                   &mode.AlphaMask);
    }
    EndVideo(true);
    return ok;
}

bool Open(const TOpenOptions& options)
{
    if (IsOpen())
        return false;
    StartupTrace::Mark("display opening");
    PrepareX11Guard();
    if (!StartVideo())
        return false;
#ifdef SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE
    // Closing the window is a request the game answers itself, not a quit.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
#endif
    const uint32_t wake = SDL_RegisterEvents(1);
    Uint32 flags = SDL_WINDOW_SHOWN;
    if (options.FullScreen)
        flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    {
        // The window's making and its first showing, with the library falling over failed
        // answers of a connection lost meanwhile: a loss in here ends the process at once,
        // before anything of the game was changed that an orderly end would write.
        TX11Start starting;
        Win.Window = wake == uint32_t(-1) ? nullptr
                                           : SDL_CreateWindow(options.Title.c_str(), SDL_WINDOWPOS_CENTERED,
                                                              SDL_WINDOWPOS_CENTERED, ScreenWidth, ScreenHeight, flags);
        if (Win.Window && !X11DisplayLost()) {
            if (options.FullScreen)
                CoverDisplay();
            Win.Renderer = CreateRenderer(Win.Window, options.VSync);
        }
        if (Win.Renderer && !X11DisplayLost())
            Win.Texture = SDL_CreateTexture(Win.Renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                                            ScreenWidth, ScreenHeight);
    }
    if (!Win.Texture || X11DisplayLost()) {
        if (!X11DisplayLost()) {
            if (Win.Texture)
                SDL_DestroyTexture(Win.Texture);
            if (Win.Renderer)
                SDL_DestroyRenderer(Win.Renderer);
            if (Win.Window)
                SDL_DestroyWindow(Win.Window);
        }
        Win = TWindowState{};
        EndVideo(true);
        return false;
    }
    // On X the interface thread waits on the server's connection and on its own wake-up, not in
    // the video library's wait: that one has other threads wake it through the server, and a
    // thread that meets the lost connection there would have to end the process.
    Win.ServerFd = X11ConnectionNumber(Win.Window);
    const int wakeFd = Win.ServerFd >= 0 ? eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK) : -1;
    if (wakeFd < 0)
        Win.ServerFd = -1;
    Win.ServerName = X11DisplayName(Win.Window);
    SDL_RendererInfo info;
    const bool described = SDL_GetRendererInfo(Win.Renderer, &info) == 0;
    Win.VSyncApplied = described && (info.flags & SDL_RENDERER_PRESENTVSYNC);
    Win.KeepsPicture = described && (info.flags & SDL_RENDERER_SOFTWARE);
    WantVSync.store(options.VSync);
    Win.Staging.assign(FrontPixels, 0);
    Win.NeedFullUpload = true;
    Win.Owner = std::this_thread::get_id();
    SDL_DisplayMode dm;
    const int display = SDL_GetWindowDisplayIndex(Win.Window);
    RefreshMs.store(SDL_GetCurrentDisplayMode(display < 0 ? 0 : display, &dm) == 0 && dm.refresh_rate > 0
                        ? (1000 + dm.refresh_rate - 1) / dm.refresh_rate
                        : 17);
    InstallX11Guard(Win.Window);
    // The game draws its own cursor, and no input method may open over it.
    SDL_ShowCursor(SDL_DISABLE);
    SDL_StopTextInput();
    RepublishMouse();
    Active.store((SDL_GetWindowFlags(Win.Window) & SDL_WINDOW_INPUT_FOCUS) != 0);
    Presents.store(0);
    {
        std::lock_guard<std::mutex> lock(PresentedLock);
        Presented = 0;
        PresentedClosed = false;
    }
    {
        std::lock_guard<std::mutex> lock(Mailbox.Lock);
        Mailbox.Front.assign(FrontPixels, 0);
        Mailbox.Pending.clear();
        Mailbox.PendingAll = true;
        Mailbox.Submitted = 0;
        Mailbox.WakeEvent = wake;
        Mailbox.WakeFd = wakeFd;
        Mailbox.Open = true;
        WakePosted.store(false);
        PostWake();
    }
    if (!BoxesForGood.load() && DriverCanShowBoxes()) {
        Win.PreviousBox = SetMessageBoxHandler(ShowSdlBox);
        Win.BoxInstalled = true;
    }
    return true;
}

void Close()
{
    if (!IsOpen())
        return;
    {
        std::lock_guard<std::mutex> lock(Mailbox.Lock);
        Mailbox.Open = false;
        Mailbox.Pending.clear();
        Mailbox.PendingAll = false;
        if (Mailbox.WakeFd >= 0)
            close(Mailbox.WakeFd);
        Mailbox.WakeFd = -1;
    }
    {
        std::lock_guard<std::mutex> lock(PresentedLock);
        PresentedClosed = true;
    }
    PresentedWake.notify_all();
    if (Win.BoxInstalled)
        SetMessageBoxHandler(std::move(Win.PreviousBox));
    // Without its display the window stays as it is: destroying it would wait for the server.
    if (!X11DisplayLost()) {
        SDL_DestroyTexture(Win.Texture);
        SDL_DestroyRenderer(Win.Renderer);
        SDL_DestroyWindow(Win.Window);
        SDL_ShowCursor(SDL_ENABLE);
    }
    Win = TWindowState{};
    Active.store(false);
    EndVideo(true);
}

void InstallMessageBoxes()
{
    if (DriverCanShowBoxes() && !BoxesForGood.exchange(true))
        SetMessageBoxHandler(ShowSdlBox);
}

bool IsOpen()
{
    return Win.Window != nullptr;
}

bool Present(const uint8_t* pixels, int pitch, TSourceFormat format, int width, int height,
             const TDisplayRect* rects, int count)
{
    if (!pixels || count < 0 || (count > 0 && !rects))
        return false;
    // A pitch too short for one row would read pixels twice or outside the image.
    if (std::abs(static_cast<int64_t>(pitch)) < int64_t(width) * SourceBytes(format))
        return false;
    std::lock_guard<std::mutex> lock(Mailbox.Lock);
    if (!Mailbox.Open)
        return false;
    bool any = false;
    for (int i = 0; i < count; ++i) {
        TDisplayRect r;
        if (!ClipRect(rects[i], width, height, r))
            continue;
        const int bytes = SourceBytes(format);
        // Rows that already stand on the screen are not presented again: a still screen sends
        // the same cursor rectangles every frame, and each present is costly for the renderer.
        thread_local std::vector<uint32_t> row;
        row.resize(ScreenWidth);
        bool changed = false;
        const size_t rowBytes = size_t(r.right - r.left) * 4;
        for (int y = r.top; y < r.bottom; ++y) {
            const uint8_t* src = pixels + static_cast<ptrdiff_t>(y) * pitch + static_cast<ptrdiff_t>(r.left) * bytes;
            uint32_t* front = &Mailbox.Front[size_t(y) * ScreenWidth + size_t(r.left)];
            CopyRow(src, row.data(), r.right - r.left, format);
            if (std::memcmp(front, row.data(), rowBytes) != 0) {
                std::memcpy(front, row.data(), rowBytes);
                changed = true;
            }
        }
        if (changed) {
            AddPending(r);
            any = true;
        }
    }
    if (any) {
        ++Mailbox.Submitted;
        PostWake();
    }
    return true;
}

bool WaitPresented(int timeoutMs)
{
    uint64_t target;
    {
        std::lock_guard<std::mutex> lock(Mailbox.Lock);
        if (!Mailbox.Open)
            return true;
        target = Mailbox.Submitted;
    }
    std::unique_lock<std::mutex> lock(PresentedLock);
    if (Presented >= target && !PresentedClosed) {
        // Nothing new to show: with vertical sync the wait still lasts until the next retrace,
        // as a flip would, so that the full-speed frame loop keeps the display's pace instead
        // of spinning on a still screen.
        if (!WantVSync.load() || timeoutMs <= 0)
            return true;
        const auto period = std::chrono::milliseconds(std::max(RefreshMs.load(), 1));
        const auto now = std::chrono::steady_clock::now();
        const auto next = now + period - (now.time_since_epoch() % period);
        const auto limit = now + std::chrono::milliseconds(timeoutMs);
        PresentedWake.wait_until(lock, std::min(next, limit), [&] { return PresentedClosed; });
        return true;
    }
    return PresentedWake.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)),
                                  [&] { return PresentedClosed || Presented >= target; });
}

void SetVSync(bool on)
{
    WantVSync.store(on);
    std::lock_guard<std::mutex> lock(Mailbox.Lock);
    PostWake();
}

bool PostClose()
{
    std::lock_guard<std::mutex> lock(Mailbox.Lock);
    if (!Mailbox.Open)
        return false;
    SDL_Event event;
    SDL_zero(event);
    event.type = Mailbox.WakeEvent;
    event.user.code = CloseCode;
    const bool posted = SDL_PushEvent(&event) > 0;
    Rouse();
    return posted;
}

void Wake()
{
    std::lock_guard<std::mutex> lock(Mailbox.Lock);
    PostWake();
}

int RefreshPeriodMs()
{
    return RefreshMs.load();
}

bool ReadFront(int x, int y, uint32_t& rgb)
{
    if (x < 0 || y < 0 || x >= ScreenWidth || y >= ScreenHeight)
        return false;
    std::lock_guard<std::mutex> lock(Mailbox.Lock);
    if (!Mailbox.Open)
        return false;
    rgb = Mailbox.Front[size_t(y) * ScreenWidth + size_t(x)] & 0xFFFFFFu;
    return true;
}

uint64_t PresentCount()
{
    return Presents.load();
}

void SetInputHandler(TInputHandler handler)
{
    std::lock_guard<std::mutex> lock(HandlerLock);
    Handler = std::move(handler);
}

bool PumpEvents(int timeoutMs)
{
    if (!IsOpen())
        return false;
    SDL_Event event;
    bool got = false;
    if (!X11DisplayLost())
        got = Win.ServerFd >= 0 ? WaitForEvent(event, timeoutMs)
                                : SDL_WaitEventTimeout(&event, std::max(timeoutMs, 0)) != 0;
    if (got) {
        do {
            HandleEvent(event);
        } while (IsOpen() && !X11DisplayLost() && SDL_PollEvent(&event));
    } else if (X11WindowLost() && !Win.LossReported && !X11DisplayLost()) {
        Win.LossReported = true;
        TInputEvent close;
        close.Kind = TEventKind::Close;
        Deliver(close);
    }
    if (IsOpen() && X11DisplayLost()) {
        if (!Win.ConnectionLossReported) {
            Win.ConnectionLossReported = true;
            ReportConnectionLoss();
        } else {
            // Nothing comes from the display any more: only the program's own wake-ups end the wait.
            WaitForWake(timeoutMs);
        }
    }
    return IsOpen();
}

std::string ServerName()
{
    return Win.ServerName.empty() ? X11LostDisplayName() : Win.ServerName;
}

bool ServerLost()
{
    return X11DisplayLost();
}

int MouseX()
{
    return PublishedX.load();
}

int MouseY()
{
    return PublishedY.load();
}

bool ApplicationActive()
{
    return Active.load();
}

TDisplayRect LetterboxRect(int outputWidth, int outputHeight)
{
    if (outputWidth <= 0 || outputHeight <= 0)
        return TDisplayRect{0, 0, 0, 0};
    // The larger side that keeps 4:3, computed in 64 bits so that huge outputs cannot overflow.
    int64_t w = outputWidth, h = outputHeight;
    if (w * ScreenHeight > h * ScreenWidth)
        w = h * ScreenWidth / ScreenHeight;
    else
        h = w * ScreenHeight / ScreenWidth;
    const int64_t left = (outputWidth - w) / 2, top = (outputHeight - h) / 2;
    return TDisplayRect{int32_t(left), int32_t(top), int32_t(left + w), int32_t(top + h)};
}

void WindowToScreen(int x, int y, int windowWidth, int windowHeight, int& screenX, int& screenY)
{
    const TDisplayRect box = LetterboxRect(windowWidth, windowHeight);
    const int64_t bw = box.right - box.left, bh = box.bottom - box.top;
    if (bw <= 0 || bh <= 0) {
        screenX = screenY = 0;
        return;
    }
    // Floor division, so that the pixel row left of the picture maps to -1 before clamping.
    auto floorDiv = [](int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
    const int64_t sx = floorDiv((int64_t(x) - box.left) * ScreenWidth, bw);
    const int64_t sy = floorDiv((int64_t(y) - box.top) * ScreenHeight, bh);
    screenX = int(std::clamp<int64_t>(sx, 0, ScreenWidth - 1));
    screenY = int(std::clamp<int64_t>(sy, 0, ScreenHeight - 1));
}

Word VirtualKeyOf(int32_t keySymbol)
{
    if (keySymbol >= SDLK_a && keySymbol <= SDLK_z)
        return Word('A' + (keySymbol - SDLK_a));
    if (keySymbol >= SDLK_0 && keySymbol <= SDLK_9)
        return Word('0' + (keySymbol - SDLK_0));
    if (keySymbol >= SDLK_F1 && keySymbol <= SDLK_F12)
        return Word(VK_F1 + (keySymbol - SDLK_F1));
    switch (keySymbol) {
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LALT:
    case SDLK_RALT: return VK_MENU;
    case SDLK_PAUSE: return VK_PAUSE;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_PAGEUP: return VK_PRIOR;
    case SDLK_PAGEDOWN: return VK_NEXT;
    case SDLK_END: return VK_END;
    case SDLK_HOME: return VK_HOME;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_UP: return VK_UP;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_PRINTSCREEN:
    // Some keymaps report the PrintScreen key held with Alt as SysRq.
    case SDLK_SYSREQ: return VK_SNAPSHOT;
    case SDLK_INSERT: return VK_INSERT;
    case SDLK_DELETE: return VK_DELETE;
    default: return 0;
    }
}

}  // namespace Display
