#pragma once
// Keeps the program alive when the X server takes its window away, and when the server itself
// goes away.
//
// Xlib's default error handler ends the process on any protocol error, so a window destroyed
// from outside (a task killer or "xdotool windowclose") would end the game without saving;
// instead such a window counts as closed by the player.
//
// Xlib's default answer to a lost connection (the server ended) is exit(1) from whichever
// thread meets it, while the other threads still run and use what the exit frees. The guard's
// answer, on every connection the process opens, only notes the loss and lets the X library
// return its failed call, so that the interface thread ends the game in order; the library's
// waits for an event end on a lost connection instead of looping for ever. Once the
// connection is lost, nothing should make a video call that talks to the server any more; and
// should the end still stand still, the last guard ends the process a few seconds after.

#include <string>

union SDL_Event;
struct SDL_Window;

// Before the video system starts: makes the guard's handlers the ones SDL keeps underneath its
// own, for protocol errors and for a lost connection.
void PrepareX11Guard();
// After the game window is made: also replaces Xlib's protocol error handler and asks for the
// window system's own events.
void InstallX11Guard(SDL_Window* window);
// True when the event says the window was destroyed by the X server.
bool IsWindowDestroyedEvent(const SDL_Event& event, SDL_Window* window);
// True once an X request failed because the window is gone.
bool X11WindowLost();

// While one stands, the video system is starting (its connections made, the first window
// shown): a connection lost then ends the process at once with a line that names the display,
// and status 1. The library goes on with the failed answers there and falls over them.
class TX11Start {
public:
    TX11Start();
    ~TX11Start();
    TX11Start(const TX11Start&) = delete;
    TX11Start& operator=(const TX11Start&) = delete;
};

// Any thread: true once the connection to the X server was lost.
bool X11DisplayLost();
// The lost display's name, as the player names it (":0"); "" while none was lost.
std::string X11LostDisplayName();
// The X display the window is shown on, as the player names it (":0"); "" on other drivers.
std::string X11DisplayName(SDL_Window* window);
// The window's connection to the X server, for waiting on it; -1 on other drivers.
int X11ConnectionNumber(SDL_Window* window);
// Sends what is buffered and tells whether the X library already holds events that waiting on
// the connection would not see. False once the connection is lost.
bool X11EventsWaiting(SDL_Window* window);
