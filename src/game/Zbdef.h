#pragma once
// The game's own strings and its exception type.

#include "platform/Classes.h"

inline constexpr char GameErrMessage[] = "GameErr";
inline constexpr char ReadMesTableOverMessage[] = "ReadMesTable Over";
inline constexpr char SysSaveFileName[] = "ZBSys.sav";
inline constexpr char SysSaveMagic[4] = {'Z', 'B', '0', '1'};
inline constexpr char SysSaveBadName[] = "ZBSys.sav.bad";
// Where the keep-aside name is taken, the file goes to the first free one of "ZBSys.sav.bad1"
// to "ZBSys.sav.bad99".
inline constexpr int SysSaveBadNumbers = 99;
inline constexpr char LogSysSaveError[] = "ZBSys.sav SaveError";
inline constexpr char LogSysSaveSync[] = "ZBSys.sav SyncError";
// "ZBSys.sav LoadError (<why>): the unreadable file is kept as ZBSys.sav.bad"
inline constexpr char LogSysSaveLoadError[] = "ZBSys.sav LoadError";
inline constexpr char LogSysSaveKeptAs[] = ": the unreadable file is kept as ";
// Where the file system has no locks to tell a write in progress, a temporary of the save or
// the settings younger than this may belong to one.
inline constexpr int LeftoverMinAge = 60;

// The game's resource and script failure: the cause goes to the error log before the throw.
class EGameErr : public Exception {
public:
    EGameErr() : Exception(GameErrMessage) {}
};
