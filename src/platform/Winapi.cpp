#include "platform/Winapi.h"

#include <chrono>
#include <cstdlib>
#include <thread>

void* GlobalAllocZeroed(size_t bytes)
{
    return std::calloc(bytes == 0 ? 1 : bytes, 1);
}

void GlobalFreeBlock(void* block)
{
    std::free(block);
}

uint32_t timeGetTime()
{
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void Sleep(uint32_t milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
