#include "base/Vememman.h"

#include <cinttypes>
#include <cstdio>
#include <vector>

TMemMan::TMemMan(TComponent* owner) : TComponent(owner) {}

TMemMan::~TMemMan()
{
    // One record at a time, newest first, with the lock released around each destructor, so
    // that an object deleting its own parts through the registry still finds their records.
    for (;;) {
        TRecord record{};
        {
            std::lock_guard<std::mutex> lock(FMutex);
            if (FRecords.empty())
                break;
            auto newest = FRecords.begin();
            for (auto it = FRecords.begin(); it != FRecords.end(); ++it)
                if (it->second.Serial > newest->second.Serial)
                    newest = it;
            record = newest->second;
            FRecords.erase(newest);
        }
        Report("Object is not deleted Call(", record.Caller, ")");
        if (record.Kind != TMemKind::mkComponent)
            Destroy(record);
    }
}

bool TMemMan::Record(void* key, void* object, TMemKind kind, void* caller, TDeleter deleter)
{
    try {
        std::lock_guard<std::mutex> lock(FMutex);
        auto found = FRecords.find(key);
        // A new object at a recorded address means the old one was freed behind our back: the
        // stale record goes. An object handed over twice keeps its first record.
        if (found != FRecords.end() && kind == TMemKind::mkAdded)
            return true;
        FRecords[key] = TRecord{kind, caller, object, deleter, ++FSerial};
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool TMemMan::Release(void* key, const char* notFound, void* caller)
{
    TRecord record{};
    {
        std::lock_guard<std::mutex> lock(FMutex);
        auto found = FRecords.find(key);
        if (found == FRecords.end()) {
            record.Deleter = nullptr;
        } else {
            record = found->second;
            FRecords.erase(found);
        }
    }
    if (record.Deleter == nullptr) {
        Report(notFound, caller, ")");
        return false;
    }
    Destroy(record);
    return true;
}

void TMemMan::Destroy(const TRecord& record)
{
    if (record.Deleter != nullptr)
        record.Deleter(record.Object);
}

bool TMemMan::IsRecorded(const void* object) const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FRecords.count(const_cast<void*>(object)) != 0;
}

int TMemMan::Count() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return static_cast<int>(FRecords.size());
}

bool TMemMan::Lookup(const void* object, TMemKind& kind, void*& caller) const
{
    std::lock_guard<std::mutex> lock(FMutex);
    auto found = FRecords.find(const_cast<void*>(object));
    if (found == FRecords.end())
        return false;
    kind = found->second.Kind;
    caller = found->second.Caller;
    return true;
}

std::string TMemMan::FormatAddress(const char* prefix, const void* address, const char* suffix)
{
    char text[32];
    std::snprintf(text, sizeof text, "%08" PRIxPTR, reinterpret_cast<uintptr_t>(address));
    return std::string(prefix) + text + suffix;
}

void TMemMan::Report(const char* prefix, const void* address, const char* suffix)
{
    if (!OnError)
        return;
    try {
        OnError(FormatAddress(prefix, address, suffix));
    } catch (...) {
        // A report must not turn a clean failure into an exception in the caller.
    }
}
