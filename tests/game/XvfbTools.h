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
