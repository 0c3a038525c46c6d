#pragma once
// The start-up picture: a borderless window centred on the desktop that shows one picture
// while the program opens its game window. Interface thread only.

#include <cstdint>
#include <string>
#include <vector>

struct SDL_Window;

class TSplashWindow {
public:
    TSplashWindow() = default;
    ~TSplashWindow();
    TSplashWindow(const TSplashWindow&) = delete;
    TSplashWindow& operator=(const TSplashWindow&) = delete;

    // Opens the window with the picture (width x height pixels 0x00RRGGBB, rows top-down) and
    // draws it at once, so that it stands before the loop runs. False when no window can be
    // made (no video driver, a picture of the wrong size).
    bool Show(const std::string& title, const std::vector<uint32_t>& pixels, int width, int height);
    // Closes the window; nothing when it is not shown.
    void Hide();

private:
    SDL_Window* FWindow = nullptr;
};
