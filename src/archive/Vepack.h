#pragma once
// The resource archive: members stored whole, one after another, with a directory after them.
//
// Bytes (all integers little-endian):
//   header, 16 bytes:
//     0  6  "VePack"
//     6  1  major version \ 1.0 to 3.1 are read (all share this layout);
//     7  1  minor version / the writer makes 3.1
//     8  4  directory offset: where the data area ends and the directory begins (>= 16)
//    12  4  entry count
//   data area: bytes 16 .. directory offset, the members' bytes, in any order, never overlapping
//   directory: entry count entries, each
//     0  4  member offset (absolute, inside the data area)
//     4  4  member size
//     8  2  CRC-16 of the member's bytes
//    10  2  flags: 0 (stored whole); any other value is refused
//    12  n  name, 1 to 255 bytes, then a zero byte
//   trailer, 2 bytes: CRC-16 (TCrcCheck) of the header followed by the directory.
// The directory runs exactly to the trailer, so the file's size fixes the directory's size.
//
// The trailer covers only the header and the directory so that opening an archive of many
// entries reads neither the members nor the whole file; each member's own CRC is checked when
// it is read. Names are relative paths with backslashes between folders; lookups ignore ASCII
// case and accept slashes for backslashes, so two entries whose names differ only that way make
// the archive invalid.

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Classes.h"
#include "platform/Streams.h"

struct TVePackEntry {
    std::string Name;
    uint32_t Offset = 0;
    uint32_t Size = 0;
    uint16_t Crc = 0;
    uint16_t Flags = 0;
};

namespace VePackFormat {
constexpr char Magic[6] = {'V', 'e', 'P', 'a', 'c', 'k'};
constexpr int HeaderSize = 16;
constexpr int TrailerSize = 2;
constexpr int EntryFixedSize = 12;
constexpr size_t MaxNameLength = 255;
constexpr uint8_t WriteMajor = 3;
constexpr uint8_t WriteMinor = 1;
// Bounds on what an archive may claim, far above any game's needs (a few thousand members,
// pictures and voices of a few megabytes), so that a hostile archive costs a moment and a few
// megabytes instead of seconds and gigabytes. A member is restored whole into memory, so the
// member bound is also the memory one read may take.
constexpr uint32_t MaxMembers = 65536;
constexpr uint32_t MaxMemberSize = 16u << 20;
// The largest directory MaxMembers entries can make, refused before allocating for it.
constexpr uint64_t MaxDirectorySize = uint64_t(MaxMembers) * (EntryFixedSize + MaxNameLength + 1);
}  // namespace VePackFormat

// The lookup key of a member name: slashes become backslashes, ASCII letters lower case.
std::string VePackKey(const std::string& name);

// A member name the format accepts: 1 to 255 bytes, no control bytes, no slash or colon, no
// empty, "." or ".." component (so no leading, trailing or doubled backslash).
bool VePackValidName(const std::string& name);

// The one spelling under which a name is looked up, in an archive and in a folder alike:
// slashes become backslashes, and doubled separators and "." components go, since they name
// no other file. Empty when the name is refused: empty, absolute (a leading separator
// or a drive), ending in a separator (a folder), with a ".." component, or not a name the format
// can hold (an embedded NUL or other control byte, a colon, over 255 bytes).
std::string VePackNormalName(const std::string& name);

// Reads an archive. After a successful Open the object does not change until Close or the next
// Open, so several threads may read members at once (each read is a positioned read).
class TVePack : public TComponent {
public:
    explicit TVePack(TComponent* owner = nullptr);
    ~TVePack() override;

    // Reads and checks the header and the directory; false (and closed) when the file is missing,
    // is not a regular file (opened without waiting, so a pipe or a device cannot stall it), holds
    // more than MaxMembers members or is not a valid archive, with the reason in LastError.
    bool Open(const std::string& fileName);
    void Close();
    bool Active() const { return FHandle >= 0; }

    int Count() const { return static_cast<int>(FEntries.size()); }
    const TVePackEntry& Entry(int index) const { return FEntries[static_cast<size_t>(index)]; }
    // Index of the member of that name (any case, any spelling VePackNormalName accepts), or -1.
    int IndexOf(const std::string& name) const;
    // The same for a name already in VePackNormalName's spelling, so that a caller who spelled it
    // for other reasons does not pay for it twice.
    int IndexOfNormal(const std::string& normal) const;
    // Restores the member into stream (replacing its contents, position 0); false when it is
    // larger than MaxMemberSize, cannot be read whole or its bytes do not match their CRC, with
    // the reason in failure when given.
    bool ReadMember(int index, TMemoryStream& stream, std::string* failure = nullptr) const;

    const std::string& FileName() const { return FFileName; }
    const std::string& LastError() const { return FLastError; }
    uint8_t MajorVersion() const { return FMajor; }
    uint8_t MinorVersion() const { return FMinor; }

private:
    bool Fail(const std::string& reason);
    bool ParseDirectory(const std::vector<uint8_t>& directory, uint32_t dataEnd, uint32_t count);

    int FHandle = -1;
    std::string FFileName;
    std::string FLastError;
    uint8_t FMajor = 0;
    uint8_t FMinor = 0;
    std::vector<TVePackEntry> FEntries;
    std::unordered_map<std::string, int> FIndex;
};

// Writes an archive to a temporary file beside the target and renames it over the target only
// when Finish succeeds, so a failed write never leaves a half archive under the real name.
class TVePackWriter {
public:
    TVePackWriter() = default;
    ~TVePackWriter();
    TVePackWriter(const TVePackWriter&) = delete;
    TVePackWriter& operator=(const TVePackWriter&) = delete;

    bool Begin(const std::string& fileName);
    // Appends a member; false for an invalid or duplicate name, a member or a member count the
    // reader would refuse, an archive past 4 GB, or a write error (the archive can still be finished without it, or abandoned).
    bool Add(const std::string& name, const void* data, size_t size);
    bool Finish();
    void Abandon();

    const std::string& LastError() const { return FLastError; }

private:
    bool Fail(const std::string& reason);
    bool WriteAll(const void* data, size_t size, uint64_t offset);

    int FHandle = -1;
    std::string FTarget;
    std::string FTemporary;
    std::string FLastError;
    uint64_t FPosition = 0;
    std::vector<TVePackEntry> FEntries;
    std::unordered_map<std::string, int> FIndex;
};
