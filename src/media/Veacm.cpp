#include "media/Veacm.h"

#include <algorithm>
#include <cstring>

#include "platform/Audio.h"

namespace DirectX {
namespace {

constexpr uint64_t FracOne = uint64_t(1) << 32;
constexpr size_t BlockBytes = 4096;

uint32_t GetLE32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t GetLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

void PutLE32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutLE16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

uint64_t BytesForFrames(uint64_t frames, uint16_t channels) { return (frames * channels + 1) / 2; }

}  // namespace

std::vector<uint8_t> EncodeAdp(const int16_t* samples, uint32_t frames, uint16_t channels, uint32_t sampleRate)
{
    std::vector<uint8_t> out;
    if (channels < 1 || channels > 2 || sampleRate < AdpMinRate || sampleRate > AdpMaxRate)
        return out;
    uint64_t dataSize = BytesForFrames(frames, channels);
    if (dataSize > UINT32_MAX)
        return out;
    out.reserve(AdpHeaderSize + dataSize);
    out.insert(out.end(), {'A', 'D', 'P', '1'});
    PutLE32(out, sampleRate);
    PutLE16(out, channels);
    PutLE16(out, 0);
    PutLE32(out, frames);
    PutLE32(out, static_cast<uint32_t>(dataSize));
    Msm6258::TAdpcmState state[2];
    uint64_t count = uint64_t(frames) * channels;
    for (uint64_t i = 0; i < count; i += 2) {
        uint8_t high = Msm6258::EncodeSample(state[0], samples[i]);
        uint8_t low = 0;
        if (i + 1 < count)
            low = Msm6258::EncodeSample(state[channels == 2 ? 1 : 0], samples[i + 1]);
        out.push_back(static_cast<uint8_t>(high << 4 | low));
    }
    return out;
}

bool TAdpReader::Open(TStream* stream, std::string* failure)
{
    *this = TAdpReader();
    auto fail = [failure](const std::string& why) {
        if (failure)
            *failure = why;
        return false;
    };
    if (stream == nullptr)
        return fail("no stream");
    uint8_t raw[AdpHeaderSize];
    const int64_t start = stream->GetPosition();
    const int64_t size = stream->GetSize();
    if (start < 0 || size <= start)
        return fail("empty");
    const int64_t got = stream->Read(raw, AdpHeaderSize);
    if (got < 0)
        return fail("cannot be read");
    if (std::memcmp(raw, "ADP1", size_t(std::min<int64_t>(got, 4))) != 0)
        return fail("not ADP1 sound");
    if (got != AdpHeaderSize)
        return fail("cut short: " + std::to_string(got) + " bytes, less than the " + std::to_string(AdpHeaderSize) +
                    "-byte header");
    TAdpHeader header;
    header.SampleRate = GetLE32(raw + 4);
    header.Channels = GetLE16(raw + 8);
    header.FrameCount = GetLE32(raw + 12);
    header.DataSize = GetLE32(raw + 16);
    if (header.Channels < 1 || header.Channels > 2)
        return fail(std::to_string(header.Channels) + " channels, not 1 or 2");
    if (header.SampleRate < AdpMinRate || header.SampleRate > AdpMaxRate)
        return fail("a sample rate of " + std::to_string(header.SampleRate) + " Hz, outside " +
                    std::to_string(AdpMinRate) + " to " + std::to_string(AdpMaxRate));
    // Trust neither the data size nor the frame count beyond the bytes that are really there.
    uint64_t present = size > start + AdpHeaderSize ? uint64_t(size - start - AdpHeaderSize) : 0;
    uint64_t dataSize = std::min<uint64_t>(header.DataSize, present);
    uint64_t frames = std::min<uint64_t>(header.FrameCount, dataSize * 2 / header.Channels);
    if (frames == 0) {
        if (header.FrameCount == 0 || header.DataSize == 0)
            return fail("no sound: the header counts no frames or no data");
        return fail("cut short: no sound data after the header");
    }
    header.FrameCount = static_cast<uint32_t>(frames);
    header.DataSize = static_cast<uint32_t>(dataSize);
    FStream = stream;
    FDataStart = start + AdpHeaderSize;
    FHeader = header;
    FStep = (uint64_t(header.SampleRate) << 32) / Audio::DeviceRate;
    return true;
}

bool TAdpReader::Rewind()
{
    if (FStream == nullptr)
        return false;
    if (FStream->Seek(FDataStart, soBeginning) != FDataStart)
        return false;
    FState[0] = FState[1] = Msm6258::TAdpcmState();
    FBytesRead = FFramesDecoded = 0;
    FSourcePos = FSourceCount = 0;
    FSourceEnded = FStarted = FEnded = FHaveNext = false;
    FFrac = 0;
    return true;
}

uint64_t TAdpReader::DeviceFrames() const
{
    if (FHeader.FrameCount == 0)
        return 0;
    unsigned __int128 span = static_cast<unsigned __int128>(FHeader.FrameCount - 1) << 32;
    return static_cast<uint64_t>(span / FStep) + 1;
}

bool TAdpReader::DecodeBlock()
{
    uint64_t framesLeft = FHeader.FrameCount - FFramesDecoded;
    uint64_t bytesLeft = std::min<uint64_t>(FHeader.DataSize - FBytesRead, BytesForFrames(framesLeft, FHeader.Channels) + 1);
    size_t want = static_cast<size_t>(std::min<uint64_t>(bytesLeft, BlockBytes));
    if (want == 0 || framesLeft == 0)
        return false;
    FBytes.resize(BlockBytes);
    int64_t got = 0;
    try {
        got = FStream->Read(FBytes.data(), static_cast<int64_t>(want));
    } catch (const Exception&) {
        got = 0;
    }
    if (got <= 0)
        return false;
    FBytesRead += static_cast<uint64_t>(got);
    FSource.resize(BlockBytes * 4);
    size_t frames = 0;
    if (FHeader.Channels == 1) {
        for (int64_t i = 0; i < got; ++i) {
            int16_t a = Msm6258::DecodeNibble(FState[0], FBytes[i] >> 4);
            int16_t b = Msm6258::DecodeNibble(FState[0], FBytes[i] & 15);
            FSource[frames * 2] = FSource[frames * 2 + 1] = a;
            FSource[frames * 2 + 2] = FSource[frames * 2 + 3] = b;
            frames += 2;
        }
    } else {
        for (int64_t i = 0; i < got; ++i) {
            FSource[frames * 2] = Msm6258::DecodeNibble(FState[0], FBytes[i] >> 4);
            FSource[frames * 2 + 1] = Msm6258::DecodeNibble(FState[1], FBytes[i] & 15);
            ++frames;
        }
    }
    frames = static_cast<size_t>(std::min<uint64_t>(frames, framesLeft));
    FFramesDecoded += frames;
    FSourcePos = 0;
    FSourceCount = frames;
    return frames > 0;
}

bool TAdpReader::PullFrame(int16_t* frame)
{
    if (FSourcePos == FSourceCount) {
        if (FSourceEnded || !DecodeBlock()) {
            FSourceEnded = true;
            return false;
        }
    }
    frame[0] = FSource[FSourcePos * 2];
    frame[1] = FSource[FSourcePos * 2 + 1];
    ++FSourcePos;
    return true;
}

int TAdpReader::Read(int16_t* out, int frames)
{
    if (FStream == nullptr || frames <= 0)
        return 0;
    if (!FStarted) {
        FStarted = true;
        if (!PullFrame(FPrev))
            FEnded = true;
        if (!FEnded)
            FHaveNext = PullFrame(FNext);
        FFrac = 0;
    }
    int done = 0;
    while (done < frames && !FEnded) {
        while (FFrac >= FracOne) {
            if (!FHaveNext) {
                FEnded = true;
                break;
            }
            FPrev[0] = FNext[0];
            FPrev[1] = FNext[1];
            FFrac -= FracOne;
            FHaveNext = PullFrame(FNext);
        }
        if (FEnded || (!FHaveNext && FFrac != 0)) {
            FEnded = true;
            break;
        }
        if (FFrac == 0) {
            out[done * 2] = FPrev[0];
            out[done * 2 + 1] = FPrev[1];
        } else {
            int64_t t = static_cast<int64_t>(FFrac >> 16);  // 16-bit fraction
            for (int c = 0; c < 2; ++c)
                out[done * 2 + c] = static_cast<int16_t>(FPrev[c] + (((FNext[c] - FPrev[c]) * t) >> 16));
        }
        FFrac += FStep;
        ++done;
    }
    return done;
}

}  // namespace DirectX
