#pragma once
// ADP1, the game's compressed sound format, and its decoder to the device format.
//
// Bytes (all integers little-endian):
//   0  4  magic "ADP1"
//   4  4  sample rate in Hz (4000..96000)
//   8  2  channels (1 or 2)
//  10  2  reserved, 0
//  12  4  frame count: samples per channel
//  16  4  data size in bytes (at least ceil(frames * channels / 2))
//  20     data: 4-bit OKI ADPCM codes (see Msm6258.h), high nibble first. Mono: two samples per
//         byte. Stereo: one frame per byte, left in the high nibble, right in the low nibble;
//         each channel has its own codec state. Every channel starts at predictor 0, step 0.
//
// A file shorter than its header claims plays what is there. The decoder converts to the device's
// 44100 Hz stereo by linear interpolation between neighbouring source frames (cheap, and the
// codec's own noise floor hides its faint aliasing); mono is copied to both sides.

#include <cstdint>
#include <string>
#include <vector>

#include "media/Msm6258.h"
#include "platform/Streams.h"

namespace DirectX {

constexpr int AdpHeaderSize = 20;
constexpr uint32_t AdpMinRate = 4000;
constexpr uint32_t AdpMaxRate = 96000;

struct TAdpHeader {
    uint32_t SampleRate = 0;
    uint16_t Channels = 0;
    uint32_t FrameCount = 0;
    uint32_t DataSize = 0;
};

// Encodes interleaved 16-bit samples (frames * channels of them) as a whole ADP1 file. Empty
// when the arguments are out of the format's range.
std::vector<uint8_t> EncodeAdp(const int16_t* samples, uint32_t frames, uint16_t channels, uint32_t sampleRate);

// Streaming decoder of one ADP1 file to device frames (44100 Hz, stereo, 16-bit).
class TAdpReader {
public:
    // Reads and checks the header at the stream's current position; false when the data is not
    // ADP1 or holds no frame, with why in failure when given ("empty", "cut short: ..."). The
    // frame count is cut down to the bytes the stream really holds.
    bool Open(TStream* stream, std::string* failure = nullptr);
    const TAdpHeader& Header() const { return FHeader; }
    // Back to the first frame, with fresh codec state; false when the stream cannot seek.
    bool Rewind();
    // Decodes up to frames device frames into out (2 * frames samples). Returns fewer only at the
    // end of the data (or when the stream stops giving bytes).
    int Read(int16_t* out, int frames);
    // The number of device frames Read gives from the start to the end.
    uint64_t DeviceFrames() const;

private:
    bool PullFrame(int16_t* frame);
    bool DecodeBlock();

    TStream* FStream = nullptr;
    int64_t FDataStart = 0;
    TAdpHeader FHeader;
    uint64_t FStep = 0;  // source frames per device frame, 32.32 fixed point

    Msm6258::TAdpcmState FState[2];
    uint64_t FBytesRead = 0;
    uint64_t FFramesDecoded = 0;
    std::vector<uint8_t> FBytes;
    std::vector<int16_t> FSource;  // decoded source frames, stereo
    size_t FSourcePos = 0;
    size_t FSourceCount = 0;
    bool FSourceEnded = false;

    bool FStarted = false;
    bool FEnded = false;
    bool FHaveNext = false;
    uint64_t FFrac = 0;
    int16_t FPrev[2] = {0, 0};
    int16_t FNext[2] = {0, 0};
};

}  // namespace DirectX
