// Converts a 16-bit PCM WAV file (mono or stereo, 4000..96000 Hz) to the game's ADP1 sound format.
// Usage: adpenc input.wav output.adp

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "media/Veacm.h"

namespace {

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

struct TWave {
    uint16_t Channels = 0;
    uint32_t Rate = 0;
    std::vector<int16_t> Samples;
};

// Walks the RIFF chunks; every size is checked against the bytes that are there.
bool ParseWave(const std::vector<uint8_t>& file, TWave& wave, std::string& error)
{
    if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 || std::memcmp(file.data() + 8, "WAVE", 4) != 0) {
        error = "not a RIFF WAVE file";
        return false;
    }
    bool haveFormat = false;
    uint64_t pos = 12;
    while (pos + 8 <= file.size()) {
        const uint8_t* chunk = file.data() + pos;
        uint64_t size = Le32(chunk + 4);
        uint64_t body = pos + 8;
        uint64_t available = file.size() - body;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16 || size > available) {
                error = "bad format chunk";
                return false;
            }
            uint16_t tag = Le16(chunk + 8);
            wave.Channels = Le16(chunk + 10);
            wave.Rate = Le32(chunk + 12);
            uint16_t bits = Le16(chunk + 22);
            bool pcm = tag == 1 || (tag == 0xFFFE && size >= 40 && Le16(chunk + 32) == 1);
            if (!pcm || bits != 16) {
                error = "only 16-bit PCM is supported";
                return false;
            }
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat) {
                error = "data before the format chunk";
                return false;
            }
            uint64_t bytes = std::min(size, available);  // a cut-short file keeps what it has
            uint64_t frameBytes = uint64_t(wave.Channels) * 2;
            if (frameBytes == 0) {
                error = "no channels";
                return false;
            }
            uint64_t frames = bytes / frameBytes;
            wave.Samples.resize(frames * wave.Channels);
            for (uint64_t i = 0; i < wave.Samples.size(); ++i)
                wave.Samples[i] = static_cast<int16_t>(Le16(file.data() + body + i * 2));
            return true;
        }
        pos = body + size + (size & 1);
    }
    error = "no data chunk";
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s input.wav output.adp\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "%s: cannot open\n", argv[1]);
        return 1;
    }
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    TWave wave;
    std::string error;
    if (!ParseWave(file, wave, error)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], error.c_str());
        return 1;
    }
    uint64_t frames = wave.Channels ? wave.Samples.size() / wave.Channels : 0;
    if (frames == 0 || frames > UINT32_MAX) {
        std::fprintf(stderr, "%s: no samples, or too many\n", argv[1]);
        return 1;
    }
    auto adp = DirectX::EncodeAdp(wave.Samples.data(), static_cast<uint32_t>(frames), wave.Channels, wave.Rate);
    if (adp.empty()) {
        std::fprintf(stderr, "%s: %u channels at %u Hz cannot be stored (1 or 2 channels, %u..%u Hz)\n", argv[1],
                     wave.Channels, wave.Rate, DirectX::AdpMinRate, DirectX::AdpMaxRate);
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary);
    out.write(reinterpret_cast<const char*>(adp.data()), static_cast<std::streamsize>(adp.size()));
    if (!out.flush()) {
        std::fprintf(stderr, "%s: cannot write\n", argv[2]);
        return 1;
    }
    return 0;
}
