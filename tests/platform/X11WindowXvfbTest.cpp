// The window on a real X server (Xvfb). What the server says about window managers: a manager
// counts as running only while the window its marker names exists and names itself the same
// way, as a live manager keeps it; a marker left behind by one that died counts for nothing.
// And what an idle window costs: its interface thread sleeps until something asks for it.
#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/Display.h"
#include "platform/Forms.h"
#include "platform/X11window.h"
#include "support/ArchiveFixtures.h"
#include "support/XvfbTools.h"

using namespace xvfb;

namespace {

// Leaves on the root window the marker of a manager: "live" names a window that names itself,
// "dead" one that was destroyed, "stranger" one that lives but carries no marker of its own.
// The windows outlive the script (they are kept when it disconnects).
constexpr char MarkerScript[] = R"PY(
import ctypes, sys
x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XCreateSimpleWindow.restype = ctypes.c_ulong
x11.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                    ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_ulong]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XChangeProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_int,
                                ctypes.c_int, ctypes.c_void_p, ctypes.c_int]
x11.XDestroyWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x11.XSetCloseDownMode.argtypes = [ctypes.c_void_p, ctypes.c_int]
x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
display = x11.XOpenDisplay(None)
if not display:
    sys.exit("no display")
x11.XSetCloseDownMode(display, 1)  # RetainPermanent
root = x11.XDefaultRootWindow(display)
check = x11.XInternAtom(display, b"_NET_SUPPORTING_WM_CHECK", 0)
window = x11.XCreateSimpleWindow(display, root, 0, 0, 1, 1, 0, 0, 0)
value = ctypes.c_ulong(window)
owners = [root] if sys.argv[1] == "stranger" else [root, window]
for owner in owners:
    x11.XChangeProperty(display, owner, check, 33, 32, 0, ctypes.byref(value), 1)  # WINDOW, replace
if sys.argv[1] == "dead":
    x11.XDestroyWindow(display, window)
x11.XSync(display, 0)
x11.XCloseDisplay(display)
)PY";

}  // namespace

TEST(X11WindowOnXvfb, AManagerRunsOnlyWhileItsMarkerWindowNamesItself)
{
    // The same test, started again by itself under the X server, asks once and says what it saw.
    if (std::getenv("ZB_ASK_WINDOW_MANAGER")) {
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
        SDL_Window* window = SDL_CreateWindow("probe", 0, 0, 64, 64, SDL_WINDOW_HIDDEN);
        ASSERT_NE(window, nullptr) << SDL_GetError();
        bool runs = false;
        const bool asked = X11WindowManagerRuns(window, runs);
        std::printf("manager=%s\n", asked ? (runs ? "yes" : "no") : "unknown");
        SDL_DestroyWindow(window);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return;
    }
    for (const char* tool : {"xvfb-run", "python3"})
        if (!OnPath(tool))
            GTEST_SKIP() << tool << " is not installed";
    TScratchFolder folder;
    const std::string marker = folder.Write("marker.py", MarkerScript);
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string results = folder.Path() + "/results";
    std::string script = "export SDL_VIDEODRIVER=x11 ZB_ASK_WINDOW_MANAGER=1 ASAN_OPTIONS=detect_leaks=0\n"
                         "ask() { '" + self + "' --gtest_filter='X11WindowOnXvfb.AManager*' | sed -n \"s/^manager=/$1=/p\" >> '" +
                         results + "'; }\n"
                         "ask none\n";
    // Each marker replaces the one before on the root window.
    for (const char* kind : {"live", "dead", "stranger"})
        script += "python3 '" + marker + "' " + kind + " && ask " + kind + "\n";
    const std::string file = folder.Write("ask.sh", script);
    // -noreset: the marker must stay on the root window between the clients.
    const std::string command = "xvfb-run -a -s '-noreset -screen 0 800x600x24' sh '" + file + "'";
    std::map<std::string, std::string> r = RunForResults({command}, results, "stranger");
    ASSERT_EQ(r.count("stranger"), 1u) << command;
    EXPECT_EQ(r["none"], "no");
    EXPECT_EQ(r["live"], "yes");
    EXPECT_EQ(r["dead"], "no");
    EXPECT_EQ(r["stranger"], "no");
}

TEST(X11WindowOnXvfb, AnIdleWindowWaitsOutEachPumpOnceItsFrameIsShown)
{
    // The same test, started again by itself under the X server, shows one frame, as the title
    // does, then counts the passes of the idle loop's pump in a second with nothing to do.
    if (std::getenv("ZB_COUNT_IDLE_PASSES")) {
        Display::TOpenOptions options;
        options.Title = "idle";
        ASSERT_TRUE(Display::Open(options));
        const std::vector<uint8_t> black(Display::ScreenWidth * Display::ScreenHeight * 4, 0);
        const Display::TDisplayRect screen{0, 0, Display::ScreenWidth, Display::ScreenHeight};
        ASSERT_TRUE(Display::Present(black.data(), Display::ScreenWidth * 4, Display::TSourceFormat::Bgrx32,
                                     Display::ScreenWidth, Display::ScreenHeight, &screen, 1));
        const int wait = TApplication::WakeableIdleWaitMs;
        for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
             Display::PresentCount() == 0 && std::chrono::steady_clock::now() < end;)
            Display::PumpEvents(wait);
        int passes = 0;
        for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
             std::chrono::steady_clock::now() < end && passes < 1000; ++passes)
            Display::PumpEvents(wait);
        std::printf("presented=%llu\npasses=%d\n", static_cast<unsigned long long>(Display::PresentCount()), passes);
        Display::Close();
        return;
    }
    if (!OnPath("xvfb-run"))
        GTEST_SKIP() << "xvfb-run is not installed";
    TScratchFolder folder;
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string results = folder.Path() + "/results";
    const std::string script = "export SDL_VIDEODRIVER=x11 ZB_COUNT_IDLE_PASSES=1 ASAN_OPTIONS=detect_leaks=0\n"
                               "export XDG_RUNTIME_DIR='" + folder.Path() + "/run'\n"
                               "rm -rf \"$XDG_RUNTIME_DIR\"; mkdir -m 700 \"$XDG_RUNTIME_DIR\"\n"
                               "'" + self + "' --gtest_filter='X11WindowOnXvfb.AnIdleWindow*' |"
                               " grep -E '^(presented|passes)=' > '" + results + "'\n";
    const std::string file = folder.Write("idle.sh", script);
    const std::string command = XvfbRun(800, 600) + "sh '" + file + "'";
    std::map<std::string, std::string> r = RunForResults({command}, results, "passes");
    ASSERT_EQ(r.count("passes"), 1u) << command;
    EXPECT_GE(std::stoi(r["presented"]), 1) << "the frame was not shown";
    // A pass ends when its wait does, or on an event; once the frame is shown no more come, so
    // a second holds about ten. A wake-up left unread would end every later wait at once.
    EXPECT_LE(std::stoi(r["passes"]), 1000 / TApplication::WakeableIdleWaitMs + 15) << "passes in one idle second";
}
