#include "platform/SplashWindow.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include <cstdlib>

#include "platform/X11guard.h"
#include "platform/Display.h"
#include "platform/Renderchoice.h"

#if defined(SDL_VIDEO_DRIVER_X11)
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#endif

namespace {

// Nobody pumps the splash's events while a start-up message box waits for its answer, so the
// X server repaints what a closed box uncovers: the picture becomes the window's background.
void KeepPictureOnExpose(SDL_Window* window, const std::vector<uint32_t>& pixels, int width, int height)
{
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11 || !info.info.x11.display)
        return;
    ::Display* display = info.info.x11.display;
    const Window target = info.info.x11.window;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, target, &attributes) || attributes.depth < 24 || !attributes.visual ||
        attributes.visual->red_mask != 0xFF0000 || attributes.visual->green_mask != 0xFF00 ||
        attributes.visual->blue_mask != 0xFF)
        return;  // pixels are written as they come: 0x00RRGGBB
    XImage* image = XCreateImage(display, attributes.visual, unsigned(attributes.depth), ZPixmap, 0, nullptr,
                                 unsigned(width), unsigned(height), 32, 0);
    if (!image)
        return;
    image->data = static_cast<char*>(std::malloc(size_t(image->bytes_per_line) * size_t(height)));
    if (!image->data) {
        XDestroyImage(image);
        return;
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
#else
    (void)window;
    (void)pixels;
    (void)width;
    (void)height;
#endif
}

}  // namespace

TSplashWindow::~TSplashWindow() { Hide(); }

bool TSplashWindow::Show(const std::string& title, const std::vector<uint32_t>& pixels, int width, int height)
{
    if (FWindow || width < 1 || height < 1 || pixels.size() != size_t(width) * size_t(height))
        return false;
    // The splash may be the first to start the video system: the guard's error handler must
    // be in place before SDL opens its connection to the X server.
    PrepareX11Guard();
    if (!Display::StartVideo())
        return false;
    FWindow = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height,
                               SDL_WINDOW_BORDERLESS | SDL_WINDOW_SHOWN | SDL_WINDOW_SKIP_TASKBAR);
    if (!FWindow) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    // A plain window surface: the picture is drawn once, no renderer is worth its cost here.
    if (!HardwareRendering(FWindow))
        KeepWindowSurfacesOffOpenGL();
    SDL_Surface* target = SDL_GetWindowSurface(FWindow);
    SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(pixels.data()), width, height,
                                                             32, width * 4, SDL_PIXELFORMAT_RGB888);
    if (target && source) {
        SDL_BlitSurface(source, nullptr, target, nullptr);
        SDL_UpdateWindowSurface(FWindow);
    }
    SDL_FreeSurface(source);
    KeepPictureOnExpose(FWindow, pixels, width, height);
    return true;
}

void TSplashWindow::Hide()
{
    if (!FWindow)
        return;
    SDL_DestroyWindow(FWindow);
    FWindow = nullptr;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}
