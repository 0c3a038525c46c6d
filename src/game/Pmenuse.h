#pragma once
// The click and hover sounds of the menu screens, played on the main form's effect channel
// through the screen's own file manager. Nothing is played without a main form.

#include <string>

#include "game/Gamef.h"

class TFileMan;

inline void PlayMenuSE(const std::string& name, TFileMan* fileMan)
{
    if (GameForm)
        GameForm->PlaySE(name, fileMan);
}
