#pragma once
// A start-up trace for finding where start-up time goes: with ZB_TRACE_STARTUP set in the
// environment, each mark prints to standard error the milliseconds since the process began, and
// the first frame presented after a mark is reported too. Without it a mark costs one load.

namespace StartupTrace {

// name must outlive the program (a literal).
void Mark(const char* name);
// Called by the display each time a frame reaches the screen.
void FramePresented();

}  // namespace StartupTrace
