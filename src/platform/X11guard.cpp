#include "platform/X11guard.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <dlfcn.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform/Lastguard.h"

#if defined(SDL_VIDEO_DRIVER_X11)
// The display's own lock is needed when its connection is lost (below).
#include <X11/Xlibint.h>
#undef min
#undef max
#endif

namespace {

std::atomic<bool> Lost{false};
std::atomic<bool> ConnectionLost{false};

// How long the end after a lost connection may stand still before the last guard ends it.
constexpr unsigned LateEndSeconds = 8;
// The lost display's name, written once before ConnectionLost is set.
char LostName[128];
// The process the guard works for: a child forked from it (the video library shows its message
// boxes from one) has no game to end in order.
const pid_t GuardedProcess = getpid();
// Scopes in which the video system starts (see TX11Start).
std::atomic<int> Starting{0};
// Connections asked for through the stand-in, answered or not.
std::atomic<int> StandInOpens{0};

#if defined(SDL_VIDEO_DRIVER_X11)
int OnXError(::Display*, XErrorEvent* error)
{
    // A failed request on a vanished window is expected while the game closes in order; any
    // other error is reported and survived rather than ending the process.
    if (error->error_code == BadWindow || error->error_code == BadDrawable)
        Lost.store(true);
    else
        std::fprintf(stderr, "X error %d on request %d ignored\n", error->error_code, error->request_code);
    return 0;
}

// Runs on the thread whose call met the loss, inside the X library (its display lock released,
// the display held for this thread): it only notes the loss. The library then fails the call
// and every later one on the connection without waiting.
void NoteConnectionLost(::Display* display)
{
    if (getpid() != GuardedProcess)
        _exit(1);
    static std::atomic<bool> noted{false};
    if (noted.exchange(true))
        return;
    std::snprintf(LostName, sizeof LostName, "%s", display ? DisplayString(display) : "");
    ConnectionLost.store(true);
    char line[256];
    if (Starting.load() > 0) {
        // The video library, starting, goes on with the failed answers and falls over them; and
        // nothing of the game's exists yet that an orderly end would write.
        const int length = std::snprintf(line, sizeof line, "Display %s lost\n", LostName);
        (void)!write(STDERR_FILENO, line, size_t(std::clamp(length, 0, int(sizeof line) - 1)));
        _exit(1);
    }
    std::snprintf(line, sizeof line, "Display %s lost, and the game did not end: nothing moved for %u s\n", LostName,
                  LateEndSeconds);
    LastGuard::Arm(line, int(LateEndSeconds * 1000));
}

int OnXIOError(::Display* display)
{
    NoteConnectionLost(display);
    return 0;
}

void OnXIOErrorExit(::Display* display, void*)
{
    NoteConnectionLost(display);
    // The library gave up the display's lock before asking, as the process was to end here; the
    // call that met the loss still gives the lock back on its way out, so it is taken again.
    LockDisplay(display);
}

bool ConnectionFailed(::Display* display)
{
    LockDisplay(display);
    const bool failed = (display->flags & XlibDisplayIOError) != 0;
    UnlockDisplay(display);
    return failed;
}

// Waits until more of the server's output may have arrived, or briefly when it cannot tell.
void AwaitInput(::Display* display)
{
    pollfd wait{ConnectionNumber(display), POLLIN, 0};
    poll(&wait, 1, 100);
}

template <typename TFunction>
TFunction Next(const char* name)
{
    return reinterpret_cast<TFunction>(dlsym(RTLD_NEXT, name));
}
#endif

}  // namespace

#if defined(SDL_VIDEO_DRIVER_X11)
// The X library gives every connection its own answer to a lost server, by default an exit from
// whichever thread meets it; the video library opens connections of its own (one only to wake
// its event wait) that the game never sees. Every connection this process opens is given the
// guard's answer from its first request on, by standing in front of the library's open.
extern "C" __attribute__((visibility("default"))) ::Display* XOpenDisplay(const char* name)
{
    using TOpen = ::Display* (*)(const char*);
    static const TOpen open = Next<TOpen>("XOpenDisplay");
    StandInOpens.fetch_add(1);
    ::Display* display = open ? open(name) : nullptr;
    if (display)
        XSetIOErrorExitHandler(display, OnXIOErrorExit, nullptr);
    return display;
}

// The library's waits for an event loop for ever once the connection is lost (nothing will
// ever arrive), and the video library waits so for its window's map and unmap. These waits
// end on a lost connection instead, with an empty event, so that a loss at any moment (even
// between the game's look at the flag and the call) cannot hold the end.
extern "C" __attribute__((visibility("default"))) int XIfEvent(::Display* display, XEvent* event,
                                                               Bool (*predicate)(::Display*, XEvent*, XPointer),
                                                               XPointer argument)
{
    while (!XCheckIfEvent(display, event, predicate, argument)) {
        if (ConnectionFailed(display)) {
            *event = XEvent{};
            break;
        }
        AwaitInput(display);
    }
    return 0;
}

extern "C" __attribute__((visibility("default"))) int XWindowEvent(::Display* display, Window window, long mask,
                                                                   XEvent* event)
{
    while (!XCheckWindowEvent(display, window, mask, event)) {
        if (ConnectionFailed(display)) {
            *event = XEvent{};
            break;
        }
        AwaitInput(display);
    }
    return 0;
}

