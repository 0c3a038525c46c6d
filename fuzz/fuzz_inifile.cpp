// Reads and rewrites arbitrary bytes as an INI file: no crash, no hang, and what was written
// reads back.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Atomicfile.h"
#include "platform/Inifiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = "/tmp/zbfuzzini" + std::to_string(::getpid()) + ".ini";
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
