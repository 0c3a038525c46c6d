#include "platform/Renderchoice.h"

#include <SDL2/SDL.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/X11window.h"

namespace {

bool RenderNodePresent()
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/dri", error))
        if (entry.path().filename().string().rfind("renderD", 0) == 0)
            return true;
    return false;
}

}  // namespace

bool HardwareRendering(SDL_Window* window)
{
    const char* software = std::getenv("LIBGL_ALWAYS_SOFTWARE");
    if (software && *software && std::strcmp(software, "0") != 0)
        return false;
    if (!RenderNodePresent())
        return false;
    bool direct = true;
    X11DirectRendering(window, direct);
    return direct;
}

void KeepWindowSurfacesOffOpenGL()
{
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
}
