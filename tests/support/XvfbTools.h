#pragma once
// Helpers of the tests that run the built program under a virtual X server.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/ProgramReports.h"

namespace xvfb {

// Asks X windows to close as a window manager does: a WM_DELETE_WINDOW client message to each
// window named on the command line. A window that is gone by then is passed over: the game's
// window may have been made anew since it was looked up.
inline constexpr char CloseWindowScript[] = R"PY(
import ctypes, sys

class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("l", ctypes.c_long * 5)]

class XEvent(ctypes.Union):
    _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]

x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.POINTER(XEvent)]
x11.XFlush.argtypes = [ctypes.c_void_p]
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
x11.XSetErrorHandler.argtypes = [ctypes.c_void_p]
Handler = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
ignore = Handler(lambda d, e: 0)
x11.XSetErrorHandler(ctypes.cast(ignore, ctypes.c_void_p))
display = x11.XOpenDisplay(None)
if not display:
    sys.exit("no display")
for window in (int(a, 0) for a in sys.argv[1:]):
    event = XEvent()
    event.xclient.type = 33  # ClientMessage
    event.xclient.window = window
    event.xclient.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
    event.xclient.format = 32
    event.xclient.l[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    x11.XSendEvent(display, window, 0, 0, ctypes.byref(event))
x11.XFlush(display)
x11.XCloseDisplay(display)
)PY";

// Watches the top-level windows of the given names and writes, for each, when it was first mapped
// and last unmapped, counted in the X server's own order of events (-1 never; a window still
// mapped at the end counts as unmapped after everything), and its first geometry: NAMEfirst=,
// NAMElast=, NAMEgeometry=WxH+X+Y. It takes the maps into its own hands, as a window manager
// does, and grants each only after reading the window's name and place: a window that stands
// for a few milliseconds cannot slip past a watcher the scheduler has not run yet. It writes
// "watching" to the file named by its second argument (a fifo) once that holds, and ends once
// the last name has shown and every other one is gone again, or after 60 s.
inline constexpr char WindowWatchScript[] = R"PY(
import ctypes, select, sys, time

# Usage: watch.py results ready name... (the last name ends the watch once it shows)

class Attrs(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int), ("height", ctypes.c_int),
                ("border_width", ctypes.c_int), ("depth", ctypes.c_int), ("visual", ctypes.c_void_p),
                ("root", ctypes.c_ulong), ("c_class", ctypes.c_int), ("bit_gravity", ctypes.c_int),
                ("win_gravity", ctypes.c_int), ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
                ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int), ("colormap", ctypes.c_ulong),
                ("map_installed", ctypes.c_int), ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]

# The head every structure event shares: type, serial, send_event, display, then two windows
# (for the requests parent and window, for the notifications event and window).
class Head(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("first", ctypes.c_ulong), ("window", ctypes.c_ulong)]

class ConfigureRequest(ctypes.Structure):
    _fields_ = Head._fields_ + [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int),
                                ("height", ctypes.c_int), ("border_width", ctypes.c_int),
                                ("above", ctypes.c_ulong), ("detail", ctypes.c_int), ("value_mask", ctypes.c_ulong)]

class Changes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int), ("height", ctypes.c_int),
                ("border_width", ctypes.c_int), ("sibling", ctypes.c_ulong), ("stack_mode", ctypes.c_int)]

class XEvent(ctypes.Union):
    _fields_ = [("head", Head), ("configure", ConfigureRequest), ("pad", ctypes.c_long * 24)]

DESTROY, UNMAP, MAP, MAP_REQUEST, CONFIGURE_REQUEST = 17, 18, 19, 20, 23
SUBSTRUCTURE_NOTIFY, SUBSTRUCTURE_REDIRECT = 1 << 19, 1 << 20

x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
x11.XPending.argtypes = [ctypes.c_void_p]
x11.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.POINTER(XEvent)]
x11.XConnectionNumber.argtypes = [ctypes.c_void_p]
x11.XMapWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x11.XConfigureWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_uint, ctypes.POINTER(Changes)]
x11.XFetchName.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_char_p)]
x11.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(Attrs)]
x11.XFree.argtypes = [ctypes.c_void_p]
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
x11.XSetErrorHandler.argtypes = [ctypes.c_void_p]
Handler = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
ignore = Handler(lambda d, e: 0)  # windows may vanish between the calls
x11.XSetErrorHandler(ctypes.cast(ignore, ctypes.c_void_p))
display = x11.XOpenDisplay(None)
if not display:
    sys.exit("no display")
