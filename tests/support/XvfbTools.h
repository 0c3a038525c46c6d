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

#include "support/HangGuard.h"
#include "support/ProgramReports.h"

namespace xvfb {

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

// A word for the shell, in single quotes.
inline std::string ShellQuoted(const std::string& word)
{
    std::string quoted = "'";
    for (const char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The command that runs the script name of tests/support/xvfb (its head says what it takes and
// does) with the arguments under its own virtual X server of width x height pixels, with the
// NAME=value entries of environment, and the tests' hang guard.
inline std::string XvfbScript(int width, int height, const std::vector<std::string>& environment,
                              const std::string& name, const std::vector<std::string>& arguments)
{
    std::string command = "env " + zbtest::HangGuardEnvironment();
    for (const std::string& entry : environment)
        command += " " + ShellQuoted(entry);
    const std::string script = std::string(ZB_SOURCE_DIR) + "/tests/support/xvfb/" + name;
    command += " " + XvfbRun(width, height) + "sh " + ShellQuoted(script);
    for (const std::string& argument : arguments)
        command += " " + ShellQuoted(argument);
    return command;
}

// A script that killed its X server (display=:N and server=PID in its results) removed what the
// server leaves behind: xvfb-run -a passes over every number whose lock file stands. Another
// server may have taken the number since, with a lock of its own.
inline void ExpectServerLeftoversRemoved(const std::map<std::string, std::string>& results)
{
    const auto display = results.find("display"), server = results.find("server");
    ASSERT_TRUE(display != results.end() && server != results.end());
    const std::string number = display->second.substr(display->second.find(':') + 1);
    std::ifstream lock("/tmp/.X" + number.substr(0, number.find('.')) + "-lock");
    std::string pid;
    lock >> pid;
    EXPECT_NE(pid, server->second) << "the lock file of the killed X server on " << display->second << " is left";
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
