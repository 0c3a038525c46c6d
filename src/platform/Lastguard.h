#pragma once
// The last guard of an end that nobody can see any more (the display went away): should the
// orderly end stop moving, the process ends with a line of its own instead of hanging.
//
// It counts as moving while a file write is under way (a slow disk may take seconds to sync
// the save) and for a quiet period after each write; it fires only after a quiet period in which
// nothing was written. It runs on a thread of its own rather than on a signal, so that no thread
// stuck inside a library (where a signal may wait for ever to be delivered) can hold it off.

#include <chrono>
#include <string>

namespace LastGuard {

// The clock the quiet period is measured on: the monotonic clock, unless a test sets its own
// before Arm to move time itself.
extern std::chrono::steady_clock::time_point (*Now)();

// Any thread: arms the guard once (later calls do nothing). After quietMs in which no write
// was under way or ended, line goes to standard error and the process ends with status 1.
void Arm(const std::string& line, int quietMs);

// A write under way: the guard does not fire while one lasts, and its end starts a new quiet
// period.
class TBusy {
public:
    TBusy();
    ~TBusy();
    TBusy(const TBusy&) = delete;
    TBusy& operator=(const TBusy&) = delete;
};

}  // namespace LastGuard
