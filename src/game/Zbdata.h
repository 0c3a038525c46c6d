#pragma once
// The game's global records: the error log, the random generator, the read-message table, the
// system record (kept across plays), the running story's record and the message-box settings.
// They are built by ZbdataStart and freed by ZbdataFinish; every accessor ignores an index or
// value outside its range on writing and answers 0 or false on reading, and never throws.

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_set>

#include "base/Verandom.h"
#include "base/Vergbcolor.h"

class TReadMesTable;

// Flag n lives in byte n / 8, bit n % 8 (bit 0 the least significant).
struct TSysData {
    static constexpr int FlagCount = 256;
    static constexpr int ByteSize = 72;  // size in the save file

    uint8_t SysFlag[32];
    uint8_t OpenFlag[32];
    int32_t FurthestEpisode;
    int32_t FurthestScene;
};

// The save file's 72-byte form: both flag sets, then episode and scene little-endian.
void StoreSysData(const TSysData& data, uint8_t* bytes);
void LoadSysDataBytes(TSysData& data, const uint8_t* bytes);
void InitSysData(TSysData* data);

struct TGameData {
    static constexpr int FlagCount = 512;
    static constexpr int RegCount = 8;
    static constexpr int VarCount = 64;

    uint8_t Flag[64];
    int32_t Reg[RegCount];
    int32_t Var[VarCount];
    int32_t Episode;
    int32_t Scene;
    int32_t ModeA;
    uint8_t Phase;  // trigger group of the next scene
    int32_t ModeB;
};

using TMesBoxType = int32_t;    // 0 no frame, 1 or 2 one of the two frame images
using TMovieQuality = int32_t;  // 0 low, 1 normal, 2 high

struct TMesBoxConfig {
    TVeRGB BoxColor;
    TMesBoxType MesBoxType;
    TMovieQuality MovieQuality;
};

// The program's log: at most 1000 lines, oldest dropped first; each line is also written to
// standard error. Safe to use from any thread.
class TErrLog {
public:
    static constexpr size_t MaxLines = 1000;

    void Add(const std::string& text);
    // Adds the line unless AddOnce has added the very same line before: a failure met again on
    // every retry (a sound asked for at each button or scene) is told once, not once a try.
    void AddOnce(const std::string& text);
    size_t Count() const;
    std::string Line(size_t index) const;  // empty outside the log

private:
    void Append(const std::string& text, const std::string& echo);

    mutable std::mutex FLock;
    std::deque<std::string> FLines;
    std::unordered_set<std::string> FOnce;  // bounded like the lines
};

extern TErrLog* ErrLog;
extern TRandom* GameRandom;
extern TReadMesTable* ReadMesTable;
extern TSysData* SysData;
extern TGameData* GameData;
extern TMesBoxConfig* MesBoxConfig;

// Counted: the first start builds the records, the matching last finish frees them.
void ZbdataStart();
void ZbdataFinish();

void SetSysFlag(TSysData* data, int n, bool on);
bool GetSysFlag(const TSysData* data, int n);
void SetSysOpenFlag(TSysData* data, int n);
bool GetSysOpenFlag(const TSysData* data, int n);
// True when (episode, scene) is at or before the furthest point reached.
bool IsProgressReached(const TSysData* data, int episode, int scene);

void ClearGameData(TGameData* data);
void SetGameFlag(TGameData* data, int n, bool on);
bool GetGameFlag(const TGameData* data, int n);
void SetGameReg(TGameData* data, int n, int32_t value);
int32_t GetGameReg(const TGameData* data, int n);
void SetGameVar(TGameData* data, int n, int32_t value);
int32_t GetGameVar(const TGameData* data, int n);
// A negative episode is final, as is a scene of 0 or below: later writes are ignored until
// ClearGameData.
void SetGameEpisode(TGameData* data, int32_t value);
int32_t GetGameEpisode(const TGameData* data);
void SetGameScene(TGameData* data, int32_t value);
int32_t GetGameScene(const TGameData* data);
void SetGameModeA(TGameData* data, int32_t value);
int32_t GetGameModeA(const TGameData* data);
void SetGameModeB(TGameData* data, int32_t value);
int32_t GetGameModeB(const TGameData* data);
void SetGamePhaseOnly(TGameData* data, uint8_t value);
// Also resets mode B, which belongs to the phase being left.
void SetGamePhase(TGameData* data, uint8_t value);
uint8_t GetGamePhase(const TGameData* data);
