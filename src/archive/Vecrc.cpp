#include "archive/Vecrc.h"

#include <array>

namespace {

constexpr std::array<uint16_t, 256> MakeTable()
{
    std::array<uint16_t, 256> table {};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t crc = static_cast<uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
        table[i] = crc;
    }
    return table;
}

constexpr std::array<uint16_t, 256> CrcTable = MakeTable();

}  // namespace

void TCrcCheck::Update(const void* data, size_t size)
{
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    uint16_t crc = FValue;
    for (size_t i = 0; i < size; ++i)
        crc = static_cast<uint16_t>((crc << 8) ^ CrcTable[((crc >> 8) ^ bytes[i]) & 0xFF]);
    FValue = crc;
}

uint16_t TCrcCheck::Calc(const void* data, size_t size)
{
    TCrcCheck crc;
    crc.Update(data, size);
    return crc.Value();
}
