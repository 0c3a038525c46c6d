#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/Movie.h"

// The input is written to a file and played to its end with the sound drained as fast as it
// comes and the clock running 40 ms per poll, so every picture and sound frame passes through
// the queue, the ring and the converters.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The decoder reads from a file; it goes when the fuzzer ends (an exit at its time limit).
    struct TScratchFile {
        std::string Path = "/tmp/fuzz_movie_" + std::to_string(::getpid()) + ".mpg";
        ~TScratchFile() { std::remove(Path.c_str()); }
    };
    static const TScratchFile scratch;
    const std::string& path = scratch.Path;
    if (FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    } else {
        return 0;
    }
    TMovieDecoder decoder;
    int64_t now = 0;
    decoder.SetClock([&] { return now; });
    const int bpp = (size & 1) ? 3 : 4;
    if (!decoder.Open(path) || !decoder.Start(64, 48, bpp, true))
        return 0;
    std::vector<uint8_t> pixels(64 * 48 * 4);
    TPixelTarget target{pixels.data(), 64 * bpp, 64, 48, bpp};
    int16_t pcm[1024 * 2];
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < deadline) {
        now += 40;
        decoder.ReadAudio(pcm, 1024);
        if (decoder.Update(target).Ended)
            break;
    }
    return 0;
}
