// Makes a short MPEG-1 movie of solid colours with a sine tone, for test data and the sample
// game: mkmovie OUT.mpg [-size WxH] [-rate FPS] [-bar] [-silent] [-tone HZ] COLOUR:FRAMES...
// Colours are six hexadecimal digits RRGGBB.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/MovieWriter.h"

namespace {

int Usage()
{
    std::fprintf(stderr,
                 "usage: mkmovie OUT.mpg [-size WxH] [-rate FPS] [-bar] [-silent] [-tone HZ] RRGGBB:FRAMES...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return Usage();
    TMovieClip clip;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-size" && i + 1 < argc) {
            if (std::sscanf(argv[++i], "%dx%d", &clip.Width, &clip.Height) != 2)
                return Usage();
        } else if (arg == "-rate" && i + 1 < argc) {
            clip.FrameRate = std::atoi(argv[++i]);
        } else if (arg == "-tone" && i + 1 < argc) {
            clip.ToneHz = std::atof(argv[++i]);
        } else if (arg == "-bar") {
            clip.MovingBar = true;
        } else if (arg == "-silent") {
            clip.Audio = false;
        } else {
            unsigned colour = 0;
            int frames = 0;
            if (std::sscanf(arg.c_str(), "%6x:%d", &colour, &frames) != 2 || frames < 1 || frames > 100000)
                return Usage();
            clip.Segments.push_back({frames, colour});
        }
    }
    std::string error;
    if (!WriteMovieClip(argv[1], clip, error)) {
        std::fprintf(stderr, "mkmovie: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
