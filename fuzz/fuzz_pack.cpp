// Feeds bytes to the archive reader as an archive file, then lists and restores every member
// through a file manager, as the game would.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/Vecrc.h"
#include "archive/Vefileman.h"
#include "archive/Vepack.h"

namespace {

// One scratch file per process, removed when the process ends normally.
struct TScratchFile {
    std::string Name = "/tmp/fuzz_pack_" + std::to_string(::getpid()) + ".pak";
    ~TScratchFile() { ::unlink(Name.c_str()); }
};

const std::string& ScratchFile()
{
    static const TScratchFile file;
    return file.Name;
}

// The trailer CRC would stop almost every mutation at the door: the bytes are also tried with
// the trailer recomputed, so that the directory checks behind it are exercised.
std::vector<uint8_t> Resealed(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> bytes(data, data + size);
    if (size < VePackFormat::HeaderSize + VePackFormat::TrailerSize)
        return bytes;
    uint64_t directory = bytes[8] | (bytes[9] << 8) | (bytes[10] << 16) | (uint64_t(bytes[11]) << 24);
    size_t end = size - VePackFormat::TrailerSize;
    TCrcCheck crc;
    crc.Update(bytes.data(), VePackFormat::HeaderSize);
    if (directory >= VePackFormat::HeaderSize && directory <= end)
        crc.Update(bytes.data() + directory, end - directory);
    bytes[end] = static_cast<uint8_t>(crc.Value());
    bytes[end + 1] = static_cast<uint8_t>(crc.Value() >> 8);
    return bytes;
}

void Check(const uint8_t* data, size_t size)
{
    const std::string& file = ScratchFile();
    FILE* out = std::fopen(file.c_str(), "wb");
    if (!out)
        return;
    if (size)
        std::fwrite(data, 1, size, out);
    std::fclose(out);

    TFileMan man(nullptr);
    if (man.InitPack(file)) {
        for (const char* pattern : {"*", "*\\*", "*.*"}) {
            man.FindFirst(pattern);
            std::string name;
            while (man.FindNext(name)) {
                if (!man.FileIsExist(name))
                    __builtin_trap();
                if (TStream* stream = man.Open(name)) {
                    uint8_t buffer[256];
                    while (stream->Read(buffer, sizeof(buffer)) > 0) {
                    }
                    man.Close(stream);
                }
            }
        }
    }
    // The reader on its own: every member it lists must be found by name again.
    TVePack pack;
    if (pack.Open(file)) {
        for (int i = 0; i < pack.Count(); ++i) {
            if (pack.IndexOf(pack.Entry(i).Name) != i)
                __builtin_trap();
            TMemoryStream stream;
            if (pack.ReadMember(i, stream) && stream.GetSize() != pack.Entry(i).Size)
                __builtin_trap();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Check(data, size);
    std::vector<uint8_t> resealed = Resealed(data, size);
    Check(resealed.data(), resealed.size());
    return 0;
}
