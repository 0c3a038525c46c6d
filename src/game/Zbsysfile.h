#pragma once
// The system save file "ZBSys.sav": SysData and the read-message table across plays.
//
//   0  4  magic "ZB01"
//   4  4  raw size, u32 little-endian: 72 + the read table's used bytes (80 .. 0x40048)
//   8  .. the range coder's output for the raw bytes: the 72 bytes of the system record, then
//         the read table from its start for its used bytes
//
// A save is coded in memory and written through WriteFileAtomic, so that a failure at any point
// keeps the previous save. A load checks every size and the whole table before anything is
// replaced; a failed load says nothing, but the first save after it first moves the file it
// could not read to "ZBSys.sav.bad", or where that name is taken (an older kept save, a
// folder) to the first free numbered name, so that no progress is lost unseen; when no name
// can be used the save is refused rather than written over the unread file. An unread file
// the player may not write stays where it is and the save is refused, as for any read-only
// save. A failed save, the keeping aside (with the reason the file could not be read) and a
// failed folder sync each leave one line in the error log; the game itself is not told (it
// ignores the result).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr int64_t SysSaveMaxRaw = 72 + 0x40000;
inline constexpr int64_t SysSaveMaxCoded = 4 * SysSaveMaxRaw;

// The folder that holds the save file; empty means the current directory (the game's folder).
extern std::string SysSaveFolder;

// True once the new file has replaced the old one.
bool SaveSysData();
bool LoadSysData();
// Removes what killed saves left beside the file; only while this instance holds the
// single-instance name.
void RemoveSysSaveLeftovers();

// The file's bytes for the current records; false when the records do not exist.
bool BuildSysDataImage(std::vector<uint8_t>& image);
// Takes SysData and the read table from a file's bytes; nothing changes unless all of it is
// valid. why, when given, receives the reason for a refusal, for the log.
bool LoadSysDataImage(const uint8_t* data, size_t size, std::string* why = nullptr);
