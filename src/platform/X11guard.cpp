#include "platform/X11guard.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

#if defined(SDL_VIDEO_DRIVER_X11)
// The display's own lock is needed when its connection is lost (below).
#include <X11/Xlibint.h>
#undef min
#undef max
#endif

namespace {

std::atomic<bool> Lost{false};
std::atomic<bool> ConnectionLost{false};

// How long after a lost connection the process may still take to end in order.
constexpr unsigned LateEndSeconds = 8;
// The last guard's words, made when the loss is noted: its signal handler only writes them.
char LateEndLine[256];
size_t LateEndLength = 0;

extern "C" void OnLateEnd(int)
{
    (void)!write(STDERR_FILENO, LateEndLine, LateEndLength);
    _exit(1);
}

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
    if (ConnectionLost.exchange(true))
        return;
    const int length = std::snprintf(LateEndLine, sizeof LateEndLine,
                                     "Display %s lost, and the game did not end within %u s\n",
                                     display ? DisplayString(display) : "", LateEndSeconds);
    LateEndLength = length < 0 ? 0 : std::min(size_t(length), sizeof LateEndLine - 1);
    // Should the end hang in a call of the video library that waits for the server's answer
    // anyway, the process ends all the same; everything it writes is written whole or not at all.
    struct sigaction action {};
    action.sa_handler = OnLateEnd;
    sigemptyset(&action.sa_mask);
    sigaction(SIGALRM, &action, nullptr);
    alarm(LateEndSeconds);
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

void GuardX11Connection(SDL_Window* window)
{
#if defined(SDL_VIDEO_DRIVER_X11)
    if (::Display* display = X11DisplayOf(window))
        XSetIOErrorExitHandler(display, OnXIOErrorExit, nullptr);
#else
    (void)window;
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

bool X11WindowLost()
{
    return Lost.load();
}

bool X11DisplayLost()
{
    return ConnectionLost.load();
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
