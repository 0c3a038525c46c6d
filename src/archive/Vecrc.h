#pragma once
// CRC-16 used by the archive format: CRC-16/CCITT-FALSE (also catalogued as CRC-16/IBM-3740):
// polynomial 0x1021, initial value 0xFFFF, bits not reflected, no final xor.
// The check value of the nine bytes "123456789" is 0x29B1.

#include <cstddef>
#include <cstdint>

class TCrcCheck {
public:
    void Reset() { FValue = 0xFFFF; }
    void Update(const void* data, size_t size);
    uint16_t Value() const { return FValue; }

    static uint16_t Calc(const void* data, size_t size);

private:
    uint16_t FValue = 0xFFFF;
};
