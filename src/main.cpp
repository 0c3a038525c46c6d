// The game's entry point.
#include "game/Gamef.h"
#include "game/Splashf.h"
#include "scenario/Zbgamet.h"

int main(int argc, char** argv)
{
    // The game flow drives the scene unit, so it lives above the game library and is handed
    // to the main form from here.
    TGameForm::SetGameThreadFactory(CreateGameThread);
    return GameMain(argc, argv);
}
