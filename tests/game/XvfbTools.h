#pragma once
// Helpers of the tests that run the built program under a virtual X server.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace xvfb {

// Asks an X window to close as a window manager does: a WM_DELETE_WINDOW client message.
inline constexpr char CloseWindowScript[] = R"PY(
import ctypes, sys

class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("l", ctypes.c_long * 5)]

class XEvent(ctypes.Union):
    _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]

window = int(sys.argv[1], 0)
x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.POINTER(XEvent)]
x11.XFlush.argtypes = [ctypes.c_void_p]
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
display = x11.XOpenDisplay(None)
if not display:
    sys.exit("no display")
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

// Watches the top-level windows of the given names (at most 20 s, polling every 2 ms) and
// writes, for each, when it was first and last seen mapped (ms from the start, -1 never) and
// its first geometry: NAMEfirst=, NAMElast=, NAMEgeometry=WxH+X+Y. The watch ends once the last
// name shows and the others have been gone for a second. Once it watches, the file of the
// results' name with ".ready" added exists.
inline constexpr char WindowWatchScript[] = R"PY(
import ctypes, sys, time

# Usage: watch.py results name... (the last name ends the watch once it shows)

class Attrs(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int), ("height", ctypes.c_int),
                ("border_width", ctypes.c_int), ("depth", ctypes.c_int), ("visual", ctypes.c_void_p),
                ("root", ctypes.c_ulong), ("c_class", ctypes.c_int), ("bit_gravity", ctypes.c_int),
                ("win_gravity", ctypes.c_int), ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
                ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int), ("colormap", ctypes.c_ulong),
                ("map_installed", ctypes.c_int), ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]

x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                           ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                           ctypes.POINTER(ctypes.c_uint)]
x11.XFetchName.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_char_p)]
x11.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(Attrs)]
x11.XFree.argtypes = [ctypes.c_void_p]
x11.XSetErrorHandler.argtypes = [ctypes.c_void_p]
Handler = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
ignore = Handler(lambda d, e: 0)  # windows may vanish between the calls
x11.XSetErrorHandler(ctypes.cast(ignore, ctypes.c_void_p))
display = x11.XOpenDisplay(None)
if not display:
    sys.exit("no display")
root = x11.XDefaultRootWindow(display)
names = sys.argv[2:]
open(sys.argv[1] + ".ready", "w").close()
out = open(sys.argv[1], "w")
start = time.monotonic()
first, last, geometry = {}, {}, {}
while time.monotonic() - start < 20:
    now = int((time.monotonic() - start) * 1000)
    r, p = ctypes.c_ulong(), ctypes.c_ulong()
    children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
    if x11.XQueryTree(display, root, ctypes.byref(r), ctypes.byref(p), ctypes.byref(children), ctypes.byref(count)):
        for i in range(count.value):
            name = ctypes.c_char_p()
            if not x11.XFetchName(display, children[i], ctypes.byref(name)) or not name.value:
                continue
            text = name.value.decode("latin-1")
            a = Attrs()
            if text in names and x11.XGetWindowAttributes(display, children[i], ctypes.byref(a)) and a.map_state == 2:
                first.setdefault(text, now)
                last[text] = now
                geometry.setdefault(text, "%dx%d+%d+%d" % (a.width, a.height, a.x, a.y))
        if children:
            x11.XFree(children)
    # Done once the last name shows and the others have been gone for a second.
    if names[-1] in first and all(now - last[n] > 1000 for n in names[:-1] if n in last):
        break
    time.sleep(0.002)
for text in names:
    out.write("%sfirst=%s\n%slast=%s\n%sgeometry=%s\n"
              % (text, first.get(text, -1), text, last.get(text, -1), text, geometry.get(text, "")))
out.close()
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