extern "C" __attribute__((visibility("default"))) int XPeekEvent(::Display* display, XEvent* event)
{
    using TPeek = int (*)(::Display*, XEvent*);
    static const TPeek peek = Next<TPeek>("XPeekEvent");
    // The library's own peek is only asked once an event is queued: on an empty queue of a lost
    // connection it would read an event that is not there.
    while (XEventsQueued(display, QueuedAfterFlush) == 0) {
        if (ConnectionFailed(display)) {
            *event = XEvent{};
            return 0;
        }
        AwaitInput(display);
    }
    if (peek)
        return peek(display, event);
    // Without the library's own peek: take the queued event and put it back at the head.
    XNextEvent(display, event);
    XPutBackEvent(display, event);
    return 0;
}

// Two lookups whose answers the video library uses without checking that it got one, and the
// X library gives none once the connection is lost: the name of each property that changes on
// the root window, and the modifier keys' map when the window gains the focus. An empty answer
// instead, which the caller frees as any other (XFree, XFreeModifiermap).
extern "C" __attribute__((visibility("default"))) char* XGetAtomName(::Display* display, Atom atom)
{
    using TName = char* (*)(::Display*, Atom);
    static const TName name = Next<TName>("XGetAtomName");
    char* found = name ? name(display, atom) : nullptr;
    return found ? found : strdup("");
}

// The library's own does not look whether the answer came either, and sizes its read by the
// length of an answer it never got: this one asks and reads for itself.
extern "C" __attribute__((visibility("default"))) XModifierKeymap* XGetModifierMapping(::Display* display)
{
    XModifierKeymap* map = nullptr;
    LockDisplay(display);
    _XGetRequest(display, X_GetModifierMapping, SIZEOF(xReq));
    xGetModifierMappingReply answer;
    if (_XReply(display, reinterpret_cast<xReply*>(&answer), 0, xFalse)) {
        // Eight modifiers, each with the same number of key slots.
        const unsigned long bytes = static_cast<unsigned long>(answer.length) * 4;
        if (bytes == 8ul * answer.numKeyPerModifier && (map = XNewModifiermap(answer.numKeyPerModifier)) &&
            bytes > 0)
            _XReadPad(display, reinterpret_cast<char*>(map->modifiermap), long(bytes));
        else if (!map)
            _XEatDataWords(display, answer.length);
    }
    UnlockDisplay(display);
    if (display->synchandler)
        display->synchandler(display);
    return map ? map : XNewModifiermap(0);
}
#endif

namespace {
#if defined(SDL_VIDEO_DRIVER_X11)
// The window's X connection; null for no window or another driver.
::Display* X11DisplayOf(SDL_Window* window)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (window && SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_X11)
        return info.info.x11.display;
    return nullptr;
}
#endif

}  // namespace

void PrepareX11Guard()
{
#if defined(SDL_VIDEO_DRIVER_X11)
    // Set before SDL opens its connections: SDL records this handler as the one to chain to
    // and to restore when the video system closes, when late errors of a lost window arrive.
    XSetErrorHandler(OnXError);
    // Process-wide; without it the library's own handler ends the process before the
    // connection's exit handler is asked.
    XSetIOErrorHandler(OnXIOError);
#endif
}

void InstallX11Guard(SDL_Window* window)
{
#if defined(SDL_VIDEO_DRIVER_X11)
    ::Display* display = X11DisplayOf(window);
    if (!display)
        return;
    Lost.store(false);
    XSetErrorHandler(OnXError);
    XSetIOErrorHandler(OnXIOError);
    XSetIOErrorExitHandler(display, OnXIOErrorExit, nullptr);
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
#else
    (void)window;
#endif
}

bool IsWindowDestroyedEvent(const SDL_Event& event, SDL_Window* window)
{
#if defined(SDL_VIDEO_DRIVER_X11)
    if (event.type != SDL_SYSWMEVENT || !event.syswm.msg || event.syswm.msg->subsystem != SDL_SYSWM_X11 || !window)
        return false;
    const XEvent& x = event.syswm.msg->msg.x11.event;
    if (x.type != DestroyNotify)
        return false;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    return SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_X11 &&
           x.xdestroywindow.window == info.info.x11.window;
#else
    (void)event;
    (void)window;
    return false;
#endif
}

TX11Start::TX11Start()
{
    Starting.fetch_add(1);
}

TX11Start::~TX11Start()
{
    Starting.fetch_sub(1);
}

int X11StandInOpens()
{
    return StandInOpens.load();
}

bool X11WindowLost()
{
    return Lost.load();
}

bool X11DisplayLost()
{
    return ConnectionLost.load();
}

std::string X11LostDisplayName()
{
    return ConnectionLost.load() ? std::string(LostName) : std::string();
}

std::string X11DisplayName(SDL_Window* window)
{
#if defined(SDL_VIDEO_DRIVER_X11)
    if (::Display* display = X11DisplayOf(window))
        return DisplayString(display);
#else
    (void)window;
#endif
    return "";
}

int X11ConnectionNumber(SDL_Window* window)
{
#if defined(SDL_VIDEO_DRIVER_X11)
    if (::Display* display = X11DisplayOf(window))
        return ConnectionNumber(display);
#else
    (void)window;
#endif
    return -1;
}

bool X11EventsWaiting(SDL_Window* window)
{
#if defined(SDL_VIDEO_DRIVER_X11)
    ::Display* display = ConnectionLost.load() ? nullptr : X11DisplayOf(window);
    if (display)
        return XEventsQueued(display, QueuedAfterFlush) > 0 && !ConnectionLost.load();
#else
    (void)window;
#endif
    return false;
}
