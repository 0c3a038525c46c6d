#pragma once
// Sound fixtures shared by the media tests: tones, ADP1 files in memory, levels.

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "media/Veacm.h"
#include "platform/Streams.h"

namespace SoundTest {

// Interleaved tone: channel c has frequency freqs[c].
inline std::vector<int16_t> Tone(uint32_t frames, uint32_t rate, std::vector<double> freqs, double amplitude)
{
    std::vector<int16_t> out(size_t(frames) * freqs.size());
    for (uint32_t i = 0; i < frames; ++i)
        for (size_t c = 0; c < freqs.size(); ++c)
            out[i * freqs.size() + c] =
                static_cast<int16_t>(std::lround(amplitude * std::sin(2 * M_PI * freqs[c] * i / rate)));
    return out;
}

inline std::unique_ptr<TMemoryStream> MemoryOf(const std::vector<uint8_t>& bytes)
{
    auto stream = std::make_unique<TMemoryStream>();
    stream->Write(bytes.data(), static_cast<int64_t>(bytes.size()));
    stream->SetPosition(0);
    return stream;
}

// Every device frame of an ADP1 file, decoded on its own.
inline std::vector<int16_t> DecodeAll(const std::vector<uint8_t>& bytes)
{
    auto stream = MemoryOf(bytes);
    DirectX::TAdpReader reader;
    std::vector<int16_t> out;
    if (!reader.Open(stream.get()))
        return out;
    int16_t block[2048];
    while (int n = reader.Read(block, 1024))
        out.insert(out.end(), block, block + n * 2);
    return out;
}

// Root mean square of one channel of interleaved stereo, from frame first on.
inline double Rms(const std::vector<int16_t>& stereo, int channel, size_t first = 0, size_t last = SIZE_MAX)
{
    last = std::min(last, stereo.size() / 2);
    double sum = 0;
    for (size_t i = first; i < last; ++i)
        sum += double(stereo[i * 2 + channel]) * stereo[i * 2 + channel];
    return last > first ? std::sqrt(sum / double(last - first)) : 0;
}

// Frequency from upward zero crossings of one channel.
inline double Frequency(const std::vector<int16_t>& stereo, int channel, double rate)
{
    size_t frames = stereo.size() / 2;
    int crossings = 0;
    size_t firstCross = 0, lastCross = 0;
    for (size_t i = 1; i < frames; ++i)
        if (stereo[(i - 1) * 2 + channel] < 0 && stereo[i * 2 + channel] >= 0) {
            if (crossings == 0)
                firstCross = i;
            lastCross = i;
            ++crossings;
        }
    return crossings > 1 ? (crossings - 1) * rate / double(lastCross - firstCross) : 0;
}

}  // namespace SoundTest
