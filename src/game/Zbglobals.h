#pragma once
// Globals of the main form that the whole game reads: the object registry, the file managers,
// the screen's bytes per pixel and the start-up switches. The main form sets them up at start.

#include <cstdint>

#include "base/Vergbcolor.h"

class TMemMan;
class TFileMan;

extern TMemMan* MemMan;
extern TFileMan* PackFileMan;
extern TFileMan* BGMFileMan;
extern TFileMan* ScriptFileMan;
// bd24 or bd32: every buffer the game makes gets this depth.
extern TBitDepth BitDepth;
extern bool WindowMode;
extern bool ShowFPS;
// The value a scene hands to the next story step, and the mini-game's outcome (0 given up,
// 1 passed after retries, 2 passed at the first attempt).
extern int32_t ScriptValue;
extern int32_t BatonResult;
