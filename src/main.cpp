// The game's entry point.
#include "game/Splashf.h"

int main(int argc, char** argv)
{
    return GameMain(argc, argv);
}
