#pragma once
// The game's own strings and its exception type.

#include "platform/Classes.h"

inline constexpr char GameErrMessage[] = "GameErr";
inline constexpr char ReadMesTableOverMessage[] = "ReadMesTable Over";
inline constexpr char SysSaveFileName[] = "ZBSys.sav";
inline constexpr char SysSaveMagic[4] = {'Z', 'B', '0', '1'};

// The game's resource and script failure: the cause goes to the error log before the throw.
class EGameErr : public Exception {
public:
    EGameErr() : Exception(GameErrMessage) {}
};
