#include <gtest/gtest.h>

#include "SoundTestHelpers.h"
#include "base/Vememman.h"
#include "media/Vedsound.h"

using namespace SoundTest;
using DirectX::TDSound;
using DirectX::TDSoundBuffer;

namespace {

// A device with no hardware behind it: the test renders the mix itself, through the very
// function the device callback calls. The tests own the buffers they make and delete them first.
struct OfflineDevice {
    OfflineDevice() { Device.EnableOffline(); }
    std::vector<int16_t> Render(int frames, int period = 1000)
    {
        std::vector<int16_t> out(size_t(frames) * 2, 12345);
        for (int done = 0; done < frames; done += period)
            Device.Mix(out.data() + done * 2, std::min(period, frames - done));
        return out;
    }
    TDSoundBuffer* Load(const std::vector<int16_t>& pcm, uint16_t channels, uint32_t rate = 44100)
    {
        auto stream = MemoryOf(DirectX::EncodeAdp(pcm.data(), uint32_t(pcm.size() / channels), channels, rate));
        return Device.CreateBufferFromAdp(stream.get(), false, false, false);
    }
    TDSound Device{nullptr};
};

bool AllZero(const std::vector<int16_t>& v, size_t firstFrame = 0, size_t lastFrame = SIZE_MAX)
{
    lastFrame = std::min(lastFrame, v.size() / 2);
    for (size_t i = firstFrame * 2; i < lastFrame * 2; ++i)
        if (v[i] != 0)
            return false;
    return true;
}

std::vector<int16_t> Frames(const std::vector<int16_t>& v, size_t first, size_t count)
{
    return std::vector<int16_t>(v.begin() + first * 2, v.begin() + (first + count) * 2);
}

}  // namespace

TEST(Mixer, VolumeIsHundredthsOfADecibelAndTheFloorIsSilent)
{
    OfflineDevice d;
    std::unique_ptr<TDSoundBuffer> b(d.Load(Tone(44100, 44100, {440.0}, 16000), 1));
    ASSERT_NE(b, nullptr);
    ASSERT_TRUE(b->Play(false));
    double full = Rms(d.Render(22050), 0);
    EXPECT_GT(full, 10000);

    EXPECT_TRUE(b->SetVolume(-600));
    EXPECT_EQ(b->GetVolume(), -600);
    ASSERT_TRUE(b->Play(false));
    EXPECT_NEAR(Rms(d.Render(22050), 0) / full, std::pow(10.0, -600 / 2000.0), 0.005);

    EXPECT_TRUE(b->SetVolume(-10000));
    ASSERT_TRUE(b->Play(false));
    EXPECT_TRUE(AllZero(d.Render(22050)));
    EXPECT_TRUE(b->IsPlay()) << "a silent buffer still plays";

    EXPECT_FALSE(b->SetVolume(1));
    EXPECT_FALSE(b->SetVolume(-10001));
    EXPECT_EQ(b->GetVolume(), -10000);
    EXPECT_EQ(DirectX::AttenuationToGain(0), 65536);
    EXPECT_EQ(DirectX::AttenuationToGain(-2000), 6554);
    EXPECT_EQ(DirectX::AttenuationToGain(-10000), 0);
}

TEST(Mixer, WholeBufferPlaysFromItsStartOnceOrLooping)
{
    OfflineDevice d;
    const int n = 3000;
    std::unique_ptr<TDSoundBuffer> b(d.Load(Tone(n, 44100, {700.0, 900.0}, 9000), 2));
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(b->FrameCount(), n);
    auto once = DecodeAll(DirectX::EncodeAdp(Tone(n, 44100, {700.0, 900.0}, 9000).data(), n, 2, 44100));

    ASSERT_TRUE(b->Play(false));
    auto out = d.Render(3 * n, 512);
    EXPECT_EQ(Frames(out, 0, n), once);
    EXPECT_TRUE(AllZero(out, n));
    EXPECT_FALSE(b->IsPlay());

    ASSERT_TRUE(b->Play(true));
    out = d.Render(3 * n + 100, 700);
    for (int pass = 0; pass < 3; ++pass)
        EXPECT_EQ(Frames(out, size_t(pass) * n, n), once) << "pass " << pass;
    EXPECT_EQ(Frames(out, 3 * n, 100), Frames(once, 0, 100));
    EXPECT_TRUE(b->IsPlay());

    // Play again starts over from the first frame; Stop silences at once.
    ASSERT_TRUE(b->Play(true));
    out = d.Render(100);
    EXPECT_EQ(out, Frames(once, 0, 100));
    b->Stop();
    EXPECT_FALSE(b->IsPlay());
    EXPECT_TRUE(AllZero(d.Render(n)));
}

TEST(Mixer, VoicesSumAndSaturateInsteadOfWrapping)
{
    OfflineDevice d;
    auto loud = Tone(4410, 44100, {441.0}, 24000);
    std::unique_ptr<TDSoundBuffer> a(d.Load(loud, 1));
    std::unique_ptr<TDSoundBuffer> b(d.Load(loud, 1));
    ASSERT_TRUE(a && b);
    auto single = DecodeAll(DirectX::EncodeAdp(loud.data(), 4410, 1, 44100));
    ASSERT_TRUE(a->Play(false));
    ASSERT_TRUE(b->Play(false));
    auto out = d.Render(4410);
    int clipped = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        int sum = 2 * single[i];
        ASSERT_EQ(out[i], std::clamp(sum, -32768, 32767)) << "sample " << i;
        clipped += sum > 32767 || sum < -32768;
    }
    EXPECT_GT(clipped, 100);

    // Quiet voices add exactly, each with its own gain.
    EXPECT_TRUE(a->SetVolume(-10000));
    ASSERT_TRUE(a->Play(false));
    ASSERT_TRUE(b->Play(false));
    EXPECT_TRUE(b->SetVolume(-600));
    double half = Rms(d.Render(4410), 0);
    EXPECT_NEAR(half / Rms(single, 0), std::pow(10.0, -0.3), 0.005);
}

