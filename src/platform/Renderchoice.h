#pragma once
// How the game's pictures reach the screen: through OpenGL where a graphics device draws it,
// through memory surfaces where OpenGL would be drawn in software anyway.

struct SDL_Window;

// Whether OpenGL on this machine would run on a graphics device. Where it would be drawn in
// software (no device, or an X server that cannot hand rendering to one, as a virtual or remote
// display), the accelerated renderer maps a whole compiler and starts a thread per core to show a
// picture already composed in memory, which the software renderer shows for a fraction of that.
bool HardwareRendering(SDL_Window* window);
// Otherwise the video library backs a window surface with OpenGL too, after loading it once just
// to ask whether it is fast. Call before the first window surface or software renderer.
void KeepWindowSurfacesOffOpenGL();
