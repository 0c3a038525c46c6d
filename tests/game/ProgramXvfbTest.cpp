// The program in a real window under a virtual X server: the window's title and size, a second
// start exiting at once, and closing the window as a window manager would.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "support/ArchiveFixtures.h"
#include "support/GameFormFixtures.h"

namespace {

// Asks an X window to close as a window manager does: a WM_DELETE_WINDOW client message.
const char CloseWindowScript[] = R"PY(
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

bool OnPath(const std::string& tool)
{
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// key=value lines written by the script.
std::map<std::string, std::string> ReadResults(const std::string& path)
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

}  // namespace

TEST(ProgramOnXvfb, WindowIsTitledAndSizedAndClosingItEndsTheProgramInOrder)
{
    for (const char* tool : {"xvfb-run", "xdotool", "python3"})
        if (!OnPath(tool))
            GTEST_SKIP() << tool << " is not installed";
    // The program is built next to the test programs.
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe").parent_path() / "zb";
    ASSERT_TRUE(std::filesystem::exists(program)) << program;
    TScratchFolder folder;
    std::filesystem::copy_file(program, folder.Path() + "/zb");
    WriteGamePictures(folder.Path());
    std::filesystem::create_directory(folder.Path() + "/run");
    const std::string closer = folder.Write("close_window.py", CloseWindowScript);
    const std::string results = folder.Path() + "/results";
    const std::string script = folder.Write("e2e.sh",
        "cd '" + folder.Path() + "'\n"
        "export XDG_RUNTIME_DIR='" + folder.Path() + "/run' SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=x11\n"
        // The X and GL libraries' own leaks and races are not ours to report here.
        "export ASAN_OPTIONS=detect_leaks=0 TSAN_OPTIONS=exitcode=0\n"
        "./zb -WINDOW -FPS 2>/dev/null &\n"
        "pid=$!\n"
        "wid=$(timeout 10 xdotool search --sync --name '^ZB$' | head -1)\n"
        "[ -n \"$wid\" ] || { kill $pid; exit 3; }\n"
        "echo name=$(xdotool getwindowname $wid) > results\n"
        "xdotool getwindowgeometry $wid | sed -n 's/.*Geometry: /geometry=/p' >> results\n"
        "timeout 5 ./zb; echo second=$? >> results\n"
        "echo inibefore=$([ -f ZB.INI ] && echo yes || echo no) >> results\n"
        "start=$(date +%s%N)\n"
        "python3 '" + closer + "' $wid\n"
        "( sleep 5; kill -9 $pid 2>/dev/null ) & guard=$!\n"
        "wait $pid; echo exit=$? >> results\n"
        "echo ms=$(( ($(date +%s%N) - start) / 1000000 )) >> results\n"
        "kill $guard 2>/dev/null\n"
        "echo ini=$([ -f ZB.INI ] && echo yes || echo no) >> results\n");
    const std::string command = "xvfb-run -a -s '-screen 0 1024x768x24' sh '" + script + "'";
    std::map<std::string, std::string> r;
    // Another program starting its own X server at the same moment can take the display number
    // xvfb-run picked; such a start is tried again.
    for (int attempt = 0; attempt < 3 && r.count("ini") == 0; ++attempt) {
        std::filesystem::remove(results);
        std::system(command.c_str());
        r = ReadResults(results);
    }
    ASSERT_EQ(r.count("ini"), 1u) << command;
    EXPECT_EQ(r["name"], "ZB");
    EXPECT_EQ(r["geometry"], "640x480");
    EXPECT_EQ(r["second"], "0");
    EXPECT_EQ(r["inibefore"], "no");
    EXPECT_EQ(r["exit"], "0");
    EXPECT_LT(std::stoi(r["ms"]), 1000);
    EXPECT_EQ(r["ini"], "yes");
}
