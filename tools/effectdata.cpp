// Writes the water tables, the 17 fade masks and the halation bitmaps into a folder.
// Usage: effectdata <folder>
#include <cstdio>

#include "game/Zbeffectdata.h"
#include "platform/Filenames.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: effectdata <folder>\n");
        return 2;
    }
    if (!PathIsFolder(argv[1])) {
        std::fprintf(stderr, "effectdata: %s is not a folder\n", argv[1]);
        return 1;
    }
    if (!WriteEffectData(argv[1])) {
        std::fprintf(stderr, "effectdata: cannot write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
