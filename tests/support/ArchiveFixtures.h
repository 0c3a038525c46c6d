#pragma once
// Test helpers for archives: a scratch folder removed on destruction, files written into it,
// and archives built from name/bytes lists.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

using TByteVector = std::vector<uint8_t>;
using TNamedBytes = std::vector<std::pair<std::string, TByteVector>>;

class TScratchFolder {
public:
    TScratchFolder();
    ~TScratchFolder();
    TScratchFolder(const TScratchFolder&) = delete;
    TScratchFolder& operator=(const TScratchFolder&) = delete;

    const std::string& Path() const { return FPath; }
    // relative uses slashes; folders on the way are made.
    std::string Write(const std::string& relative, const TByteVector& bytes) const;
    std::string Write(const std::string& relative, const std::string& text) const;

private:
    std::string FPath;
};

TByteVector ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const TByteVector& bytes);
// Bytes that differ from member to member: a little header with the seed, then a pattern.
TByteVector PatternBytes(uint32_t seed, size_t size);
// Builds an archive with the members in the given order; false when the writer refused.
bool BuildPack(const std::string& fileName, const TNamedBytes& members);
// Damages the byte at offset inside a member of a built archive. The archive's own checksum,
// over its header and directory, stays right either way; with restamp the member's CRC in the
// directory is made to match the damaged bytes too (and the archive's checksum with it), so the
// member reads back damaged. False when the archive has no such member or offset.
bool DamagePackMember(const std::string& fileName, const std::string& member, size_t offset, bool restamp);
// One directory entry of a hand-made archive.
struct TRawPackEntry {
    std::string Name;
    uint32_t Offset = 0;
    uint32_t Size = 0;
    uint16_t Crc = 0;
    TByteVector Bytes;  // written at Offset when given
};
// Writes an archive with exactly this directory, whatever the writer would allow: the header,
// the members' given bytes, the directory at dataEnd and the trailer; the rest of the data area
// is left a hole of zeros, so a member of gigabytes costs no disk. False when the file cannot be
// written.
bool WriteRawPack(const std::string& fileName, uint32_t dataEnd, const std::vector<TRawPackEntry>& entries);
// Keeps only the first size bytes of a file, as an interrupted copy leaves it.
void CutFile(const std::string& path, size_t size);
