#pragma once
// A string-keyed table of a fixed number of entries, each key with a 32-bit parameter, found
// through 256 hash buckets. Keys compare byte for byte (case matters). Entries fill in order;
// a key added twice is kept twice and Search finds the one added first.

#include <cstdint>
#include <string>
#include <vector>

class TVeHushTable {
public:
    static constexpr int BucketCount = 256;
    static constexpr int MaxEntries = 1 << 20;

    TVeHushTable() { ClearBuckets(); }

    // An empty table for count entries; false (and no room) when count is below 0 or above
    // MaxEntries.
    bool Alloc(int count);
    // Removes every entry; the capacity stays.
    void AllClear();
    // The new entry's index; -1 when the table is full or key is null.
    int AddData(const char* key, int32_t param);
    // The index of an entry whose key equals key; -1 when none does or key is null.
    int Search(const char* key) const;
    // The entry's parameter; 0 for an index that holds no entry.
    int32_t GetParam(int index) const;

    int GetCount() const { return static_cast<int>(FEntries.size()); }
    int GetCapacity() const { return FCapacity; }

    static unsigned Hash(const char* key);

private:
    struct TEntry {
        std::string Key;
        int32_t Param;
        int Next;  // next entry of the same bucket, -1 at the end
    };

    int FCapacity = 0;
    std::vector<TEntry> FEntries;
    int FHead[BucketCount];
    int FTail[BucketCount];

    void ClearBuckets();
};
