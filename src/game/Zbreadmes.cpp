#include "game/Zbreadmes.h"

#include <cstring>

#include "game/Zbdata.h"
#include "game/Zbdef.h"
#include "platform/Winapi.h"

namespace {

uint32_t Get32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void Put32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

int Get16(const uint8_t* p)
{
    return p[0] | (p[1] << 8);
}

void Put16(uint8_t* p, int v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void LogOver()
{
    if (ErrLog)
        ErrLog->Add(ReadMesTableOverMessage);
}

}  // namespace

TReadMesTable::TReadMesTable()
{
    FBuffer = static_cast<uint8_t*>(GlobalAllocZeroed(BufferSize));
    if (FBuffer)
        SetUsed(HeaderSize);
}

TReadMesTable::~TReadMesTable()
{
    GlobalFreeBlock(FBuffer);
}

int64_t TReadMesTable::GetSize() const
{
    return FBuffer ? Get32(FBuffer) : 0;
}

void TReadMesTable::SetUsed(int64_t used)
{
    Put32(FBuffer, static_cast<uint32_t>(used));
}

void TReadMesTable::Move(int64_t offset, int64_t delta)
{
    int64_t used = GetSize();
    if (delta > 0)
        std::memmove(FBuffer + offset + delta, FBuffer + offset, static_cast<size_t>(used - offset));
    else
        std::memmove(FBuffer + offset, FBuffer + offset - delta, static_cast<size_t>(used - offset + delta));
    SetUsed(used + delta);
}

int64_t TReadMesTable::FindBlock(int32_t scenario)
{
    if (!FBuffer)
        return -1;
    if (FCurScenario >= 0 && scenario == FCurScenario)
        return FCurOffset;
    FCurScenario = -1;
    int64_t used = GetSize();
    uint32_t count = Get32(FBuffer + 4);
    int64_t offset = HeaderSize;
    // The table is kept consistent, but the walk still stays inside the used bytes.
    for (uint32_t i = 0; i < count && offset + BlockHeaderSize <= used; ++i) {
        if (static_cast<int32_t>(Get32(FBuffer + offset + 4)) == scenario) {
            FCurScenario = scenario;
            FCurOffset = offset;
            return offset;
        }
        offset += BlockHeaderSize + Get32(FBuffer + offset);
    }
    return -1;
}

void TReadMesTable::SetScenario(int32_t scenario, const uint8_t* stamp)
{
    if (!FBuffer || !stamp)
        return;
    int64_t block = FindBlock(scenario);
    if (block >= 0) {
        if (std::memcmp(FBuffer + block + 8, stamp, 8) == 0)
            return;
        int64_t listSize = Get32(FBuffer + block);
        if (listSize > 0)
            Move(block + BlockHeaderSize, -listSize);
        Put32(FBuffer + block, 0);
        std::memcpy(FBuffer + block + 8, stamp, 8);
        return;
    }
    int64_t used = GetSize();
    if (used + BlockHeaderSize >= BufferSize) {
        LogOver();
        return;
    }
    uint8_t* p = FBuffer + used;
    Put32(p, 0);
    Put32(p + 4, static_cast<uint32_t>(scenario));
    std::memcpy(p + 8, stamp, 8);
    SetUsed(used + BlockHeaderSize);
    Put32(FBuffer + 4, Get32(FBuffer + 4) + 1);
}

void TReadMesTable::SetRead(uint32_t id)
{
    int64_t block = FindBlock(static_cast<int32_t>(id >> 16));
    if (block < 0)
        return;
    // In int, so that last + 1 of message 65535 is 65536 and never wraps to 0.
    const int x = static_cast<int>(id & 0xFFFF);
    int64_t listSize = Get32(FBuffer + block);
    uint8_t* ranges = FBuffer + block + BlockHeaderSize;
    int64_t count = listSize / 4;
    int64_t insertAt = count;
    for (int64_t i = 0; i < count; ++i) {
        uint8_t* range = ranges + i * 4;
        int first = Get16(range);
        int last = Get16(range + 2);
        if (x >= first && x <= last)
            return;
        if (x == last + 1) {
            Put16(range + 2, x);
            if (i + 1 < count && Get16(range + 4) == x + 1) {
                Put16(range + 2, Get16(range + 6));
                Move(block + BlockHeaderSize + (i + 1) * 4, -4);
                Put32(FBuffer + block, static_cast<uint32_t>(listSize - 4));
            }
            return;
        }
        if (first > 0 && x == first - 1) {
            Put16(range, x);
            return;
        }
        if (x < first) {
            insertAt = i;
            break;
        }
    }
    if (GetSize() + 4 >= BufferSize) {
        LogOver();
        return;
    }
    int64_t offset = block + BlockHeaderSize + insertAt * 4;
    Move(offset, 4);
    Put16(FBuffer + offset, x);
    Put16(FBuffer + offset + 2, x);
    Put32(FBuffer + block, static_cast<uint32_t>(listSize + 4));
}

bool TReadMesTable::IsRead(uint32_t id)
{
    int64_t block = FindBlock(static_cast<int32_t>(id >> 16));
    if (block < 0)
        return false;
    const int x = static_cast<int>(id & 0xFFFF);
    int64_t count = Get32(FBuffer + block) / 4;
    const uint8_t* ranges = FBuffer + block + BlockHeaderSize;
    for (int64_t i = 0; i < count; ++i) {
        if (Get16(ranges + i * 4) > x)
            return false;
        if (x <= Get16(ranges + i * 4 + 2))
            return true;
    }
    return false;
}

bool TReadMesTable::IsValidTable(const uint8_t* data, int64_t size)
{
    if (!data || size < HeaderSize || size >= BufferSize || Get32(data) != static_cast<uint64_t>(size))
        return false;
    uint32_t count = Get32(data + 4);
    int64_t offset = HeaderSize;
    for (uint32_t i = 0; i < count; ++i) {
        if (offset + BlockHeaderSize > size)
            return false;
        int64_t listSize = Get32(data + offset);
        if (listSize % 4 != 0 || offset + BlockHeaderSize + listSize > size)
            return false;
        const uint8_t* ranges = data + offset + BlockHeaderSize;
        int previousLast = -2;
        for (int64_t r = 0; r < listSize / 4; ++r) {
            int first = Get16(ranges + r * 4);
            int last = Get16(ranges + r * 4 + 2);
            if (first > last || first <= previousLast + 1)
                return false;
            previousLast = last;
        }
        offset += BlockHeaderSize + listSize;
    }
    return offset == size;
}

bool TReadMesTable::SetData(const void* data, int64_t size)
{
    if (!FBuffer || !IsValidTable(static_cast<const uint8_t*>(data), size))
        return false;
    std::memcpy(FBuffer, data, static_cast<size_t>(size));
    FCurScenario = -1;
    FCurOffset = 0;
    return true;
}
