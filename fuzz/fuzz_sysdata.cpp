// Feeds arbitrary bytes to the system save loader. A refused input must leave the records as
// they were; an accepted one must give a table that stays usable and saves back unchanged.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "archive/Verange.h"
#include "game/Zbdata.h"
#include "game/Zbreadmes.h"
#include "game/Zbsysfile.h"

namespace {

std::vector<uint8_t> Snapshot()
{
    std::vector<uint8_t> bytes(72);
    StoreSysData(*SysData, bytes.data());
    bytes.insert(bytes.end(), ReadMesTable->GetData(), ReadMesTable->GetData() + ReadMesTable->GetSize());
    return bytes;
}

}  // namespace

// With a first byte of 'R' the rest is taken as the raw body and coded into a well-formed file,
// so that the table checks are reached without the fuzzer having to find a valid coded stream.
std::vector<uint8_t> FileFromRaw(const uint8_t* raw, size_t size)
{
    std::vector<uint8_t> file = {'Z', 'B', '0', '1'};
    for (int i = 0; i < 4; ++i)
        file.push_back(static_cast<uint8_t>(size >> (8 * i)));
    std::vector<uint8_t> coded(size * 2 + 64);
    TRangeEncode encoder;
    if (!encoder.CreateBuffer() ||
        !encoder.Encode(raw, coded.data(), static_cast<int64_t>(coded.size()), static_cast<int64_t>(size)))
        std::abort();
    file.insert(file.end(), coded.begin(), coded.begin() + encoder.OutCount);
    return file;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t inputSize)
{
    std::vector<uint8_t> made;
    const uint8_t* data = input;
    size_t size = inputSize;
    if (inputSize > 0 && input[0] == 'R') {
        made = FileFromRaw(input + 1, inputSize - 1);
        data = made.data();
        size = made.size();
    }
    ZbdataStart();
    std::vector<uint8_t> before = Snapshot();
    if (!LoadSysDataImage(data, size)) {
        if (Snapshot() != before)
            std::abort();
        ZbdataFinish();
        return 0;
    }
    if (!TReadMesTable::IsValidTable(ReadMesTable->GetData(), ReadMesTable->GetSize()))
        std::abort();
    std::vector<uint8_t> loaded = Snapshot();
    std::vector<uint8_t> image;
    if (!BuildSysDataImage(image) || !LoadSysDataImage(image.data(), image.size()) || Snapshot() != loaded)
        std::abort();
    // Edit the loaded table with ids taken from the input.
    for (size_t i = 0; i + 4 <= inputSize && i < 64; i += 4) {
        uint32_t id = uint32_t(input[i]) | (uint32_t(input[i + 1]) << 8) | (uint32_t(input[i + 2]) << 16) |
                      (uint32_t(input[i + 3]) << 24);
        ReadMesTable->SetRead(id);
        ReadMesTable->IsRead(id + 1);
    }
    if (!TReadMesTable::IsValidTable(ReadMesTable->GetData(), ReadMesTable->GetSize()))
        std::abort();
    ZbdataFinish();
    return 0;
}
