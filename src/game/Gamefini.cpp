#include "game/Gamef.h"
#include "game/Gamefconst.h"
#include "game/Zbdata.h"
#include "platform/Filenames.h"
#include "platform/Inifiles.h"
#include "platform/Sysutils.h"

namespace {

std::string IniPath()
{
    return GameFolder() + IniFileName;
}

bool IniExists()
{
    return PathIsFile(NativePath(IniPath()));
}

// A present key converted as a decimal integer: the fallback for text that does not convert,
// the same fallback for a value outside low..high; a missing key keeps current.
int ReadRanged(const TIniFile& ini, const char* key, int current, int fallback, int low, int high)
{
    if (!ini.ValueExists(IniSection, key))
        return current;
    int value = StrToIntDef(ini.ReadString(IniSection, key, ""), fallback);
    return (value < low || value > high) ? fallback : value;
}

const char* const FpsModeNames[] = {"15fps", "30fps", "Full", "NoSync"};

}  // namespace

void ReadDebugIni()
{
    if (!IniExists())
        return;
    TIniFile ini(IniPath());
    if (UpperCase(ini.ReadString(IniDebugSection, "WindowMode", "OFF")) == "ON")
        WindowMode = true;
    if (UpperCase(ini.ReadString(IniDebugSection, "ShowFPS", "OFF")) == "ON")
        ShowFPS = true;
}

void TGameForm::LoadIni()
{
    if (!IniExists())
        return;
    TIniFile ini(IniPath());
    std::string mode = ini.ReadString(IniSection, "FPSMode", "");
    if (SameText(mode, "NOSYNC"))
        FPSMode.store(3);
    else if (SameText(mode, "FULL"))
        FPSMode.store(2);
    else if (SameText(mode, "30FPS"))
        FPSMode.store(1);
    else if (SameText(mode, "15FPS"))
        FPSMode.store(0);
    VolumeVoice.store(ReadRanged(ini, "VolumeVoice", VolumeVoice.load(), 100, 0, 100));
    VolumeBGM.store(ReadRanged(ini, "VolumeBGM", VolumeBGM.load(), 70, 0, 100));
    VolumeSE.store(ReadRanged(ini, "VolumeSE", VolumeSE.load(), 100, 0, 100));
}

void TGameForm::SaveIni()
{
    TIniFile ini(IniPath());
    TFPSMode mode = FPSMode.load();
    if (mode >= 0 && mode <= 3)
        ini.WriteString(IniSection, "FPSMode", FpsModeNames[mode]);
    ini.WriteInteger(IniSection, "VolumeVoice", VolumeVoice.load());
    ini.WriteInteger(IniSection, "VolumeBGM", VolumeBGM.load());
    ini.WriteInteger(IniSection, "VolumeSE", VolumeSE.load());
}

void ReadMesBoxIni(TMesBoxConfig* config)
{
    if (!config || !IniExists())
        return;
    TIniFile ini(IniPath());
    if (ini.ValueExists(IniSection, "MesBoxColor"))
        config->BoxColor = static_cast<uint32_t>(StrToIntDef("0x" + ini.ReadString(IniSection, "MesBoxColor", ""), 0x404080));
    if (ini.ValueExists(IniSection, "MesBoxType")) {
        int type = StrToIntDef(ini.ReadString(IniSection, "MesBoxType", ""), 1);
        config->MesBoxType = (type < 0 || type > 2) ? 1 : type;
    }
    if (ini.ValueExists(IniSection, "MovieQuality")) {
        int quality = StrToIntDef(ini.ReadString(IniSection, "MovieQuality", ""), 1);
        config->MovieQuality = (quality < 0 || quality > 2) ? 1 : quality;
    }
}

void WriteMesBoxIni(const TMesBoxConfig* config)
{
    if (!config)
        return;
    TIniFile ini(IniPath());
    ini.WriteString(IniSection, "MesBoxColor", IntToHex(config->BoxColor.ToDWORD(), 6));
    ini.WriteInteger(IniSection, "MesBoxType", config->MesBoxType);
    ini.WriteInteger(IniSection, "MovieQuality", config->MovieQuality);
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
