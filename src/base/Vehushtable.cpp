#include "base/Vehushtable.h"

#include <cstring>
#include <new>

bool TVeHushTable::Alloc(int count)
{
    FEntries.clear();
    ClearBuckets();
    if (count < 0 || count > MaxEntries) {
        FCapacity = 0;
        FEntries.shrink_to_fit();
        return false;
    }
    try {
        FEntries.reserve(static_cast<size_t>(count));
    } catch (const std::bad_alloc&) {
        FCapacity = 0;
        return false;
    }
    FCapacity = count;
    return true;
}

void TVeHushTable::AllClear()
{
    FEntries.clear();
    ClearBuckets();
}

void TVeHushTable::ClearBuckets()
{
    for (int i = 0; i < BucketCount; ++i)
        FHead[i] = FTail[i] = -1;
}

unsigned TVeHushTable::Hash(const char* key)
{
    // FNV-1a folded to a byte: every byte of the key moves the bucket.
    uint32_t h = 2166136261u;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(key); *p; ++p) {
        h ^= *p;
        h *= 16777619u;
    }
    return (h ^ (h >> 8) ^ (h >> 16) ^ (h >> 24)) & (BucketCount - 1);
}

int TVeHushTable::AddData(const char* key, int32_t param)
{
    if (key == nullptr || GetCount() >= FCapacity)
        return -1;
    const int index = GetCount();
    try {
        FEntries.push_back(TEntry{key, param, -1});
    } catch (const std::bad_alloc&) {
        return -1;
    }
    const unsigned bucket = Hash(key);
    if (FTail[bucket] < 0)
        FHead[bucket] = index;
    else
        FEntries[static_cast<size_t>(FTail[bucket])].Next = index;
    FTail[bucket] = index;
    return index;
}

int TVeHushTable::Search(const char* key) const
{
    if (key == nullptr)
        return -1;
    for (int i = FHead[Hash(key)]; i >= 0; i = FEntries[static_cast<size_t>(i)].Next)
        if (std::strcmp(FEntries[static_cast<size_t>(i)].Key.c_str(), key) == 0)
            return i;
    return -1;
}

int32_t TVeHushTable::GetParam(int index) const
{
    if (index < 0 || index >= GetCount())
        return 0;
    return FEntries[static_cast<size_t>(index)].Param;
}
