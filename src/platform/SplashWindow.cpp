#include "platform/SplashWindow.h"

#include <SDL.h>

#include "platform/X11guard.h"
#include "platform/Display.h"
#include "platform/Renderchoice.h"
#include "platform/X11window.h"

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
    // Shown before the game exists, by a video library that falls over failed answers while it
    // makes a window: a loss in here ends the process at once.
    TX11Start starting;
    FWindow = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height,
                               SDL_WINDOW_BORDERLESS | SDL_WINDOW_SHOWN | SDL_WINDOW_SKIP_TASKBAR);
    if (!FWindow) {
        Display::EndVideo(true);
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
    X11KeepPictureOnExpose(FWindow, pixels, width, height);
    return true;
}

void TSplashWindow::Hide()
{
    if (!FWindow)
        return;
    // Without its display the window stays as it is: destroying it would wait for the server.
    if (!X11DisplayLost())
        SDL_DestroyWindow(FWindow);
    FWindow = nullptr;
    Display::EndVideo(true);
}
