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
//
// The stand-ins. The video library opens connections of its own and waits inside Xlib, where
// no handler of ours can be set in time. So this unit defines six of libX11's functions itself,
// XOpenDisplay, XIfEvent, XWindowEvent, XPeekEvent, XGetAtomName and XGetModifierMapping,
// exported from the program (zb and every test program): they replace libX11's for the whole
// process, and each calls on to the real one (found with dlsym(RTLD_NEXT)) or to Xlib's
// non-blocking calls. XOpenDisplay gives each new connection the guard's handler for a lost
// server from its first request on; the three waits poll and end with an empty event once their
// connection is lost; the two lookups give an empty answer where the library gives none, as it
// does once the connection is lost, since the video library uses their answers without looking.
// They work only while both hold:
// - the video library is linked against libX11 (Debian's SDL is), so that its calls are bound
//   by the dynamic linker, which finds the program's definitions first; a library that opens
//   libX11 with dlopen and looks its functions up there never reaches them;
// - the program exports the six (they are marked default visibility; a build with hidden
//   visibility, a version script or --exclude-libs that drops them switches the guard off).
// Nothing fails when they are bypassed, the guard is just gone: X11StandInOpens tells, and
// the platform tests check it.

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
// How many X connections were asked for through the stand-in for XOpenDisplay, answered or
// not: none after the video library asked for one means the stand-ins are bypassed.
int X11StandInOpens();

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
