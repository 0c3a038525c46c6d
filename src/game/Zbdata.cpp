#include "game/Zbdata.h"

#include <cstdio>
#include <cstring>

#include "game/Zbreadmes.h"
#include "platform/Codepage.h"

TErrLog* ErrLog = nullptr;
TRandom* GameRandom = nullptr;
TReadMesTable* ReadMesTable = nullptr;
TSysData* SysData = nullptr;
TGameData* GameData = nullptr;
TMesBoxConfig* MesBoxConfig = nullptr;

namespace {

int StartCount = 0;

bool GetBit(const uint8_t* bits, int n)
{
    return (bits[n / 8] >> (n % 8)) & 1;
}

void PutBit(uint8_t* bits, int n, bool on)
{
    uint8_t mask = static_cast<uint8_t>(1u << (n % 8));
    if (on)
        bits[n / 8] |= mask;
    else
        bits[n / 8] &= static_cast<uint8_t>(~mask);
}

void PutLE32(uint8_t* p, int32_t value)
{
    uint32_t v = static_cast<uint32_t>(value);
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

int32_t GetLE32(const uint8_t* p)
{
    return static_cast<int32_t>(uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) |
                                (uint32_t(p[3]) << 24));
}

}  // namespace

// The program's own lines are code page 932; a terminal reads UTF-8. Converted before the lock,
// which stays a leaf.
void TErrLog::Add(const std::string& text)
{
    const std::string echo = ProgramTextToUtf8(text);
    std::lock_guard<std::mutex> guard(FLock);
    Append(text, echo);
}

void TErrLog::AddOnce(const std::string& text)
{
    const std::string echo = ProgramTextToUtf8(text);
    std::lock_guard<std::mutex> guard(FLock);
    if (FOnce.count(text))
        return;
    if (FOnce.size() < MaxLines)
        FOnce.insert(text);
    Append(text, echo);
}

void TErrLog::Append(const std::string& text, const std::string& echo)
{
    FLines.push_back(text);
    while (FLines.size() > MaxLines)
        FLines.pop_front();
    std::fprintf(stderr, "%s\n", echo.c_str());
}

size_t TErrLog::Count() const
{
    std::lock_guard<std::mutex> guard(FLock);
    return FLines.size();
}

std::string TErrLog::Line(size_t index) const
{
    std::lock_guard<std::mutex> guard(FLock);
    return index < FLines.size() ? FLines[index] : std::string();
}

void StoreSysData(const TSysData& data, uint8_t* bytes)
{
    std::memcpy(bytes, data.SysFlag, 32);
    std::memcpy(bytes + 32, data.OpenFlag, 32);
    PutLE32(bytes + 64, data.FurthestEpisode);
    PutLE32(bytes + 68, data.FurthestScene);
}

void LoadSysDataBytes(TSysData& data, const uint8_t* bytes)
{
    std::memcpy(data.SysFlag, bytes, 32);
    std::memcpy(data.OpenFlag, bytes + 32, 32);
    data.FurthestEpisode = GetLE32(bytes + 64);
    data.FurthestScene = GetLE32(bytes + 68);
}

void InitSysData(TSysData* data)
{
    if (!data)
        return;
    std::memset(data->SysFlag, 0, sizeof data->SysFlag);
    std::memset(data->OpenFlag, 0, sizeof data->OpenFlag);
    data->FurthestEpisode = 0;
    data->FurthestScene = 1;
}

void ZbdataStart()
{
    if (StartCount++ != 0)
        return;
    ErrLog = new TErrLog;
    GameRandom = new TRandom;
    ReadMesTable = new TReadMesTable;
    SysData = new TSysData;
    InitSysData(SysData);
    GameData = new TGameData;
    ClearGameData(GameData);
    GameData->Phase = 0;
    MesBoxConfig = new TMesBoxConfig{VeRGB(0x404080), 1, 1};
}

