#pragma once
// The system save file "ZBSys.sav": SysData and the read-message table across plays.
//
//   0  4  magic "ZB01"
//   4  4  raw size, u32 little-endian: 72 + the read table's used bytes (80 .. 0x40048)
//   8  .. the range coder's output for the raw bytes: the 72 bytes of the system record, then
//         the read table from its start for its used bytes
//
// A save is coded in memory, written to "ZBSys.sav.tmp" in the same folder, synced and renamed
// over the old file, so that a failure at any point keeps the previous save. A load checks every
// size and the whole table before anything is replaced. Failures are silent: false, no log.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr int64_t SysSaveMaxRaw = 72 + 0x40000;
inline constexpr int64_t SysSaveMaxCoded = 4 * SysSaveMaxRaw;

// The folder that holds the save file; empty means the current directory (the game's folder).
extern std::string SysSaveFolder;

// The steps of writing the save file, replaceable so that tests can fail any one of them.
// Close is called exactly once for every descriptor Open returned.
struct TSaveFileOps {
    int (*Open)(const char* path);  // create or truncate for writing; -1 on failure
    bool (*Write)(int handle, const void* data, size_t size);  // all of it, or false
    bool (*Sync)(int handle);
    bool (*Close)(int handle);
    bool (*Rename)(const char* from, const char* to);
    bool (*SyncFolder)(const char* folder);
};
extern const TSaveFileOps DefaultSaveFileOps;
extern TSaveFileOps SaveFileOps;

bool SaveSysData();
bool LoadSysData();

// The file's bytes for the current records; false when the records do not exist.
bool BuildSysDataImage(std::vector<uint8_t>& image);
// Takes SysData and the read table from a file's bytes; nothing changes unless all of it is valid.
bool LoadSysDataImage(const uint8_t* data, size_t size);
