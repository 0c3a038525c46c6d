// The X library stand-ins of the display guard are only worth anything while the video library's
// X calls reach them: a video library that loads libX11 by dlopen, or a build that stops
// exporting them, switches the guard off without a sound. This says so at once.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/X11guard.h"

namespace {

// Which of the stand-ins the program does not define and export, read off its dynamic symbol
// table; "" when it exports all four.
std::string MissingStandIns(const std::string& program)
{
    const std::string command = "nm -D --defined-only '" + program + "' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string table;
    char line[512];
    while (pipe && std::fgets(line, sizeof line, pipe.get()))
        table += line;
    std::string missing;
    for (const char* name : {"XOpenDisplay", "XIfEvent", "XWindowEvent", "XPeekEvent"})
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