TEST(Mixer, BuffersLeaveTheDeviceWhenDeletedAndAreOnlyDetachedWhenItIsReleased)
{
    OfflineDevice d;
    TDSoundBuffer* mute = d.Device.CreateBufferMute(1);
    ASSERT_NE(mute, nullptr);
    EXPECT_EQ(mute->FrameCount(), 44100);
    ASSERT_TRUE(mute->Play(false));
    EXPECT_TRUE(AllZero(d.Render(1000)));
    EXPECT_TRUE(mute->IsPlay());
    EXPECT_EQ(d.Device.CreateBufferMute(0), nullptr);
    EXPECT_EQ(d.Device.CreateBufferMute(-1), nullptr);
    EXPECT_EQ(d.Device.CreateBufferMute(1 << 30), nullptr);

    TDSoundBuffer* voice = d.Load(Tone(1000, 44100, {440.0}, 8000), 1);
    TDSoundBuffer* effect = d.Load(Tone(1000, 44100, {440.0}, 8000), 1);
    EXPECT_EQ(d.Device.BufferCount(), 3);
    ASSERT_TRUE(voice->Play(true));
    delete voice;  // by its owner, while playing
    EXPECT_EQ(d.Device.BufferCount(), 2);
    EXPECT_TRUE(AllZero(d.Render(1000)));
    ASSERT_TRUE(effect->Play(true));
    // The device stops and lets go of the rest; their owner still deletes them (the sanitizers
    // report a double delete or a leak).
    d.Device.SetEnabled(false);
    EXPECT_FALSE(d.Device.GetEnabled());
    EXPECT_EQ(d.Device.BufferCount(), 0);
    EXPECT_EQ(effect->GetDevice(), nullptr);
    EXPECT_FALSE(effect->IsPlay());
    EXPECT_FALSE(effect->Play(true));
    EXPECT_TRUE(effect->SetVolume(-100));
    effect->Stop();
    EXPECT_TRUE(AllZero(d.Render(1000)));
    EXPECT_EQ(d.Device.CreateBufferMute(1), nullptr);
    delete effect;
    delete mute;

    // The game records its buffers in the registry too, and the registry deletes what is left:
    // whichever goes first, the device or the registry, each buffer is deleted exactly once.
    for (int order = 0; order < 3; ++order) {
        TComponent owner(nullptr);
        auto* registry = new TMemMan(&owner);
        TDSound* device = registry->CreateVCL<TDSound>();
        ASSERT_NE(device, nullptr);
        device->EnableOffline();
        for (int i = 0; i < 2; ++i) {
            TDSoundBuffer* buffer = device->CreateBufferMute(1);
            ASSERT_NE(buffer, nullptr);
            registry->AddPtr(buffer);
            ASSERT_TRUE(buffer->Play(true));
        }
        if (order == 0) {
            device->SetEnabled(false);
            delete registry;  // the buffers, then the owner deletes the device
        } else if (order == 1) {
            registry->Delete(device);
            delete registry;
        } else {
            delete registry;  // the buffers leave the still-enabled device
            EXPECT_EQ(device->BufferCount(), 0);
        }
    }
}

TEST(Mixer, NothingIsCreatedFromBadDataOrWithoutADevice)
{
    TDSound idle(nullptr);
    auto adp = DirectX::EncodeAdp(Tone(1000, 44100, {440.0}, 8000).data(), 1000, 1, 44100);
    auto stream = MemoryOf(adp);
    EXPECT_EQ(idle.CreateBufferFromAdp(stream.get(), false, false, false), nullptr);
    EXPECT_EQ(idle.CreateStreamFromAdp(stream.get(), false, false), nullptr);
    EXPECT_EQ(idle.CreateBufferMute(1), nullptr);

    OfflineDevice d;
    auto garbage = MemoryOf(std::vector<uint8_t>(64, 0x41));
    EXPECT_EQ(d.Device.CreateBufferFromAdp(garbage.get(), false, false, false), nullptr);
    garbage->SetPosition(0);
    EXPECT_EQ(d.Device.CreateStreamFromAdp(garbage.get(), false, false), nullptr);
    EXPECT_EQ(d.Device.CreateBufferFromAdp(nullptr, false, false, false), nullptr);
    EXPECT_EQ(d.Device.BufferCount(), 0);

    // The sound starts at the stream's position, and the stream may go at once.
    auto shifted = std::make_unique<TMemoryStream>();
    shifted->Write("pad!", 4);
    shifted->Write(adp.data(), int64_t(adp.size()));
    shifted->SetPosition(4);
    std::unique_ptr<TDSoundBuffer> b(d.Device.CreateBufferFromAdp(shifted.get(), false, false, false));
    shifted.reset();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->FrameCount(), 1000);
}
