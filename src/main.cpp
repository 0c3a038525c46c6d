// The game's entry point. Start-up is built step by step; until the main form exists this
// reports what it is and exits.
#include <cstdio>

int main()
{
    std::puts("ZB: the game's start-up is not built yet; run the tests with scripts/test.");
    return 0;
}
