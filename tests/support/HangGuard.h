#pragma once
// The one limit on how long a test waits for something that must happen: a program's end, a
// window, a handshake, a thread parked. Only a hang reaches it; a busy machine never does, so no
// test asserts how fast something happened in wall-clock time. A check that must tell an orderly
// end from one a limit of the program's own forced reads the program's trace instead.

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ZB_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ZB_TEST_SANITIZED 1
#endif
#endif
#ifndef ZB_TEST_SANITIZED
#define ZB_TEST_SANITIZED 0
#endif

namespace zbtest {

// Minutes: a sanitizer tree on a loaded machine has been seen taking a hundred times longer than
// a quiet plain one. Below the test command's per-test limit, so that a hang fails with the
// test's own message.
inline constexpr std::chrono::seconds HangGuard{ZB_TEST_SANITIZED ? 600 : 300};
inline constexpr uint32_t HangGuardMs = uint32_t(std::chrono::milliseconds(HangGuard).count());
inline constexpr int HangGuardSeconds = int(HangGuard.count());

// The NAME=value entry that gives the test scripts (tests/support/hang_guard.sh) the same limit.
inline std::string HangGuardEnvironment()
{
    return "ZB_HANG_GUARD=" + std::to_string(HangGuardSeconds);
}

inline std::chrono::steady_clock::time_point HangDeadline()
{
    return std::chrono::steady_clock::now() + HangGuard;
}

// Polls until done() holds, every poll, and says whether it did before the hang guard.
template <class Done>
bool WaitUntil(Done done, std::chrono::microseconds poll = std::chrono::milliseconds(1))
{
    for (const auto end = HangDeadline(); !done();) {
        if (std::chrono::steady_clock::now() >= end)
            return done();
        std::this_thread::sleep_for(poll);
    }
    return true;
}

}  // namespace zbtest
