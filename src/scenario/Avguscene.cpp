// The scene instructions: the story's verbs above the core machine.
#include <string>

#include "scenario/Avgu.h"

// The scene instructions come with the scene's presentation. Until a handler exists, a script
// that uses one stops with a script error rather than running on with its operands unpopped.
void TAvgUnit::ExecSceneCode(uint16_t op)
{
    if (IsSceneOp(op))
        Fail(ZbScriptMsg::NotBuilt + std::to_string(op) + "]");
}