root = x11.XDefaultRootWindow(display)
names = sys.argv[3:]
x11.XSelectInput(display, root, SUBSTRUCTURE_NOTIFY | SUBSTRUCTURE_REDIRECT)
x11.XSync(display, 0)
with open(sys.argv[2], "w") as ready:
    ready.write("watching\n")

order = 0
known, mapped = {}, set()  # window -> name; windows of the watched names now mapped
first, last, geometry = {}, {}, {}

def handle(event):
    global order
    order += 1
    kind, window = event.head.type, event.head.window
    if kind == MAP_REQUEST:
        # The program waits for its map, so the window is there to be read.
        name = ctypes.c_char_p()
        if x11.XFetchName(display, window, ctypes.byref(name)) and name.value:
            text = name.value.decode("latin-1")
            x11.XFree(name)
            a = Attrs()
            if text in names and x11.XGetWindowAttributes(display, window, ctypes.byref(a)):
                known[window] = text
                geometry.setdefault(text, "%dx%d+%d+%d" % (a.width, a.height, a.x, a.y))
        x11.XMapWindow(display, window)
    elif kind == CONFIGURE_REQUEST:
        c = event.configure
        changes = Changes(c.x, c.y, c.width, c.height, c.border_width, c.above, c.detail)
        x11.XConfigureWindow(display, window, ctypes.c_uint(c.value_mask & 0x7F), ctypes.byref(changes))
    elif kind == MAP and window in known:
        first.setdefault(known[window], order)
        mapped.add(window)
    elif kind in (UNMAP, DESTROY) and window in mapped:
        last[known[window]] = order
        mapped.discard(window)

start = time.monotonic()
while time.monotonic() - start < 60:
    if not x11.XPending(display):
        select.select([x11.XConnectionNumber(display)], [], [], 0.5)
        continue
    event = XEvent()
    x11.XNextEvent(display, ctypes.byref(event))
    handle(event)
    shown = {known[w] for w in mapped}
    if names[-1] in shown and not shown - {names[-1]}:
        break
# Maps asked for before the redirect ends are still this watcher's to grant.
x11.XSelectInput(display, root, SUBSTRUCTURE_NOTIFY)
x11.XSync(display, 0)
while x11.XPending(display):
    event = XEvent()
    x11.XNextEvent(display, ctypes.byref(event))
    handle(event)
order += 1
for w in mapped:
    last[known[w]] = order
with open(sys.argv[1], "w") as out:
    for text in names:
        out.write("%sfirst=%s\n%slast=%s\n%sgeometry=%s\n"
                  % (text, first.get(text, -1), text, last.get(text, -1), text, geometry.get(text, "")))
x11.XCloseDisplay(display)
)PY";

// Shell functions for the scripts. Message boxes carry their title as UTF-8 text, which
// xdotool's name search does not match: named NAME prints the windows titled exactly NAME, and
// waitnamed NAME SECONDS waits for one and prints it.
inline constexpr char WindowShellFunctions[] = R"SH(
named() {
  for w in $(xdotool search '.*' 2>/dev/null); do
    [ "$(xdotool getwindowname $w 2>/dev/null)" = "$1" ] && echo $w
  done
}
waitnamed() {
  i=0
  while [ $i -lt $(( $2 * 20 )) ]; do
    w=$(named "$1" | head -1)
    [ -n "$w" ] && { echo $w; return 0; }
    sleep 0.05; i=$((i + 1))
  done
  return 1
}
)SH";

// Shell function: waitguarded PID waits for the program started as PID and returns its exit
// status; one still running after 30 s is killed (status 137). The guard's sleep is kept off the
// script's output, which the test runner would otherwise wait up to 30 s more to see closed.
inline constexpr char GuardedWaitShellFunction[] = R"SH(
waitguarded() {
  ( sleep 30; kill -9 $1 2>/dev/null ) >/dev/null 2>&1 & guard=$!
  wait $1; waited=$?
  kill $guard 2>/dev/null
  return $waited
}
)SH";

// The command that runs what follows under its own virtual X server of width x height pixels.
// The server keeps running when its last client leaves: by default it resets then, and a
// program that connects during the reset (slow on a busy machine) finds no display.
inline std::string XvfbRun(int width, int height)
{
    return "xvfb-run -a -s '-screen 0 " + std::to_string(width) + "x" + std::to_string(height) + "x24 -noreset' ";
}

// Sanitizer settings for the real program run by a test, as NAME=value entries. In the
// sanitizer build it reports leaks, all but the one inside libdbus (which SDL loads on X11,
// outside our code). Under the thread checker it writes its reports where the tests' main finds
// them (support/ProgramReports.h), whatever the test does with its standard error: each report
// fails the test, and makes the program's exit status a failure too.
inline std::vector<std::string> ProgramSanitizerEnvironment()
{
    return {"ASAN_OPTIONS=detect_leaks=1",
            std::string("LSAN_OPTIONS=suppressions=") + ZB_SOURCE_DIR + "/tests/lsan.supp",
            "TSAN_OPTIONS=second_deadlock_stack=1 log_path=" + ProgramReportFolder() + "/report"};
}

