#include "base/Verandom.h"

TRandom::TRandom()
{
    uint32_t seed = 0x2F6B3A91u;
    for (uint16_t& word : FState) {
        seed = seed * 1103515245u + 12345u;
        word = static_cast<uint16_t>(seed >> 16);
    }
    FState[0] |= 1;  // at least one odd word, so the sequence has its full period
}

uint16_t TRandom::Rnd()
{
    uint16_t value = static_cast<uint16_t>(FState[FJ] + FState[FK]);
    FState[FK] = value;
    FJ = FJ == 0 ? 54 : FJ - 1;
    FK = FK == 0 ? 54 : FK - 1;
    return value;
}

int TRandom::Random(int n)
{
    if (n < 1)
        return -1;
    // Rejection sampling keeps every value equally likely, also for n that do not divide 2^16.
    if (n <= 65536) {
        uint32_t range = static_cast<uint32_t>(n);
        uint32_t limit = 65536u - 65536u % range;
        uint32_t value;
        do {
            value = Rnd();
        } while (value >= limit);
        return static_cast<int>(value % range);
    }
    uint64_t range = static_cast<uint64_t>(n);
    uint64_t limit = (1ull << 32) - (1ull << 32) % range;
    uint64_t value;
    do {
        value = (static_cast<uint64_t>(Rnd()) << 16) | Rnd();
    } while (value >= limit);
    return static_cast<int>(value % range);
}
