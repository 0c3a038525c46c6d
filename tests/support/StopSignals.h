#pragma once
// A test that stops a program it starts (SIGINT, SIGTERM, SIGHUP) starts it with those signals as
// the test means them, whatever the test program inherited: run under nohup or as a script's
// background job, the test program has SIGHUP or SIGINT ignored, its children inherit that, and
// the programs keep a stop that was ignored when they started ignored, as they must.

#include <signal.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace zbtest {

// The words that start a command with the stops at their default, or ignored for those in
// ignored; the command's own words follow them. env sets them and then becomes the command, so
// the process started is the command's.
inline std::vector<std::string> StopSignalsLauncher(const std::vector<int>& ignored = {})
{
    std::string defaults, ignores;
    const std::pair<int, const char*> stops[] = {{SIGINT, "INT"}, {SIGTERM, "TERM"}, {SIGHUP, "HUP"}};
    for (const auto& [number, name] : stops) {
        std::string& list = std::find(ignored.begin(), ignored.end(), number) != ignored.end() ? ignores : defaults;
        list += (list.empty() ? "" : ",") + std::string(name);
    }
    std::vector<std::string> words{"/usr/bin/env"};
    if (!defaults.empty())
        words.push_back("--default-signal=" + defaults);
    if (!ignores.empty())
        words.push_back("--ignore-signal=" + ignores);
    return words;
}

}  // namespace zbtest
