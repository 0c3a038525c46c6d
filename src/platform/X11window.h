#pragma once
// What the X server itself says about the game's window, where the video library's own view may
// differ: a full-screen request that no window manager carried out leaves the library believing
// in a size the window never got. Every function answers false on other video drivers.

#include <cstdint>
#include <vector>

struct SDL_Window;

struct TWindowPlace {
    int X = 0;  // in root-window coordinates
    int Y = 0;
    int Width = 0;
    int Height = 0;
};

// Where the window really stands and how big it really is.
bool X11WindowPlace(SDL_Window* window, TWindowPlace& place);
// Where the pointer stands now, in root-window coordinates, asked of the server: the video
// library's global position is a cache that only some pointer events refresh.
bool X11PointerPlace(SDL_Window* window, int& x, int& y);
// Whether a window manager that follows the desktop conventions runs on the window's screen.
bool X11WindowManagerRuns(SDL_Window* window, bool& runs);
// Whether the X server can hand rendering to a graphics device of this machine (direct
// rendering); without it any OpenGL the program gets is drawn in software.
bool X11DirectRendering(SDL_Window* window, bool& direct);
// Makes the picture (0x00RRGGBB, width x height) the window's background, so that the X server
// itself repaints what a closed window uncovers while nobody pumps the window's events.
bool X11KeepPictureOnExpose(SDL_Window* window, const std::vector<uint32_t>& pixels, int width, int height);
