#include "support/ArchiveFixtures.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "archive/Vecrc.h"
#include "archive/Vepack.h"

TScratchFolder::TScratchFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "zbarchiveXXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a scratch folder");
    FPath = pattern;
}

TScratchFolder::~TScratchFolder()
{
    std::error_code error;
    std::filesystem::remove_all(FPath, error);
}

std::string TScratchFolder::Write(const std::string& relative, const TByteVector& bytes) const
{
    std::filesystem::path path = std::filesystem::path(FPath) / relative;
    std::filesystem::create_directories(path.parent_path());
    WriteWholeFile(path.string(), bytes);
    return path.string();
}

std::string TScratchFolder::Write(const std::string& relative, const std::string& text) const
{
    return Write(relative, TByteVector(text.begin(), text.end()));
}

TByteVector ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return TByteVector((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::string& path, const TByteVector& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TByteVector PatternBytes(uint32_t seed, size_t size)
{
    TByteVector bytes(size);
    uint32_t state = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = static_cast<uint8_t>(state >> 16);
    }
    for (size_t i = 0; i < size && i < 4; ++i)
        bytes[i] = static_cast<uint8_t>(seed >> (8 * i));
    return bytes;
}

bool BuildPack(const std::string& fileName, const TNamedBytes& members)
{
    TVePackWriter writer;
    if (!writer.Begin(fileName))
        return false;
    for (const auto& [name, bytes] : members)
        if (!writer.Add(name, bytes.data(), bytes.size()))
            return false;
    return writer.Finish();
}

namespace {

uint32_t Le32(const TByteVector& bytes, size_t at)
{
    return uint32_t(bytes[at]) | (uint32_t(bytes[at + 1]) << 8) | (uint32_t(bytes[at + 2]) << 16) |
           (uint32_t(bytes[at + 3]) << 24);
}

void PutLe16(TByteVector& bytes, size_t at, uint16_t value)
{
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

}  // namespace

bool DamagePackMember(const std::string& fileName, const std::string& member, size_t offset, bool restamp)
{
    using namespace VePackFormat;
    TByteVector bytes = ReadWholeFile(fileName);
    if (bytes.size() < size_t(HeaderSize + TrailerSize))
        return false;
    const size_t directory = Le32(bytes, 8);
    const uint32_t count = Le32(bytes, 12);
    size_t position = directory;
    for (uint32_t i = 0; i < count && position + EntryFixedSize < bytes.size(); ++i) {
        const size_t entry = position;
        const char* name = reinterpret_cast<const char*>(bytes.data() + entry + EntryFixedSize);
        position = entry + EntryFixedSize + std::string(name).size() + 1;
        const uint32_t start = Le32(bytes, entry);
        const uint32_t size = Le32(bytes, entry + 4);
        if (name != member)
            continue;
        if (offset >= size)
            return false;
        bytes[start + offset] ^= 0x5A;
        if (restamp) {
            PutLe16(bytes, entry + 8, TCrcCheck::Calc(bytes.data() + start, size));
            TCrcCheck crc;
            crc.Update(bytes.data(), HeaderSize);
            crc.Update(bytes.data() + directory, bytes.size() - TrailerSize - directory);
            PutLe16(bytes, bytes.size() - TrailerSize, crc.Value());
        }
        WriteWholeFile(fileName, bytes);
        return true;
    }
    return false;
}

bool WriteRawPack(const std::string& fileName, uint32_t dataEnd, const std::vector<TRawPackEntry>& entries)
{
    TByteVector header = {'V', 'e', 'P', 'a', 'c', 'k', 3, 1, 0, 0, 0, 0, 0, 0, 0, 0};
    auto put = [](TByteVector& bytes, uint64_t value, int size) {
        for (int i = 0; i < size; ++i)
            bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    };
    header.resize(8);
    put(header, dataEnd, 4);
    put(header, entries.size(), 4);
    TByteVector directory;
    for (const TRawPackEntry& entry : entries) {
        put(directory, entry.Offset, 4);
        put(directory, entry.Size, 4);
        put(directory, entry.Crc, 2);
        put(directory, 0, 2);
        directory.insert(directory.end(), entry.Name.begin(), entry.Name.end());
        directory.push_back(0);
    }
    TCrcCheck crc;
    crc.Update(header.data(), header.size());
    crc.Update(directory.data(), directory.size());
    put(directory, crc.Value(), 2);
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));
    for (const TRawPackEntry& entry : entries)
        if (!entry.Bytes.empty()) {
            out.seekp(entry.Offset);
            out.write(reinterpret_cast<const char*>(entry.Bytes.data()), static_cast<std::streamsize>(entry.Bytes.size()));
        }
    out.seekp(dataEnd);
    out.write(reinterpret_cast<const char*>(directory.data()), static_cast<std::streamsize>(directory.size()));
    return static_cast<bool>(out.flush());
}

void CutFile(const std::string& path, size_t size)
{
    std::filesystem::resize_file(path, size);
}
