#include <gtest/gtest.h>

#include <cstring>

#include "SoundTestHelpers.h"
#include "media/Veacm.h"

using namespace SoundTest;
using DirectX::TAdpReader;

namespace {

double SnrDb(const std::vector<int16_t>& reference, const std::vector<int16_t>& decoded, int refChannels,
             int channel)
{
    double signal = 0, noise = 0;
    size_t frames = std::min(reference.size() / refChannels, decoded.size() / 2);
    for (size_t i = 0; i < frames; ++i) {
        double x = reference[i * refChannels + channel];
        double e = x - decoded[i * 2 + channel];
        signal += x * x;
        noise += e * e;
    }
    return 10 * std::log10(signal / std::max(noise, 1.0));
}

std::vector<uint8_t> Header(uint32_t rate, uint16_t channels, uint32_t frames, uint32_t dataSize)
{
    std::vector<uint8_t> h = {'A', 'D', 'P', '1'};
    auto put = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            h.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    put(rate, 4);
    put(channels, 2);
    put(0, 2);
    put(frames, 4);
    put(dataSize, 4);
    return h;
}

}  // namespace

TEST(Adpcm, MonoSineKeepsFrequencyAndLevel)
{
    auto pcm = Tone(44100, 44100, {440.0}, 16000);
    auto adp = DirectX::EncodeAdp(pcm.data(), 44100, 1, 44100);
    ASSERT_EQ(adp.size(), size_t(DirectX::AdpHeaderSize + 22050));
    auto out = DecodeAll(adp);
    ASSERT_EQ(out.size(), size_t(44100 * 2));
    EXPECT_GT(SnrDb(pcm, out, 1, 0), 20.0);
    EXPECT_NEAR(Frequency(out, 0, 44100), 440.0, 1.0);
    EXPECT_NEAR(Rms(out, 0), 16000 / std::sqrt(2.0), 16000 * 0.05);
    for (size_t i = 0; i < out.size(); i += 2)
        ASSERT_EQ(out[i], out[i + 1]) << "mono goes to both sides, frame " << i / 2;
}

TEST(Adpcm, StereoAtHalfRateIsResampledWithChannelsKeptApart)
{
    const uint32_t frames = 22050;
    auto pcm = Tone(frames, 22050, {300.0, 1000.0}, 12000);
    auto adp = DirectX::EncodeAdp(pcm.data(), frames, 2, 22050);
    auto stream = MemoryOf(adp);
    TAdpReader reader;
    ASSERT_TRUE(reader.Open(stream.get()));
    EXPECT_EQ(reader.DeviceFrames(), uint64_t(2 * frames - 1));
    auto out = DecodeAll(adp);
    ASSERT_EQ(out.size() / 2, size_t(2 * frames - 1));
    EXPECT_NEAR(Frequency(out, 0, 44100), 300.0, 1.0);
    EXPECT_NEAR(Frequency(out, 1, 44100), 1000.0, 2.0);
    auto ideal = Tone(2 * frames - 1, 44100, {300.0, 1000.0}, 12000);
    EXPECT_GT(SnrDb(ideal, out, 2, 0), 20.0);
    EXPECT_GT(SnrDb(ideal, out, 2, 1), 20.0);
    // Rewinding replays the very same frames.
    ASSERT_TRUE(reader.Rewind());
    std::vector<int16_t> again(out.size());
    ASSERT_EQ(reader.Read(again.data(), int(out.size() / 2)), int(out.size() / 2));
    EXPECT_EQ(again, out);
    int16_t extra[2];
    EXPECT_EQ(reader.Read(extra, 1), 0);
}

