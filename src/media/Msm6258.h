#pragma once
// The OKI 4-bit ADPCM codec: a 12-bit predictor moved by one of 49 step sizes. Each code holds a
// sign bit and three magnitude bits; the step index moves by -1,-1,-1,-1,2,4,6,8 after each code.
// Samples are 16-bit outside the codec: the low four bits are dropped on the way in and zero on
// the way out.

#include <cstdint>

namespace Msm6258 {

struct TAdpcmState {
    int16_t Predictor = 0;  // -2048..2047
    uint8_t StepIndex = 0;  // 0..48
};

int16_t DecodeNibble(TAdpcmState& state, uint8_t code);
// Picks the code that brings the decoder's predictor nearest to sample and advances state the
// way the decoder will, so that encoder and decoder never drift apart.
uint8_t EncodeSample(TAdpcmState& state, int16_t sample);

}  // namespace Msm6258
