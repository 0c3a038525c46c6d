#include "archive/Vepack.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "archive/Vecrc.h"
#include "platform/Filenames.h"

namespace {

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t Get32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void Put16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

// Reads exactly size bytes at offset; false on a short read or an error.
bool ReadAt(int handle, void* buffer, uint64_t size, uint64_t offset)
{
    uint8_t* bytes = static_cast<uint8_t*>(buffer);
    uint64_t done = 0;
    while (done < size) {
        size_t chunk = static_cast<size_t>(std::min<uint64_t>(size - done, 1u << 30));
        ssize_t n = ::pread(handle, bytes + done, chunk, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<uint64_t>(n);
    }
    return true;
}

bool VersionSupported(uint8_t major, uint8_t minor)
{
    unsigned version = major * 256u + minor;
    return version >= 0x0100 && version <= 0x0301;
}

}  // namespace

std::string VePackKey(const std::string& name)
{
    std::string key = name;
    for (char& c : key) {
        if (c == '/')
            c = '\\';
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return key;
}

bool VePackValidName(const std::string& name)
{
    if (name.empty() || name.size() > VePackFormat::MaxNameLength)
        return false;
    size_t start = 0;
    while (true) {
        size_t end = name.find('\\', start);
        std::string component = name.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (component.empty() || component == "." || component == "..")
            return false;
        for (char c : component)
            if (static_cast<unsigned char>(c) < 0x20 || c == '/' || c == ':')
                return false;
        if (end == std::string::npos)
            return true;
        start = end + 1;
    }
}

std::string VePackNormalName(const std::string& name)
{
    if (name.empty() || name.front() == '\\' || name.front() == '/' || name.back() == '\\' || name.back() == '/')
        return {};
    std::string normal;
    size_t start = 0;
    while (start < name.size()) {
        size_t end = std::min(name.find_first_of("\\/", start), name.size());
        std::string component = name.substr(start, end - start);
        start = end + 1;
        if (component.empty() || component == ".")
            continue;
        if (!normal.empty())
            normal += '\\';
        normal += component;
    }
    return VePackValidName(normal) ? normal : std::string();
}

TVePack::TVePack(TComponent* owner) : TComponent(owner) {}

TVePack::~TVePack()
{
    Close();
}

void TVePack::Close()
{
    if (FHandle >= 0)
        ::close(FHandle);
    FHandle = -1;
    FFileName.clear();
    FMajor = FMinor = 0;
    FEntries.clear();
    FIndex.clear();
}

bool TVePack::Fail(const std::string& reason)
{
    Close();
    FLastError = reason;
    return false;
}

bool TVePack::Open(const std::string& fileName)
{
    using namespace VePackFormat;
    Close();
    FLastError.clear();
    FHandle = ::open(NativePath(fileName).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (FHandle < 0)
        return Fail("cannot open " + fileName + ": " + std::strerror(errno));
    struct stat st {};
    if (::fstat(FHandle, &st) != 0 || !S_ISREG(st.st_mode))
        return Fail("not a regular file");
    uint64_t fileSize = static_cast<uint64_t>(st.st_size);
    if (fileSize < HeaderSize + TrailerSize)
        return Fail("cut short: smaller than a header and a trailer");

    uint8_t header[HeaderSize];
    if (!ReadAt(FHandle, header, HeaderSize, 0))
        return Fail("cannot read the header");
    if (std::memcmp(header, Magic, sizeof(Magic)) != 0)
        return Fail("not an archive");
    if (!VersionSupported(header[6], header[7]))
        return Fail("unsupported version " + std::to_string(header[6]) + "." + std::to_string(header[7]));
    uint32_t dataEnd = Get32(header + 8);
    uint32_t count = Get32(header + 12);
    if (count > MaxMembers)
        return Fail(std::to_string(count) + " members, more than the " + std::to_string(MaxMembers) +
                    " an archive may hold");
    if (dataEnd < HeaderSize)
        return Fail("bad header: directory offset inside the header");
    // The directory sits at the end, so an archive that lost its tail points past it.
    if (static_cast<uint64_t>(dataEnd) + TrailerSize > fileSize)
        return Fail("cut short: the directory lies past the end of the file");
    uint64_t directorySize = fileSize - TrailerSize - dataEnd;
    if (directorySize > MaxDirectorySize)
        return Fail("directory too large");
    if (static_cast<uint64_t>(count) * (EntryFixedSize + 2) > directorySize)
        return Fail("entry count does not fit the directory");

    std::vector<uint8_t> directory;
    try {
        directory.resize(static_cast<size_t>(directorySize + TrailerSize));
    } catch (const std::bad_alloc&) {
        return Fail("out of memory");
    }
    if (!ReadAt(FHandle, directory.data(), directory.size(), dataEnd))
        return Fail("cannot read the directory");
    TCrcCheck crc;
    crc.Update(header, HeaderSize);
    crc.Update(directory.data(), static_cast<size_t>(directorySize));
    if (crc.Value() != Get16(directory.data() + directorySize))
        return Fail("directory CRC mismatch");
    directory.resize(static_cast<size_t>(directorySize));

    if (!ParseDirectory(directory, dataEnd, count))
        return false;
    FFileName = fileName;
    FMajor = header[6];
    FMinor = header[7];
    return true;
}

bool TVePack::ParseDirectory(const std::vector<uint8_t>& directory, uint32_t dataEnd, uint32_t count)
{
    using namespace VePackFormat;
    FEntries.reserve(count);
    FIndex.reserve(count);
    size_t position = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (directory.size() - position < EntryFixedSize + 2)
            return Fail("directory truncated");
        const uint8_t* p = directory.data() + position;
        TVePackEntry entry;
        entry.Offset = Get32(p);
        entry.Size = Get32(p + 4);
        entry.Crc = Get16(p + 8);
        entry.Flags = Get16(p + 10);
        position += EntryFixedSize;
        size_t limit = std::min(directory.size() - position, MaxNameLength + 1);
        const void* zero = std::memchr(directory.data() + position, 0, limit);
        if (!zero)
            return Fail("entry name without terminator");
        size_t length = static_cast<size_t>(static_cast<const uint8_t*>(zero) - (directory.data() + position));
        entry.Name.assign(reinterpret_cast<const char*>(directory.data() + position), length);
        position += length + 1;
        if (!VePackValidName(entry.Name))
            return Fail("invalid entry name");
        if (entry.Flags != 0)
            return Fail("unsupported entry flags in " + entry.Name);
        if (entry.Offset < HeaderSize || static_cast<uint64_t>(entry.Offset) + entry.Size > dataEnd)
            return Fail("entry outside the data area: " + entry.Name);
        if (!FIndex.emplace(VePackKey(entry.Name), static_cast<int>(i)).second)
            return Fail("duplicate entry name: " + entry.Name);
        FEntries.push_back(std::move(entry));
    }
    if (position != directory.size())
        return Fail("bytes after the last entry");

    std::vector<const TVePackEntry*> byOffset;
    byOffset.reserve(FEntries.size());
    for (const TVePackEntry& entry : FEntries)
        byOffset.push_back(&entry);
    std::sort(byOffset.begin(), byOffset.end(), [](const TVePackEntry* a, const TVePackEntry* b) {
        return a->Offset != b->Offset ? a->Offset < b->Offset : a->Size < b->Size;
    });
    for (size_t i = 1; i < byOffset.size(); ++i)
        if (static_cast<uint64_t>(byOffset[i - 1]->Offset) + byOffset[i - 1]->Size > byOffset[i]->Offset)
            return Fail("overlapping entries: " + byOffset[i - 1]->Name + ", " + byOffset[i]->Name);
    return true;
}

int TVePack::IndexOf(const std::string& name) const
{
    return IndexOfNormal(VePackNormalName(name));
}

int TVePack::IndexOfNormal(const std::string& normal) const
{
    if (normal.empty())
        return -1;
    auto found = FIndex.find(VePackKey(normal));
    return found == FIndex.end() ? -1 : found->second;
}

bool TVePack::ReadMember(int index, TMemoryStream& stream, std::string* failure) const
{
    auto fail = [&](const std::string& reason) {
        stream.Clear();
        if (failure)
            *failure = reason;
        return false;
    };
    if (FHandle < 0 || index < 0 || index >= Count())
        return fail("not in the archive");
    const TVePackEntry& entry = FEntries[static_cast<size_t>(index)];
    if (entry.Size > VePackFormat::MaxMemberSize)
        return fail(std::to_string(entry.Size) + " bytes, more than the " +
                    std::to_string(VePackFormat::MaxMemberSize) + " a member may hold");
    try {
        stream.SetSize(entry.Size);
    } catch (const std::bad_alloc&) {
        return fail("out of memory");
    }
    if (!ReadAt(FHandle, stream.Memory(), entry.Size, entry.Offset))
        return fail("cut short");
    if (TCrcCheck::Calc(stream.Memory(), entry.Size) != entry.Crc)
        return fail("CRC mismatch");
    stream.SetPosition(0);
    return true;
}

TVePackWriter::~TVePackWriter()
{
    Abandon();
}

bool TVePackWriter::Fail(const std::string& reason)
{
    FLastError = reason;
    return false;
}

void TVePackWriter::Abandon()
{
    if (FHandle >= 0) {
        ::close(FHandle);
        ::unlink(FTemporary.c_str());
    }
    FHandle = -1;
    FEntries.clear();
    FIndex.clear();
    FPosition = 0;
}

bool TVePackWriter::WriteAll(const void* data, size_t size, uint64_t offset)
{
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::pwrite(FHandle, bytes + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Fail(std::string("write error: ") + std::strerror(errno));
        done += static_cast<size_t>(n);
    }
    return true;
}

bool TVePackWriter::Begin(const std::string& fileName)
{
    Abandon();
    FLastError.clear();
    FTarget = NativePath(fileName);
    FTemporary = FTarget + ".tmp";
    FHandle = ::open(FTemporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (FHandle < 0)
        return Fail("cannot create " + FTemporary + ": " + std::strerror(errno));
    FPosition = VePackFormat::HeaderSize;
    return true;
}

bool TVePackWriter::Add(const std::string& name, const void* data, size_t size)
{
    using namespace VePackFormat;
    if (FHandle < 0)
        return Fail("no archive begun");
    if (!VePackValidName(name))
        return Fail("invalid member name: " + name);
    if (FIndex.count(VePackKey(name)))
        return Fail("duplicate member name: " + name);
    if (size > MaxMemberSize)
        return Fail("member larger than " + std::to_string(MaxMemberSize) + " bytes: " + name);
    if (FEntries.size() >= MaxMembers)
        return Fail("more than " + std::to_string(MaxMembers) + " members");
    if (FPosition + size > UINT32_MAX)
        return Fail("archive larger than 4 GB");
    if (!WriteAll(data, size, FPosition))
        return false;
    TVePackEntry entry;
    entry.Name = name;
    entry.Offset = static_cast<uint32_t>(FPosition);
    entry.Size = static_cast<uint32_t>(size);
    entry.Crc = TCrcCheck::Calc(data, size);
    FIndex.emplace(VePackKey(name), static_cast<int>(FEntries.size()));
    FEntries.push_back(std::move(entry));
    FPosition += size;
    return true;
}

bool TVePackWriter::Finish()
{
    using namespace VePackFormat;
    if (FHandle < 0)
        return Fail("no archive begun");
    std::vector<uint8_t> header(Magic, Magic + sizeof(Magic));
    header.push_back(WriteMajor);
    header.push_back(WriteMinor);
    Put32(header, static_cast<uint32_t>(FPosition));
    Put32(header, static_cast<uint32_t>(FEntries.size()));
    std::vector<uint8_t> directory;
    for (const TVePackEntry& entry : FEntries) {
        Put32(directory, entry.Offset);
        Put32(directory, entry.Size);
        Put16(directory, entry.Crc);
        Put16(directory, entry.Flags);
        directory.insert(directory.end(), entry.Name.begin(), entry.Name.end());
        directory.push_back(0);
    }
    if (directory.size() > MaxDirectorySize) {
        Abandon();
        return Fail("directory too large");
    }
    TCrcCheck crc;
    crc.Update(header.data(), header.size());
    crc.Update(directory.data(), directory.size());
    Put16(directory, crc.Value());
    bool written = WriteAll(directory.data(), directory.size(), FPosition) &&
                   WriteAll(header.data(), header.size(), 0);
    if (written && ::fsync(FHandle) != 0)
        written = Fail(std::string("cannot flush: ") + std::strerror(errno));
    if (written && ::close(FHandle) != 0) {
        FHandle = -1;
        ::unlink(FTemporary.c_str());
        written = Fail(std::string("cannot close: ") + std::strerror(errno));
    } else if (written) {
        FHandle = -1;
    }
    if (!written) {
        Abandon();
        return false;
    }
    if (::rename(FTemporary.c_str(), FTarget.c_str()) != 0) {
        std::string reason = std::string("cannot rename: ") + std::strerror(errno);
        ::unlink(FTemporary.c_str());
        Abandon();
        return Fail(reason);
    }
    FEntries.clear();
    FIndex.clear();
    FPosition = 0;
    return true;
}
