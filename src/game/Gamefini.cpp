#include <memory>
#include <mutex>

#include "game/Gamef.h"
#include "game/Gamefconst.h"
#include "game/Zbdata.h"
#include "game/Zbdef.h"
#include "platform/Atomicfile.h"
#include "platform/Inifiles.h"
#include "platform/Sysutils.h"

namespace {

std::string IniPath()
{
    return GameFolder() + IniFileName;
}

std::mutex SnapshotLock;
bool SnapshotOn = false;
std::shared_ptr<const TMemIniFile> Snapshot;

// One reading of the file for one reader, or the start's shared reading. A missing or
// unreadable file reads as empty, so every reader keeps its defaults.
std::shared_ptr<const TMemIniFile> ReadIni()
{
    std::lock_guard<std::mutex> lock(SnapshotLock);
    if (!SnapshotOn)
        return std::make_shared<TMemIniFile>(IniPath());
    if (!Snapshot) {
        auto ini = std::make_shared<TMemIniFile>(IniPath());
        // Read before it is shared, so that readers on any thread only look up.
        ini->ValueExists(IniSection, "");
        Snapshot = ini;
    }
    return Snapshot;
}

// Writes all of one save's keys in one rewrite. The player is not told of a failure, but the
// log says why the settings did not stick.
void WriteIni(TMemIniFile& ini)
{
    {
        std::lock_guard<std::mutex> lock(SnapshotLock);
        SnapshotOn = false;
        Snapshot.reset();
    }
    TAtomicWriteFault fault;
    bool written = ini.UpdateFile(&fault);
    if (ErrLog && fault.Step != TAtomicWriteStep::None)
        ErrLog->Add(std::string(written ? LogIniSaveSync : LogIniSaveError) + " (" + AtomicWriteFaultText(fault) + ")");
}

// A present key converted as a decimal integer: the fallback for text that does not convert,
// the same fallback for a value outside low..high; a missing key keeps current.
int ReadRanged(const TMemIniFile& ini, const char* key, int current, int fallback, int low, int high)
{
    if (!ini.ValueExists(IniSection, key))
        return current;
    int value = StrToIntDef(ini.ReadString(IniSection, key, ""), fallback);
    return (value < low || value > high) ? fallback : value;
}

const char* const FpsModeNames[] = {"15fps", "30fps", "Full", "NoSync"};

}  // namespace

TIniStartSnapshot::TIniStartSnapshot()
{
    std::lock_guard<std::mutex> lock(SnapshotLock);
    SnapshotOn = true;
    Snapshot.reset();
}

TIniStartSnapshot::~TIniStartSnapshot()
{
    std::lock_guard<std::mutex> lock(SnapshotLock);
    SnapshotOn = false;
    Snapshot.reset();
}

void ReadDebugIni()
{
    auto ini = ReadIni();
    if (UpperCase(ini->ReadString(IniDebugSection, "WindowMode", "OFF")) == "ON")
        WindowMode = true;
    if (UpperCase(ini->ReadString(IniDebugSection, "ShowFPS", "OFF")) == "ON")
        ShowFPS = true;
}

void TGameForm::LoadIni()
{
    auto ini = ReadIni();
    std::string mode = ini->ReadString(IniSection, "FPSMode", "");
    if (SameText(mode, "NOSYNC"))
        FPSMode.store(3);
    else if (SameText(mode, "FULL"))
        FPSMode.store(2);
    else if (SameText(mode, "30FPS"))
        FPSMode.store(1);
    else if (SameText(mode, "15FPS"))
        FPSMode.store(0);
    VolumeVoice.store(ReadRanged(*ini, "VolumeVoice", VolumeVoice.load(), 100, 0, 100));
    VolumeBGM.store(ReadRanged(*ini, "VolumeBGM", VolumeBGM.load(), 70, 0, 100));
    VolumeSE.store(ReadRanged(*ini, "VolumeSE", VolumeSE.load(), 100, 0, 100));
}

void TGameForm::SaveIni()
{
    TMemIniFile ini(IniPath());
    TFPSMode mode = FPSMode.load();
    if (mode >= 0 && mode <= 3)
        ini.WriteString(IniSection, "FPSMode", FpsModeNames[mode]);
    ini.WriteInteger(IniSection, "VolumeVoice", VolumeVoice.load());
    ini.WriteInteger(IniSection, "VolumeBGM", VolumeBGM.load());
    ini.WriteInteger(IniSection, "VolumeSE", VolumeSE.load());
    WriteIni(ini);
}

void ReadMesBoxIni(TMesBoxConfig* config)
{
    if (!config)
        return;
    auto ini = ReadIni();
    if (ini->ValueExists(IniSection, "MesBoxColor"))
        config->BoxColor = static_cast<uint32_t>(StrToIntDef("0x" + ini->ReadString(IniSection, "MesBoxColor", ""), 0x404080));
    if (ini->ValueExists(IniSection, "MesBoxType")) {
        int type = StrToIntDef(ini->ReadString(IniSection, "MesBoxType", ""), 1);
        config->MesBoxType = (type < 0 || type > 2) ? 1 : type;
    }
    if (ini->ValueExists(IniSection, "MovieQuality")) {
        int quality = StrToIntDef(ini->ReadString(IniSection, "MovieQuality", ""), 1);
        config->MovieQuality = (quality < 0 || quality > 2) ? 1 : quality;
    }
}

void WriteMesBoxIni(const TMesBoxConfig* config)
{
    if (!config)
        return;
    TMemIniFile ini(IniPath());
    ini.WriteString(IniSection, "MesBoxColor", IntToHex(config->BoxColor.ToDWORD(), 6));
    ini.WriteInteger(IniSection, "MesBoxType", config->MesBoxType);
    ini.WriteInteger(IniSection, "MovieQuality", config->MovieQuality);
    WriteIni(ini);
}

void RemoveIniLeftovers()
{
    RemoveAtomicLeftovers(IniPath(), LeftoverMinAge);
}

void TGameForm::SetFPSMode(TFPSMode mode)
{
    if (mode == FPSMode.load())
        return;
    FPSMode.store(mode);
    if (FpsLock) {
        std::lock_guard<TCriticalSection> lock(*FpsLock);
        if (FDisplay)
            FDisplay->SetNoVSync(mode == 3);
    }
    if (mode == 2 || mode == 3)
        PulseTimerEvent();
    SaveIni();
}
