// Reads and rewrites arbitrary bytes as an INI file: no crash, no hang, and what was written
// reads back.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/Atomicfile.h"
#include "platform/Inifiles.h"

namespace {

// Every rewrite goes through the real writer, minus its syncs: the fuzzer checks what the file
// holds, not what survives a power cut, and a sync per rewrite would cap it at a few hundred
// inputs a second.
bool NoSync(int)
{
    return true;
}
bool NoFolderSync(const char*)
{
    return true;
}

// A folder of the fuzzer's own, removed with everything in it when the fuzzer exits; in
// memory where the system offers it, since a disk file system spends most of the time finding
// inodes for the new files and writing out the ones that replace others.
std::string Scratch;
void RemoveScratch()
{
    std::error_code ignored;
    std::filesystem::remove_all(Scratch, ignored);
}

const std::string& IniPath()
{
    static const std::string path = [] {
        char memory[] = "/dev/shm/zbfuzziniXXXXXX";
        char disk[] = "/tmp/zbfuzziniXXXXXX";
        if (::mkdtemp(memory))
            Scratch = memory;
        else if (::mkdtemp(disk))
            Scratch = disk;
        else
            std::abort();
        std::atexit(RemoveScratch);
        AtomicFileOps = DefaultAtomicFileOps;
        AtomicFileOps.Sync = NoSync;
        AtomicFileOps.SyncFolder = NoFolderSync;
        return Scratch + "/ZB.INI";
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& path = IniPath();
    std::string text(reinterpret_cast<const char*>(data), size);
    if (!WriteFileAtomic(path, text))
        return 0;
    TIniFile ini(path);
    for (const char* section : {"ZB", "zb debug", "", "["}) {
        (void)ini.ReadString(section, "FPSMode", "d");
        (void)ini.ReadInteger(section, "VolumeBGM", 70);
        (void)ini.SectionExists(section);
        TStringList keys;
        ini.ReadSection(section, &keys);
    }
    if (!ini.WriteString("ZB", "VolumeSE", "42"))
        std::abort();
    if (ini.ReadInteger("ZB", "VolumeSE", 0) != 42)
        std::abort();
    // A section added and looked up again under another case must be found.
    if (!ini.EraseSection("Fuzz Probe") || !ini.WriteString("Fuzz Probe", "k", "v") || ini.ReadString("fuzz probe", "K", "") != "v")
        std::abort();
    std::remove(path.c_str());
    return 0;
}
