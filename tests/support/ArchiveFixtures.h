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