void ZbdataFinish()
{
    if (StartCount == 0 || --StartCount != 0)
        return;
    // The read table may log while it goes, so it leaves before the log does.
    delete ReadMesTable;
    ReadMesTable = nullptr;
    delete ErrLog;
    ErrLog = nullptr;
    delete MesBoxConfig;
    MesBoxConfig = nullptr;
    delete GameData;
    GameData = nullptr;
    delete SysData;
    SysData = nullptr;
    delete GameRandom;
    GameRandom = nullptr;
}

void SetSysFlag(TSysData* data, int n, bool on)
{
    if (data && n >= 0 && n < TSysData::FlagCount)
        PutBit(data->SysFlag, n, on);
}

bool GetSysFlag(const TSysData* data, int n)
{
    return data && n >= 0 && n < TSysData::FlagCount && GetBit(data->SysFlag, n);
}

void SetSysOpenFlag(TSysData* data, int n)
{
    if (data && n >= 0 && n < TSysData::FlagCount)
        PutBit(data->OpenFlag, n, true);
}

bool GetSysOpenFlag(const TSysData* data, int n)
{
    return data && n >= 0 && n < TSysData::FlagCount && GetBit(data->OpenFlag, n);
}

bool IsProgressReached(const TSysData* data, int episode, int scene)
{
    if (!data)
        return false;
    return episode < data->FurthestEpisode || (episode == data->FurthestEpisode && scene <= data->FurthestScene);
}

void ClearGameData(TGameData* data)
{
    if (!data)
        return;
    std::memset(data->Flag, 0, sizeof data->Flag);
    for (int32_t& r : data->Reg)
        r = -1;
    for (int32_t& v : data->Var)
        v = 0;
    data->Episode = 0;
    data->Scene = 1;
    data->ModeA = 1;
    data->Phase = 1;
    data->ModeB = 0;
}

void SetGameFlag(TGameData* data, int n, bool on)
{
    if (data && n >= 0 && n < TGameData::FlagCount)
        PutBit(data->Flag, n, on);
}

bool GetGameFlag(const TGameData* data, int n)
{
    return data && n >= 0 && n < TGameData::FlagCount && GetBit(data->Flag, n);
}

void SetGameReg(TGameData* data, int n, int32_t value)
{
    if (data && n >= 0 && n < TGameData::RegCount)
        data->Reg[n] = value;
}

int32_t GetGameReg(const TGameData* data, int n)
{
    return data && n >= 0 && n < TGameData::RegCount ? data->Reg[n] : 0;
}

void SetGameVar(TGameData* data, int n, int32_t value)
{
    if (data && n >= 0 && n < TGameData::VarCount)
        data->Var[n] = value;
}

int32_t GetGameVar(const TGameData* data, int n)
{
    return data && n >= 0 && n < TGameData::VarCount ? data->Var[n] : 0;
}

void SetGameEpisode(TGameData* data, int32_t value)
{
    if (data && data->Episode >= 0)
        data->Episode = value;
}

int32_t GetGameEpisode(const TGameData* data)
{
    return data ? data->Episode : 0;
}

void SetGameScene(TGameData* data, int32_t value)
{
    if (data && data->Scene > 0)
        data->Scene = value;
}

int32_t GetGameScene(const TGameData* data)
{
    return data ? data->Scene : 0;
}

void SetGameModeA(TGameData* data, int32_t value)
{
    if (data && value >= 0 && value <= 3)
        data->ModeA = value;
}

int32_t GetGameModeA(const TGameData* data)
{
    return data ? data->ModeA : 0;
}

void SetGameModeB(TGameData* data, int32_t value)
{
    if (data && value >= 0 && value <= 5)
        data->ModeB = value;
}

int32_t GetGameModeB(const TGameData* data)
{
    return data ? data->ModeB : 0;
}

void SetGamePhaseOnly(TGameData* data, uint8_t value)
{
    if (data)
        data->Phase = value;
}

void SetGamePhase(TGameData* data, uint8_t value)
{
    if (!data)
        return;
    data->Phase = value;
    data->ModeB = 0;
}

uint8_t GetGamePhase(const TGameData* data)
{
    return data ? data->Phase : 0;
}
