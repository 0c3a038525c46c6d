#pragma once
// The game's random generator: a 16-bit additive lagged-Fibonacci generator,
// x[n] = x[n-24] + x[n-55] mod 65536, its 55 words seeded by a fixed linear congruential
// sequence (the game makes each run differ by stepping it a time-dependent number of times).

#include <cstdint>

class TRandom {
public:
    TRandom();
    // One step: the raw 16-bit value.
    uint16_t Rnd();
    // A uniform value 0..n-1; -1 when n < 1. Values above 65536 draw two steps.
    int Random(int n);

private:
    uint16_t FState[55];
    int FJ = 23;  // index of x[n-24]
    int FK = 54;  // index of x[n-55]
};
