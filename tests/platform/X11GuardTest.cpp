// The X library stand-ins of the display guard are only worth anything while the video library's
// X calls reach them: a video library that loads libX11 by dlopen, or a build that stops
// exporting them, switches the guard off without a sound. This says so at once.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/X11guard.h"
#include "support/ArchiveFixtures.h"
#include "support/XvfbTools.h"

// Last: the X headers' macros (None, Bool) would rename what the headers above declare.
#include <SDL2/SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace {

// Which of the stand-ins the program does not define and export, read off its dynamic symbol
// table; "" when it exports all six.
std::string MissingStandIns(const std::string& program)
{
    const std::string command = "nm -D --defined-only '" + program + "' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string table;
    char line[512];
    while (pipe && std::fgets(line, sizeof line, pipe.get()))
        table += line;
    std::string missing;
    for (const char* name : {"XOpenDisplay", "XIfEvent", "XWindowEvent", "XPeekEvent", "XGetAtomName",
                             "XGetModifierMapping"})
        if (table.find(std::string(" ") + name + "\n") == std::string::npos)
            missing += std::string(missing.empty() ? "" : " ") + name;
    return missing;
}

}  // namespace

TEST(X11Guard, TheVideoLibrarysConnectionsReachTheStandIns)
{
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
    for (const std::filesystem::path& program : {self.parent_path() / "zb", self})
        EXPECT_EQ(MissingStandIns(program.string()), "")
            << program << " does not export these stand-ins for libX11's functions: the display guard is switched off";

    // A display that no server holds: the video library's X11 driver asks for it and fails,
    // which is enough to see whose XOpenDisplay it called.
    std::string unanswering = ":" + std::to_string(5000 + int(getpid() % 900));
    const char* before = std::getenv("DISPLAY");
    const std::string saved = before ? before : "";
    setenv("DISPLAY", unanswering.c_str(), 1);
    const int opens = X11StandInOpens();
    if (SDL_VideoInit("x11") == 0)
        SDL_VideoQuit();
    EXPECT_GT(X11StandInOpens(), opens)
        << "the video library's X connections do not reach the stand-in for XOpenDisplay: SDL must be linked "
           "against libX11 and the program must export the stand-ins, or the display guard is switched off";
    if (before)
        setenv("DISPLAY", saved.c_str(), 1);
    else
        unsetenv("DISPLAY");
}

