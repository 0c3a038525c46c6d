#include "base/Vecritical.h"

void TVeCriticalSection::Enter()
{
    const auto self = std::this_thread::get_id();
    std::unique_lock<std::mutex> lock(FMutex);
    if (FCount > 0 && FOwner == self) {
        ++FCount;
        return;
    }
    ++FWaiting;
    FFreed.wait(lock, [this] { return FCount == 0; });
    --FWaiting;
    FOwner = self;
    FCount = 1;
}

bool TVeCriticalSection::Check()
{
    const auto self = std::this_thread::get_id();
    std::lock_guard<std::mutex> lock(FMutex);
    if (FCount == 0) {
        if (FWaiting > 0)
            return false;
        FOwner = self;
        FCount = 1;
        return true;
    }
    if (FOwner == self) {
        ++FCount;
        return true;
    }
    return false;
}

bool TVeCriticalSection::Release()
{
    std::unique_lock<std::mutex> lock(FMutex);
    if (FCount == 0 || FOwner != std::this_thread::get_id())
        return false;
    if (--FCount == 0) {
        FOwner = std::thread::id();
        lock.unlock();
        FFreed.notify_one();
    }
    return true;
}

bool TVeCriticalSection::IsOwned() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FCount > 0 && FOwner == std::this_thread::get_id();
}

int TVeCriticalSection::GetCount() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FCount;
}

int TVeCriticalSection::GetWaiting() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FWaiting;
}
