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
#include "support/HangGuard.h"
#include "support/XvfbTools.h"

using namespace xvfb;

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
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string results = folder.Path() + "/results";
    // -noreset: the marker must stay on the root window between the clients.
    const std::string command = XvfbScript(800, 600, {}, "ask_manager.sh", {folder.Path(), self});
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
        for (const auto end = zbtest::HangDeadline();
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
    const std::string command = XvfbScript(800, 600, {}, "count_idle_passes.sh", {folder.Path(), self});
    std::map<std::string, std::string> r = RunForResults({command}, results, "passes");
    ASSERT_EQ(r.count("passes"), 1u) << command;
    EXPECT_GE(std::stoi(r["presented"]), 1) << "the frame was not shown";
    // A pass ends when its wait does, or on an event; once the frame is shown no more come, so
    // a second holds about ten. A wake-up left unread would end every later wait at once.
    EXPECT_LE(std::stoi(r["passes"]), 1000 / TApplication::WakeableIdleWaitMs + 15) << "passes in one idle second";
}
