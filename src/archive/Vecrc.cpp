#include "archive/Vecrc.h"

#include <array>

namespace {

// Table k gives the register after a byte followed by k zero bytes, so eight bytes fold into
// the register with eight independent look-ups (members are checked whenever they are read).
using TCrcTables = std::array<std::array<uint16_t, 256>, 8>;

constexpr TCrcTables MakeTables()
{
    TCrcTables tables {};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t crc = static_cast<uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
        tables[0][i] = crc;
    }
    for (size_t k = 1; k < tables.size(); ++k)
        for (unsigned i = 0; i < 256; ++i) {
            uint16_t previous = tables[k - 1][i];
            tables[k][i] = static_cast<uint16_t>((previous << 8) ^ tables[0][previous >> 8]);
        }
    return tables;
}

constexpr TCrcTables CrcTables = MakeTables();

}  // namespace

void TCrcCheck::Update(const void* data, size_t size)
{
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    const auto& t = CrcTables;
    uint16_t crc = FValue;
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        const uint8_t* b = bytes + i;
        crc = static_cast<uint16_t>(t[7][b[0] ^ (crc >> 8)] ^ t[6][b[1] ^ (crc & 0xFF)] ^ t[5][b[2]] ^ t[4][b[3]] ^
                                    t[3][b[4]] ^ t[2][b[5]] ^ t[1][b[6]] ^ t[0][b[7]]);
    }
    for (; i < size; ++i)
        crc = static_cast<uint16_t>((crc << 8) ^ t[0][((crc >> 8) ^ bytes[i]) & 0xFF]);
    FValue = crc;
}

uint16_t TCrcCheck::Calc(const void* data, size_t size)
{
    TCrcCheck crc;
    crc.Update(data, size);
    return crc.Value();
}
