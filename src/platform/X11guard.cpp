#include "platform/X11guard.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>

#include <atomic>
#include <cstdio>

#if defined(SDL_VIDEO_DRIVER_X11)
#include <X11/Xlib.h>
#endif

namespace {

std::atomic<bool> Lost{false};
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
#endif

}  // namespace

void PrepareX11Guard()
{
#if defined(SDL_VIDEO_DRIVER_X11)
    // Set before SDL opens its connections: SDL records this handler as the one to chain to
    // and to restore when the video system closes, when late errors of a lost window arrive.
    XSetErrorHandler(OnXError);
#endif
}

void InstallX11Guard(SDL_Window* window)
{
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) {
        return;
    }
    Lost.store(false);
    XSetErrorHandler(OnXError);
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
