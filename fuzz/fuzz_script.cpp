// Feeds arbitrary bytes to the script table builder as one or two script files, then runs every
// trigger condition, every scene start and every function for a bounded number of instructions.
// Input: a 16-bit little-endian length n, then n bytes of "A.Wps", then the rest as "B.Wps".
#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "archive/Vefileman.h"
#include "game/Zbdata.h"
#include "game/Zbdef.h"
#include "scenario/Avgu.h"

namespace {

std::string ScratchFolder;

void RemoveScratchFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(ScratchFolder, ignored);
}

// One folder for the whole run, removed when the run ends.
std::string Folder()
{
    if (ScratchFolder.empty()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "zbfuzzscriptXXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        ScratchFolder = pattern;
        std::atexit(RemoveScratchFolder);
        ZbdataStart();
    }
    return ScratchFolder;
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// Script errors are the expected answer to bad code; anything else escapes and is a finding.
template <class F>
void Guarded(F&& step)
{
    try {
        step();
    } catch (const EGameErr&) {
    }
}

void Exercise(TAvgUnit& unit)
{
    std::string text;
    for (int s = 0; s < unit.ScriptCount(); ++s) {
        const TScriptInfo& info = unit.GetScriptInfo(s);
        for (uint32_t offset = 0; offset < info.Header.TriggerSize;) {
            TTriggerEntry entry;
            ReadTriggerEntry(unit.TriggerBuffer() + info.TriggerOffset + offset, entry);
            Guarded([&] { unit.TestTrigger(s, offset); });
            Guarded([&] {
                if (!unit.StartScript(s, offset))
                    unit.Run();
            });
            for (uint32_t i = 0; i < unit.StackDepth() && i < 4; ++i)
                unit.TextOfReference(unit.StackValue(i), text);
            offset += entry.EntryLength;
        }
        Guarded([&] {
            unit.LoadFunction(s);
            const TVeHushTable& names = unit.FuncNameTable();
            for (int f = 0; f < names.GetCount(); ++f) {
                Guarded([&] {
                    unit.JumpTo(static_cast<uint32_t>(names.GetParam(f)));
                    unit.Run();
                });
                if (unit.CurrentScript() != s)
                    unit.LoadFunction(s);
            }
        });
    }
    int script = 0;
    uint32_t entry = 0;
    for (int group : {0, 1, 2, 0x7F}) {
        unit.SetTriggerGroup(static_cast<uint8_t>(group));
        for (int n = 0; n < 300 && unit.FindTrigger(script, entry); ++n)
            Guarded([&] { unit.TestTrigger(script, entry); });
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string folder = Folder();
    size_t first = size;
    if (size >= 2) {
        first = data[0] | (size_t(data[1]) << 8);
        data += 2;
        size -= 2;
        if (first > size)
            first = size;
    }
    std::filesystem::remove(folder + "/B.Wps");
    WriteFile(folder + "/A.Wps", data, first);
    if (size > first)
        WriteFile(folder + "/B.Wps", data + first, size - first);

    TFileMan files(nullptr);
    files.InitDir(folder);
    TAvgUnit unit(nullptr);
    unit.Host.ScriptFileMan = &files;
    unit.RunBudget = 300;
    unit.EvalBudget = 300;
    unit.InitScenario(nullptr);
    unit.ResourcesReady = true;
    Exercise(unit);
    return 0;
}
