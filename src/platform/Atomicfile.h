#pragma once
// Whole-file reads with a size cap, and whole-file replacement that a crash cannot tear:
// the new contents go to a temporary file in the same folder, are flushed to the device and
// renamed over the old file, so a reader sees either the old file or the new one.

#include <cstddef>
#include <cstdint>
#include <string>

enum class TFileReadResult { Ok, Missing, TooLarge, Failed };

// Reads the whole file (a game-style name: backslashes, any case) into text when it holds
// at most maxBytes bytes.
TFileReadResult ReadWholeFile(const std::string& fileName, int64_t maxBytes, std::string& text);

// The steps of WriteFileAtomic, replaceable so that tests can fail any one of them. Close is
// called exactly once for every handle Create returned. Failures leave errno set.
struct TAtomicFileOps {
    // A new file of that mode at exactly that name, never through a link and never over
    // anything already there (errno EEXIST then); -1 on failure.
    int (*Create)(const char* path, unsigned mode);
    bool (*Write)(int handle, const void* data, size_t size);  // all of it, or false
    bool (*Sync)(int handle);
    bool (*Close)(int handle);
    bool (*Rename)(const char* from, const char* to);
    bool (*SyncFolder)(const char* folder);
};
extern const TAtomicFileOps DefaultAtomicFileOps;
extern TAtomicFileOps AtomicFileOps;

enum class TAtomicWriteStep { None, Create, Write, Sync, Close, Rename, SyncFolder };

// The step that failed and its errno.
struct TAtomicWriteFault {
    TAtomicWriteStep Step = TAtomicWriteStep::None;
    int Error = 0;
};

// For log lines: "create", "write", ...; empty for None.
const char* AtomicWriteStepName(TAtomicWriteStep step);

// True once the new file has replaced the old one. A folder sync that fails after that still
// gives true (the file is complete; only its name may not survive a power cut) and is reported
// in fault. False when anything before failed: the old file, if any, is then unchanged and no
// temporary file is left behind. The temporary gets a fresh unpredictable name beside the file,
// so nothing planted there (a link, a folder) is written through or blocks the write. A new
// file gets mode 0644, a replaced one keeps its mode.
bool WriteFileAtomic(const std::string& fileName, const void* data, size_t size, TAtomicWriteFault* fault = nullptr);
bool WriteFileAtomic(const std::string& fileName, const std::string& data, TAtomicWriteFault* fault = nullptr);
