#pragma once
// The last guard of an end that nobody can see any more (the display went away): should the
// orderly end stop moving, the process ends with a line of its own instead of hanging.
//
// It counts as moving while a file write is under way (a slow disk may take seconds to sync
// the save) and for a quiet period after each write; it fires only after a quiet period in which
// nothing was written. It runs on a thread of its own rather than on a signal, so that no thread
// stuck inside a library (where a signal may wait for ever to be delivered) can hold it off.
//
// The quiet period counts only time in which the process ran, so that a process that was
// stopped (a stopped job, a machine swapping) or got no processor on a busy machine is never
// taken for one that stands still:
// - the guard looks every LookMs, and one look adds at most LookMs, however late it comes: a
//   look is late only where the process (the guard's thread included) did not run;
// - once the looks add up to the quiet period, the longest time any other thread of the
//   process waited for a processor since the last move is taken off, so that the game's own
//   threads, starved beside busier work while the guard's short looks still come on time, get
//   the whole quiet period of their own time.
// A thread blocked in a read, a poll or a lock waits for no processor, and a thread that spins
// gets one: both stand still by this count and are ended.

#include <chrono>
#include <string>

namespace LastGuard {

// How often the guard looks, and the most one look adds to the quiet period.
constexpr int LookMs = 10;

// The clock the looks are measured on: the monotonic clock, unless a test sets its own before
// Arm to move time itself.
extern std::chrono::steady_clock::time_point (*Now)();

// The longest time any thread of the process other than the caller waited for a processor since
// the last call with restart set (which takes a new starting point and returns zero): the
// kernel's per-thread scheduling statistics, zero where it keeps none. One caller at a time. A
// test may set its own before Arm.
extern std::chrono::nanoseconds (*LongestWait)(bool restart);
std::chrono::nanoseconds LongestThreadWait(bool restart);

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
