#include "platform/X11window.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>

#include <cstdlib>

#if defined(SDL_VIDEO_DRIVER_X11)
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#endif

#if defined(SDL_VIDEO_DRIVER_X11)
namespace {

bool X11Info(SDL_Window* window, SDL_SysWMinfo& info)
{
    SDL_VERSION(&info.version);
    return window && SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_X11 &&
           info.info.x11.display != nullptr;
}

// The window id kept in a WINDOW property, 0 when there is none.
Window WindowProperty(::Display* display, Window owner, Atom property)
{
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    Window found = 0;
    if (XGetWindowProperty(display, owner, property, 0, 1, False, XA_WINDOW, &type, &format, &count, &after,
                           &data) == Success &&
        type == XA_WINDOW && format == 32 && count == 1 && data)
        found = *reinterpret_cast<Window*>(data);
    if (data)
        XFree(data);
    return found;
}

bool TrappedError = false;

int TrapError(::Display*, XErrorEvent*)
{
    TrappedError = true;
    return 0;
}

// The window named by the marker, asked through a private error handler: the named window may
// be long gone, and that failure must not count as losing the game's own window.
Window MarkerOf(::Display* display, Window window, Atom property)
{
    XSync(display, False);
    TrappedError = false;
    const auto previous = XSetErrorHandler(TrapError);
    const Window found = WindowProperty(display, window, property);
    XSync(display, False);
    XSetErrorHandler(previous);
    return TrappedError ? 0 : found;
}

}  // namespace
#endif

bool X11WindowPlace(SDL_Window* window, TWindowPlace& place)
{
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    if (!X11Info(window, info))
        return false;
    ::Display* display = info.info.x11.display;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, info.info.x11.window, &attributes))
        return false;
    int x = 0, y = 0;
    Window child = 0;
    if (!XTranslateCoordinates(display, info.info.x11.window, attributes.root, 0, 0, &x, &y, &child))
        return false;
    place = TWindowPlace{x, y, attributes.width, attributes.height};
    return true;
#else
    (void)window;
    (void)place;
    return false;
#endif
}

bool X11PointerPlace(SDL_Window* window, int& x, int& y)
{
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    if (!X11Info(window, info))
        return false;
    Window root = 0, child = 0;
    int rootX = 0, rootY = 0, windowX = 0, windowY = 0;
    unsigned int buttons = 0;
    // False when the pointer is on another screen than the window's.
    if (!XQueryPointer(info.info.x11.display, info.info.x11.window, &root, &child, &rootX, &rootY, &windowX,
                       &windowY, &buttons))
        return false;
    x = rootX;
    y = rootY;
    return true;
#else
    (void)window;
    (void)x;
    (void)y;
    return false;
#endif
}

bool X11WindowManagerRuns(SDL_Window* window, bool& runs)
{
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    if (!X11Info(window, info))
        return false;
    ::Display* display = info.info.x11.display;
    // A running manager names its check window on the root window, and that window names
    // itself the same way; a manager that died leaves the root's marker naming nothing.
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
    const Window named = WindowProperty(display, DefaultRootWindow(display), check);
    runs = named != 0 && MarkerOf(display, named, check) == named;
    return true;
#else
    (void)window;
    (void)runs;
    return false;
#endif
}

bool X11DirectRendering(SDL_Window* window, bool& direct)
{
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    if (!X11Info(window, info))
        return false;
    int opcode = 0, event = 0, error = 0;
    direct = XQueryExtension(info.info.x11.display, "DRI3", &opcode, &event, &error) ||
             XQueryExtension(info.info.x11.display, "DRI2", &opcode, &event, &error);
    return true;
#else
    (void)window;
    (void)direct;
    return false;
#endif
}

bool X11KeepPictureOnExpose(SDL_Window* window, const std::vector<uint32_t>& pixels, int width, int height)
{
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    if (!X11Info(window, info) || width < 1 || height < 1 || pixels.size() != size_t(width) * size_t(height))
        return false;
    ::Display* display = info.info.x11.display;
    const Window target = info.info.x11.window;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, target, &attributes) || attributes.depth < 24 || !attributes.visual ||
        attributes.visual->red_mask != 0xFF0000 || attributes.visual->green_mask != 0xFF00 ||
        attributes.visual->blue_mask != 0xFF)
        return false;  // pixels are written as they come: 0x00RRGGBB
    XImage* image = XCreateImage(display, attributes.visual, unsigned(attributes.depth), ZPixmap, 0, nullptr,
                                 unsigned(width), unsigned(height), 32, 0);
    if (!image)
        return false;
    image->data = static_cast<char*>(std::malloc(size_t(image->bytes_per_line) * size_t(height)));
    if (!image->data) {
        XDestroyImage(image);
        return false;
    }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            XPutPixel(image, x, y, pixels[size_t(y) * size_t(width) + size_t(x)]);
    const Pixmap background = XCreatePixmap(display, target, unsigned(width), unsigned(height),
                                            unsigned(attributes.depth));
    GC gc = XCreateGC(display, background, 0, nullptr);
    XPutImage(display, background, gc, image, 0, 0, 0, 0, unsigned(width), unsigned(height));
    XFreeGC(display, gc);
    XDestroyImage(image);  // frees the pixels too
    XSetWindowBackgroundPixmap(display, target, background);
    XFreePixmap(display, background);  // the window keeps its own reference
    XFlush(display);
    return true;
#else
    (void)window;
    (void)pixels;
    (void)width;
    (void)height;
    return false;
#endif
}
