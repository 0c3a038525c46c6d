#pragma once
// Which messages the player has seen, across plays. One fixed block that the save file stores
// exactly as it lies; all fields little-endian:
//
//   0   u32  used bytes, this 8-byte header included (8 when empty)
//   4   u32  number of scenario blocks
//   8   ...  scenario blocks, back to back, in the order they were added:
//        0   u32  size of the range list in bytes (4 per range)
//        4   u32  scenario number
//        8   8    the scenario's stamp (taken from its script file)
//        16  ...  ranges: u16 first message, u16 last message (inclusive)
//
// Within a block the ranges are sorted, disjoint and never adjacent, so a fully read scenario
// is one range. A message id holds the scenario in its high 16 bits, the message in the low 16.

#include <cstdint>

class TReadMesTable {
public:
    static constexpr int64_t BufferSize = 0x40000;
    static constexpr int64_t HeaderSize = 8;
    static constexpr int64_t BlockHeaderSize = 16;

    TReadMesTable();
    ~TReadMesTable();
    TReadMesTable(const TReadMesTable&) = delete;
    TReadMesTable& operator=(const TReadMesTable&) = delete;

    // Registers a scenario; a known scenario whose stamp changed forgets what was read in it.
    void SetScenario(int32_t scenario, const uint8_t* stamp);
    void SetRead(uint32_t id);
    bool IsRead(uint32_t id);

    int64_t GetSize() const;
    const uint8_t* GetData() const { return FBuffer; }
    // Replaces the table with a loaded one; a table that is too large or not consistent (see
    // IsValidTable) is refused and the current table stays.
    bool SetData(const void* data, int64_t size);
    // True when data holds a whole table of exactly size bytes below BufferSize: the used count
    // equals size, the blocks fill it exactly, and every range list is sorted, disjoint and
    // never adjacent.
    static bool IsValidTable(const uint8_t* data, int64_t size);

private:
    int64_t FindBlock(int32_t scenario);
    void SetUsed(int64_t used);
    // Opens or closes a gap of delta bytes at offset, moving the rest of the used bytes.
    void Move(int64_t offset, int64_t delta);

    uint8_t* FBuffer = nullptr;
    int32_t FCurScenario = -1;
    int64_t FCurOffset = 0;
};
