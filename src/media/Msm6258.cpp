#include "media/Msm6258.h"

#include <algorithm>

namespace Msm6258 {
namespace {

constexpr int16_t StepTable[49] = {
    16,  17,  19,  21,  23,  25,  28,  31,  34,  37,  41,  45,   50,   55,   60,   66,   73,
    80,  88,  97,  107, 118, 130, 143, 157, 173, 190, 209, 230,  253,  279,  307,  337,  371,
    408, 449, 494, 544, 598, 658, 724, 796, 876, 963, 1060, 1166, 1282, 1411, 1552};

constexpr int8_t IndexAdjust[8] = {-1, -1, -1, -1, 2, 4, 6, 8};

}  // namespace

int16_t DecodeNibble(TAdpcmState& state, uint8_t code)
{
    int step = StepTable[state.StepIndex];
    int diff = step >> 3;
    if (code & 1)
        diff += step >> 2;
    if (code & 2)
        diff += step >> 1;
    if (code & 4)
        diff += step;
    if (code & 8)
        diff = -diff;
    int predictor = std::clamp(state.Predictor + diff, -2048, 2047);
    state.Predictor = static_cast<int16_t>(predictor);
    state.StepIndex = static_cast<uint8_t>(std::clamp(state.StepIndex + IndexAdjust[code & 7], 0, 48));
    return static_cast<int16_t>(predictor * 16);
}

uint8_t EncodeSample(TAdpcmState& state, int16_t sample)
{
    int step = StepTable[state.StepIndex];
    int diff = (sample >> 4) - state.Predictor;
    uint8_t code = 0;
    if (diff < 0) {
        code = 8;
        diff = -diff;
    }
    if (diff >= step) {
        code |= 4;
        diff -= step;
    }
    if (diff >= step >> 1) {
        code |= 2;
        diff -= step >> 1;
    }
    if (diff >= step >> 2)
        code |= 1;
    DecodeNibble(state, code);
    return code;
}

}  // namespace Msm6258
