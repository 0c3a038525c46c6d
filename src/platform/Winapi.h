#pragma once
// Windows services the game calls, in the small form it needs: global-heap blocks, the
// millisecond clock and sleeping.

#include <cstddef>
#include <cstdint>

// A zeroed block (the game relies on new pixel and sound storage being cleared); null on failure.
void* GlobalAllocZeroed(size_t bytes);
void GlobalFreeBlock(void* block);

// Milliseconds from a monotonic clock; a 32-bit count that wraps after about 49.7 days.
uint32_t timeGetTime();
void Sleep(uint32_t milliseconds);
