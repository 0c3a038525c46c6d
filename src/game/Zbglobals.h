#pragma once
// Globals of the main form that the game's helpers read: the object registry, the screen's
// bytes per pixel and the main archive's file manager. The main form sets them up at start.

#include "base/Vergbcolor.h"

class TMemMan;
class TFileMan;

extern TMemMan* MemMan;
// bd24 or bd32: every buffer the helpers make gets this depth.
extern TBitDepth BitDepth;
extern TFileMan* PackFileMan;
