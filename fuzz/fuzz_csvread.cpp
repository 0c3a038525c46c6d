// The CSV reader on arbitrary bytes: it must never crash, and a table it accepts must answer
// every lookup inside and around it.
#include <cstdint>
#include <cstdlib>

#include "base/Vecsvread.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TMemoryStream stream;
    stream.Write(data, static_cast<int64_t>(size));
    stream.SetPosition(0);
    TVeCsvRead csv;
    if (!csv.Read(&stream))
        return 0;
    if (csv.GetSizeX() < 0 || csv.GetSizeY() < 0)
        std::abort();
    int64_t sum = 0;
    for (int y = -1; y <= csv.GetSizeY(); ++y)
        for (int x = -1; x <= csv.GetSizeX(); ++x)
            sum += csv.GetValue(x, y);
    (void)sum;
    if (csv.GetValue(csv.GetSizeX(), 0) != 0 || csv.GetValue(0, csv.GetSizeY()) != 0)
        std::abort();
    return 0;
}
