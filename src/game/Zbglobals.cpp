#include "game/Zbglobals.h"

TMemMan* MemMan = nullptr;
TFileMan* PackFileMan = nullptr;
TFileMan* BGMFileMan = nullptr;
TFileMan* ScriptFileMan = nullptr;
TBitDepth BitDepth = bd24;
bool WindowMode = false;
bool ShowFPS = false;
int32_t ScriptValue = 0;
int32_t BatonResult = 0;