TEST(Adpcm, OddRatesGiveTheRightLengthAndPitch)
{
    const uint32_t frames = 8000;
    auto pcm = Tone(frames, 8000, {500.0}, 10000);
    auto out = DecodeAll(DirectX::EncodeAdp(pcm.data(), frames, 1, 8000));
    // t = k * 8000/44100 source frames, up to the last source frame.
    EXPECT_NEAR(double(out.size() / 2), (frames - 1) * 44100.0 / 8000 + 1, 1.0);
    EXPECT_NEAR(Frequency(out, 0, 44100), 500.0, 2.0);
    const uint32_t highFrames = 48000;
    auto high = Tone(highFrames, 48000, {1000.0}, 10000);
    auto down = DecodeAll(DirectX::EncodeAdp(high.data(), highFrames, 1, 48000));
    EXPECT_NEAR(double(down.size() / 2), (highFrames - 1) * 44100.0 / 48000 + 1, 1.0);
    EXPECT_NEAR(Frequency(down, 0, 44100), 1000.0, 2.0);
}

TEST(Adpcm, HostileHeadersFailAndShortDataPlaysWhatIsThere)
{
    std::vector<uint8_t> data(100, 0x17);
    auto opens = [](std::vector<uint8_t> bytes, TAdpReader& reader) {
        auto stream = MemoryOf(bytes);
        return reader.Open(stream.get());
    };
    TAdpReader reader;
    auto with = [&](std::vector<uint8_t> header) {
        header.insert(header.end(), data.begin(), data.end());
        return header;
    };
    EXPECT_FALSE(opens(with(Header(0, 1, 200, 100)), reader));
    EXPECT_FALSE(opens(with(Header(3999, 1, 200, 100)), reader));
    EXPECT_FALSE(opens(with(Header(0xFFFFFFFF, 1, 200, 100)), reader));
    EXPECT_FALSE(opens(with(Header(8000, 0, 200, 100)), reader));
    EXPECT_FALSE(opens(with(Header(8000, 3, 200, 100)), reader));
    EXPECT_FALSE(opens(with(Header(8000, 1, 0, 100)), reader));
    EXPECT_FALSE(opens(with(Header(8000, 1, 200, 0)), reader));
    EXPECT_FALSE(opens(Header(8000, 1, 200, 100), reader)) << "header without data";
    auto badMagic = with(Header(8000, 1, 200, 100));
    badMagic[3] = '2';
    EXPECT_FALSE(opens(badMagic, reader));
    auto shortHeader = Header(8000, 1, 200, 100);
    shortHeader.resize(12);
    EXPECT_FALSE(opens(shortHeader, reader));
    EXPECT_FALSE(reader.Open(nullptr));

    // Counts past the data are cut down to the bytes present.
    ASSERT_TRUE(opens(with(Header(44100, 1, 0xFFFFFFFF, 0xFFFFFFFF)), reader));
    EXPECT_EQ(reader.Header().FrameCount, 200u);
    EXPECT_EQ(DecodeAll(with(Header(44100, 1, 0xFFFFFFFF, 0xFFFFFFFF))).size(), size_t(200 * 2));
    EXPECT_EQ(DecodeAll(with(Header(44100, 2, 0xFFFFFFFF, 60))).size(), size_t(60 * 2));
    EXPECT_EQ(DecodeAll(with(Header(44100, 1, 7, 100))).size(), size_t(7 * 2));
}

TEST(Adpcm, EncoderRefusesWhatTheFormatCannotHold)
{
    int16_t samples[4] = {};
    EXPECT_TRUE(DirectX::EncodeAdp(samples, 2, 0, 8000).empty());
    EXPECT_TRUE(DirectX::EncodeAdp(samples, 2, 3, 8000).empty());
    EXPECT_TRUE(DirectX::EncodeAdp(samples, 2, 1, 100).empty());
    EXPECT_TRUE(DirectX::EncodeAdp(samples, 2, 1, 200000).empty());
    // An odd number of mono samples pads the last byte; the pad is not played.
    int16_t three[3] = {1000, 2000, 3000};
    auto adp = DirectX::EncodeAdp(three, 3, 1, 44100);
    EXPECT_EQ(adp.size(), size_t(DirectX::AdpHeaderSize + 2));
    EXPECT_EQ(DecodeAll(adp).size(), size_t(3 * 2));
}
