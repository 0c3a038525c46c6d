#pragma once
// Globals of the main form that the whole game reads: the object registry, the file managers,
// the screen's bytes per pixel and the start-up switches. The main form sets them up at start.

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