namespace {

// X protocol request numbers: the lookups the video library makes while it handles an event.
constexpr int GetAtomName = 17;
constexpr int GetModifierMapping = 119;

// Stands between a connection and its server from now on: passes requests and answers on until
// the first request numbered cutAt, then ends both sides, as a server that ends while the
// connection waits for that answer. True in cut once it has.
void StandBetween(int connection, int cutAt, std::atomic<bool>& cut)
{
    const int server = dup(connection);
    int pair[2];
    if (server < 0 || socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return;
    // The library's own socket does not block; neither may the one put in its place.
    fcntl(pair[0], F_SETFL, O_NONBLOCK);
    dup2(pair[0], connection);
    close(pair[0]);
    std::thread([server, client = pair[1], cutAt, &cut] {
        std::vector<unsigned char> requests;
        unsigned char chunk[4096];
        for (;;) {
            pollfd both[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
            if (poll(both, 2, -1) < 0)
                break;
            if (both[1].revents) {
                const ssize_t n = read(server, chunk, sizeof chunk);
                if (n <= 0 || write(client, chunk, size_t(n)) != n)
                    break;
            }
            if (both[0].revents) {
                const ssize_t n = read(client, chunk, sizeof chunk);
                if (n <= 0)
                    break;
                requests.insert(requests.end(), chunk, chunk + n);
            }
            // Whole requests only: the length, in 4-byte units, is in bytes 2 and 3 (this
            // machine's byte order); 0 there means a 32-bit length follows.
            size_t at = 0;
            while (requests.size() - at >= 4) {
                const unsigned char* request = requests.data() + at;
                uint32_t units = uint32_t(request[2]) | uint32_t(request[3]) << 8;
                if (units == 0 && requests.size() - at < 8)
                    break;
                if (units == 0)
                    std::memcpy(&units, request + 4, 4);
                const size_t length = size_t(units) * 4;
                if (length < 4 || requests.size() - at < length)
                    break;
                if (request[0] == cutAt) {
                    cut.store(true);
                    close(server);
                    close(client);
                    return;
                }
                if (write(server, request, length) != ssize_t(length))
                    break;
                at += length;
            }
            requests.erase(requests.begin(), requests.begin() + ptrdiff_t(at));
        }
        close(server);
        close(client);
    }).detach();
}

}  // namespace

TEST(X11Guard, ALostConnectionLeavesTheVideoLibraryAnswersToUse)
{
    // The same test, started again by itself under the X server: events wait in the video
    // library's queue, and the server ends just as the library, handling them, asks for an
    // answer it then uses without checking that it got one. A property of the root window
    // changes, and the library asks the property's name; the window gains the focus, and it
    // asks the modifier keys' map.
    if (const char* round = std::getenv("ZB_LOSE_DURING_DISPATCH")) {
        const int cutAt = std::atoi(round);
        PrepareX11Guard();
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
        SDL_Window* window = SDL_CreateWindow("lost", 0, 0, 64, 64, SDL_WINDOW_SHOWN);
        ASSERT_NE(window, nullptr) << SDL_GetError();
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        ASSERT_TRUE(SDL_GetWindowWMInfo(window, &info));
        ::Display* display = info.info.x11.display;
        // Changes come from a connection of its own: the library keeps the names of the atoms it
        // made itself, and would not ask the server.
        ::Display* other = XOpenDisplay(nullptr);
        ASSERT_NE(other, nullptr);
        // The window may hold the focus already, and would not gain it again.
        XSetInputFocus(other, None, RevertToNone, CurrentTime);
        XSync(other, False);
        XSync(display, False);
        SDL_PumpEvents();
        // While the server answers, the map read is the server's: Caps Lock is the Lock modifier.
        XModifierKeymap* keys = XGetModifierMapping(display);
        const KeyCode caps = XKeysymToKeycode(display, XK_Caps_Lock);
        bool capsLock = false;
        for (int i = 0; keys && caps && i < keys->max_keypermod; ++i)
            capsLock = capsLock || keys->modifiermap[LockMapIndex * keys->max_keypermod + i] == caps;
        XFreeModifiermap(keys);
        std::printf("capslock=%d\n", capsLock ? 1 : 0);
        if (cutAt == GetAtomName) {
            const unsigned char value[] = "x";
            XChangeProperty(other, DefaultRootWindow(other), XInternAtom(other, "ZB_CHANGED", False), XA_STRING, 8,
                            PropModeReplace, value, 1);
        } else {
            XSetInputFocus(other, info.info.x11.window, RevertToParent, CurrentTime);
        }
        XSync(other, False);
        XSync(display, False);
        std::printf("queued=%d\n", XEventsQueued(display, QueuedAlready));
        std::fflush(stdout);
        static std::atomic<bool> cut{false};
        StandBetween(ConnectionNumber(display), cutAt, cut);
        SDL_PumpEvents();
        std::printf("cut=%d\nlost=%d\nsurvived=1\n", cut.load() ? 1 : 0, X11DisplayLost() ? 1 : 0);
        std::fflush(stdout);
        // Nothing may talk to the lost server any more, the video system's end included.
        _exit(0);
    }
    if (!xvfb::OnPath("xvfb-run"))
        GTEST_SKIP() << "xvfb-run is not installed";
    TScratchFolder folder;
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string results = folder.Path() + "/results";
    for (const int cutAt : {GetAtomName, GetModifierMapping}) {
        SCOPED_TRACE(cutAt == GetAtomName ? "a property's name" : "the modifier keys' map");
        const std::string command = xvfb::XvfbScript(320, 240, {}, "lost_during_dispatch.sh",
                                                     {folder.Path(), self, std::to_string(cutAt)});
        std::map<std::string, std::string> r = xvfb::RunForResults({command}, results, "exit");
        ASSERT_EQ(r.count("exit"), 1u) << command;
        EXPECT_GT(std::stoi(r["queued"]), 0) << "no event waited to be handled when the server ended";
        EXPECT_EQ(r["survived"], "1") << "exit " << r["exit"] << ": the video library fell over the lost connection";
        EXPECT_EQ(r["cut"], "1") << "the video library never asked for the answer";
        EXPECT_EQ(r["lost"], "1") << "the guard did not note the loss";
        EXPECT_EQ(r["capslock"], "1") << "the modifier keys' map is not the server's";
        EXPECT_EQ(r["exit"], "0");
    }
}

TEST(X11Guard, AnEndThatStandsStillAfterTheDisplayIsLostInPlayIsEndedByTheLastGuard)
{
    // The same test, started again by itself under the X server: a window in play with the guard
    // installed as the game installs it; once the server has ended, the end that should follow
    // stands still, and only the last guard can end the process.
    if (std::getenv("ZB_STAND_STILL_AFTER_LOSS")) {
        PrepareX11Guard();
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
        SDL_Window* window = SDL_CreateWindow("still", 0, 0, 64, 64, SDL_WINDOW_SHOWN);
        ASSERT_NE(window, nullptr) << SDL_GetError();
        InstallX11Guard(window);
        std::printf("playing=1\n");
        std::fflush(stdout);
        while (!X11DisplayLost()) {
            SDL_PumpEvents();
            SDL_Delay(10);
        }
        std::printf("lost=1\n");
        std::fflush(stdout);
        for (;;)
            pause();
    }
    if (!xvfb::OnPath("xvfb-run"))
        GTEST_SKIP() << "xvfb-run is not installed";
    TScratchFolder folder;
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string command = xvfb::XvfbScript(320, 240, {}, "lost_standing_still.sh", {folder.Path(), self});
    std::map<std::string, std::string> r = xvfb::RunForResults({command}, folder.Path() + "/results", "exit");
    ASSERT_EQ(r.count("exit"), 1u) << command;
    const TByteVector bytes = ReadWholeFile(folder.Path() + "/err");
    const std::string err(bytes.begin(), bytes.end());
    EXPECT_EQ(r["lost"], "1") << "the guard did not note the loss\n" << err;
    EXPECT_EQ(r["exit"], "1") << "137: still running at the hang guard, the last guard never ended it\n" << err;
    EXPECT_NE(err.find("Display " + r["display"] + " lost, and the game did not end"), std::string::npos)
        << "not the last guard's line\n" << err;
    EXPECT_EQ(err.find("X connection to"), std::string::npos) << "the X library ended the program itself\n" << err;
    EXPECT_EQ(err.find("Sanitizer"), std::string::npos) << err;
    xvfb::ExpectServerLeftoversRemoved(r);
}
