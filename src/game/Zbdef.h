#pragma once
// The game's own strings and its exception type.

#include "platform/Classes.h"

inline constexpr char GameErrMessage[] = "GameErr";
inline constexpr char ReadMesTableOverMessage[] = "ReadMesTable Over";
inline constexpr char SysSaveFileName[] = "ZBSys.sav";
inline constexpr char SysSaveMagic[4] = {'Z', 'B', '0', '1'};
inline constexpr char SysSaveBadName[] = "ZBSys.sav.bad";
inline constexpr char LogSysSaveError[] = "ZBSys.sav SaveError";
inline constexpr char LogSysSaveSync[] = "ZBSys.sav SyncError";
inline constexpr char LogSysSaveKept[] = "ZBSys.sav LoadError: the unreadable file is kept as ZBSys.sav.bad";

// The game's resource and script failure: the cause goes to the error log before the throw.
class EGameErr : public Exception {
public:
    EGameErr() : Exception(GameErrMessage) {}
};
