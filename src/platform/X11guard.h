#pragma once
// Keeps the program alive when the X server takes its window away. Xlib's default error
// handler ends the process on any protocol error, so a window destroyed from outside (a task
// killer or "xdotool windowclose") would end the game without saving; instead such a window
// counts as closed by the player.

union SDL_Event;
struct SDL_Window;

// Before the video system starts: makes the guard's handler the one SDL keeps underneath its own.
void PrepareX11Guard();
// After the window is made: replaces Xlib's fatal error handler and asks for the window
// system's own events. Does nothing on other video drivers.
void InstallX11Guard(SDL_Window* window);
// True when the event says the window was destroyed by the X server.
bool IsWindowDestroyedEvent(const SDL_Event& event, SDL_Window* window);
// True once an X request failed because the window is gone.
bool X11WindowLost();