// The same settings as words of a shell command, for a script to export.
inline std::string ProgramSanitizerOptions()
{
    std::string words;
    for (const std::string& entry : ProgramSanitizerEnvironment()) {
        const size_t eq = entry.find('=');
        words += (words.empty() ? "" : " ") + entry.substr(0, eq + 1) + "'" + entry.substr(eq + 1) + "'";
    }
    return words;
}

// What a program that lost its display wrote to standard error says that it ended by its own
// road: not by the last guard, not inside the X library, and with no sanitizer report.
inline void ExpectOwnEndAfterALoss(const std::string& err)
{
    EXPECT_EQ(err.find("did not end"), std::string::npos) << "the last guard ended the program\n" << err;
    EXPECT_EQ(err.find("X connection to"), std::string::npos) << "the X library ended the program itself\n" << err;
    EXPECT_EQ(err.find("Sanitizer"), std::string::npos) << err;
    EXPECT_EQ(err.find("runtime error"), std::string::npos) << err;
}

inline bool OnPath(const std::string& tool)
{
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// key=value lines written by the script.
inline std::map<std::string, std::string> ReadResults(const std::string& path)
{
    std::map<std::string, std::string> results;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        size_t eq = line.find('=');
        if (eq != std::string::npos)
            results[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return results;
}

// Calls attempt (with the try's number from 0) until it succeeds, at most three times: another
// program starting its own X server at the same moment can take the display number xvfb-run
// picked, and such a start is tried again. Whether a try succeeded.
inline bool TryOnOwnDisplay(const std::function<bool(int)>& attempt)
{
    for (int i = 0; i < 3; ++i)
        if (attempt(i))
            return true;
    return false;
}

// Runs the commands in turn until the key=value lines they write to results hold key, tried as
// above; the lines of the last try.
inline std::map<std::string, std::string> RunForResults(const std::vector<std::string>& commands,
                                                        const std::string& results, const std::string& key)
{
    std::map<std::string, std::string> r;
    TryOnOwnDisplay([&](int) {
        std::filesystem::remove(results);
        for (const std::string& command : commands)
            std::system(command.c_str());
        r = ReadResults(results);
        return r.count(key) == 1;
    });
    return r;
}

// Builds the sample game into folder/game with the mksample beside the test executable and
// copies the built zb into it; the game folder, or "" when the build failed.
inline std::string BuildSampleGame(const std::string& folder)
{
    namespace fs = std::filesystem;
    const fs::path bin = fs::read_symlink("/proc/self/exe").parent_path();
    if (!fs::exists(bin / "zb") || !fs::exists(bin / "mksample"))
        return "";
    const std::string game = folder + "/game";
    const std::string command = "'" + (bin / "mksample").string() + "' '" + game + "' '" + ZB_SOURCE_DIR +
                                "/sample' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0)
        return "";
    fs::copy_file(bin / "zb", game + "/zb", fs::copy_options::overwrite_existing);
    return game;
}

// A screenshot as 8-bit RGB.
struct TPpm {
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t> Rgb;

    uint32_t At(int x, int y) const
    {
        const size_t i = (size_t(y) * size_t(Width) + size_t(x)) * 3;
        return (uint32_t(Rgb[i]) << 16) | (uint32_t(Rgb[i + 1]) << 8) | Rgb[i + 2];
    }
};

// A binary 8-bit PPM; comments in the header are skipped.
inline bool ReadPpm(const std::string& path, TPpm& ppm)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    in >> magic;
    if (magic != "P6")
        return false;
    int values[3] = {0, 0, 0};
    for (int& v : values) {
        in >> std::ws;
        while (in.peek() == '#') {
            std::string comment;
            std::getline(in, comment);
            in >> std::ws;
        }
        in >> v;
    }
    in.get();
    if (!in || values[0] <= 0 || values[1] <= 0 || values[0] > 16384 || values[1] > 16384 || values[2] != 255)
        return false;
    ppm.Width = values[0];
    ppm.Height = values[1];
    ppm.Rgb.resize(size_t(ppm.Width) * size_t(ppm.Height) * 3);
    in.read(reinterpret_cast<char*>(ppm.Rgb.data()), static_cast<std::streamsize>(ppm.Rgb.size()));
    return static_cast<size_t>(in.gcount()) == ppm.Rgb.size();
}

}  // namespace xvfb
