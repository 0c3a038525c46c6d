#pragma once
// The click and hover sounds of the menu screens, played on the main form's effect channel
// through the screen's own file manager. Nothing is played without a main form.

#include <string>

#include "game/Gamef.h"

class TFileMan;

namespace menuse {

template <class F>
auto Play(F* form, const std::string& name, TFileMan* fileMan, int) -> decltype(form->PlaySE(name, fileMan), void())
{
    form->PlaySE(name, fileMan);
}

// A form without an effect channel plays nothing.
template <class F>
void Play(F*, const std::string&, TFileMan*, long)
{
}

}  // namespace menuse

inline void PlayMenuSE(const std::string& name, TFileMan* fileMan)
{
    if (GameForm)
        menuse::Play(GameForm, name, fileMan, 0);
}
