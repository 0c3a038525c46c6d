#include "game/Zbglobals.h"

TMemMan* MemMan = nullptr;
TBitDepth BitDepth = bd24;
TFileMan* PackFileMan = nullptr;
