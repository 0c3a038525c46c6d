#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "SoundTestHelpers.h"
#include "media/Getdxver.h"
#include "media/Vedsound.h"
#include "support/HangGuard.h"

using namespace SoundTest;
using DirectX::TDSound;
using DirectX::TDSoundStream;

namespace {

// A changing tone, so that a repeated or skipped block shows as a mismatch.
std::vector<int16_t> Sweep(uint32_t frames)
{
    std::vector<int16_t> out(size_t(frames) * 2);
    double phase = 0;
    for (uint32_t i = 0; i < frames; ++i) {
        phase += 2 * M_PI * (200.0 + 1800.0 * i / frames) / 44100;
        out[i * 2] = static_cast<int16_t>(12000 * std::sin(phase));
        out[i * 2 + 1] = static_cast<int16_t>(9000 * std::cos(phase * 1.5));
    }
    return out;
}

// The status file of the stream's refill thread, found by its name; empty if there is none.
std::string RefillThreadStatus()
{
    const std::string name = std::string(DirectX::TDSoundThread::RefillThreadName) + "\n";
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string text((std::istreambuf_iterator<char>(comm)), std::istreambuf_iterator<char>());
        if (text == name)
            return (task.path() / "status").string();
    }
    return {};
}

// The voluntary context switches a thread's status file counts; -1 if it cannot be read.
long VoluntarySwitches(const std::string& status)
{
    std::ifstream in(status);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
            return std::stol(line.substr(line.find(':') + 1));
    return -1;
}

template <class F>
bool Eventually(F done)
{
    return zbtest::WaitUntil(done);
}

// Drives the mixer from this thread the way the device callback would, collecting what it
// gives until the stream stops or limit frames have been mixed. Each period is mixed once the
// refill thread has a period (or the sound's end) in the ring: a busy machine can hold that
// thread back longer than the ring lasts, and a device would then play silence.
std::vector<int16_t> Drain(TDSound& device, TDSoundStream* stream, size_t limit)
{
    std::vector<int16_t> out;
    std::vector<int16_t> period(441 * 2);
    auto ready = [&] { return stream->QueuedFrames() >= 441 || stream->EndQueued(); };
    while (stream->IsPlay() && out.size() / 2 < limit && Eventually(ready)) {
        device.Mix(period.data(), 441);
        out.insert(out.end(), period.begin(), period.end());
    }
    return out;
}

// Sets an environment variable for the life of the object.
struct ScopedEnv {
    ScopedEnv(const char* name, const char* value) : Name(name)
    {
        if (const char* old = std::getenv(name))
            Old = old, HadOld = true;
        setenv(name, value, 1);
    }
    ~ScopedEnv()
    {
        if (HadOld)
            setenv(Name.c_str(), Old.c_str(), 1);
        else
            unsetenv(Name.c_str());
    }
    std::string Name, Old;
    bool HadOld = false;
};

// Gives fewer bytes than its size claims, like a file cut short under the reader.
struct TShortStream : TMemoryStream {
    int64_t Limit = 0;
    int64_t Read(void* buffer, int64_t count) override
    {
        int64_t room = std::max<int64_t>(0, Limit - GetPosition());
        return TMemoryStream::Read(buffer, std::min(count, room));
    }
};

}  // namespace

TEST(SoundStream, TenSecondsArriveWholeAndInOrder)
{
    const uint32_t frames = 441000;
    auto adp = DirectX::EncodeAdp(Sweep(frames).data(), frames, 2, 44100);
    auto expected = DecodeAll(adp);
    ASSERT_EQ(expected.size(), size_t(frames) * 2);
    TDSound device(nullptr);
    device.EnableOffline();
    auto file = MemoryOf(adp);
    TDSoundStream* stream = device.CreateStreamFromAdp(file.get(), false, false);
    ASSERT_NE(stream, nullptr);
    ASSERT_TRUE(stream->Play(false));
    auto out = Drain(device, stream, frames + 10000);
    EXPECT_FALSE(stream->IsPlay());
    ASSERT_GE(out.size(), expected.size());
    size_t firstBad = 0;
    while (firstBad < expected.size() && out[firstBad] == expected[firstBad])
        ++firstBad;
    EXPECT_EQ(firstBad, expected.size()) << "first wrong sample at frame " << firstBad / 2;
    for (size_t i = expected.size(); i < out.size(); ++i)
        ASSERT_EQ(out[i], 0) << "after the end, frame " << i / 2;
    delete stream;
}

TEST(SoundStream, LoopsFromTheStartAndPlayRestarts)
{
    const uint32_t frames = 30000;  // shorter than the ring, so the loop is decoded ahead
    auto adp = DirectX::EncodeAdp(Sweep(frames).data(), frames, 2, 44100);
    auto once = DecodeAll(adp);
    TDSound device(nullptr);
    device.EnableOffline();
    auto file = MemoryOf(adp);
    TDSoundStream* stream = device.CreateStreamFromAdp(file.get(), false, false);
    ASSERT_NE(stream, nullptr);
    ASSERT_TRUE(stream->Play(true));
    auto out = Drain(device, stream, 4 * frames + 500);
    ASSERT_TRUE(stream->IsPlay());
    ASSERT_GE(out.size(), size_t(4 * frames) * 2);
    for (size_t i = 0; i < size_t(4 * frames) * 2; ++i)
        ASSERT_EQ(out[i], once[i % once.size()]) << "frame " << i / 2;

    ASSERT_TRUE(stream->Play(false));
    out = Drain(device, stream, 2 * frames);
    EXPECT_FALSE(stream->IsPlay());
    EXPECT_TRUE(std::equal(once.begin(), once.end(), out.begin()));

    stream->Stop();
    EXPECT_FALSE(stream->IsPlay());
    delete stream;
    EXPECT_EQ(device.BufferCount(), 0);
}

TEST(SoundStream, TheRefillThreadSleepsWhileNothingDrainsTheRing)
{
    const uint32_t frames = 200000;  // longer than the ring: there is always more to decode
    auto adp = DirectX::EncodeAdp(Sweep(frames).data(), frames, 2, 44100);
    TDSound device(nullptr);
    device.EnableOffline();
    auto file = MemoryOf(adp);
    TDSoundStream* stream = device.CreateStreamFromAdp(file.get(), false, false);
    ASSERT_NE(stream, nullptr);
    ASSERT_TRUE(stream->Play(true));
    // Play filled the ring. While this thread sleeps sixty short sleeps, each a switch of its own,
    // a refill thread looking in as often would switch about as many times; one that sleeps until
    // the ring is drained switches hardly at all, however long the sleeps take. Only the two
    // threads' own switches count: other threads of the process (a sanitizer's among them) wake
    // on their own clocks.
    const std::string refill = RefillThreadStatus();
    ASSERT_FALSE(refill.empty()) << "no thread named " << DirectX::TDSoundThread::RefillThreadName;
    const long before = VoluntarySwitches(refill);
    const long ownBefore = VoluntarySwitches("/proc/thread-self/status");
    for (int i = 0; i < 60; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const long own = VoluntarySwitches("/proc/thread-self/status") - ownBefore;
    EXPECT_GE(own, 60);
    EXPECT_LT((VoluntarySwitches(refill) - before) * 4, own);
    // Draining past half the ring wakes it: it tops the ring up before it runs dry, and the
    // whole sound still arrives.
    std::vector<int16_t> period(441 * 2);
    while (stream->QueuedFrames() >= TDSoundStream::RingFrames / 2)
        device.Mix(period.data(), 441);
    EXPECT_TRUE(Eventually([&] { return stream->QueuedFrames() > TDSoundStream::RingFrames * 3 / 4; }));
    auto out = Drain(device, stream, frames);
    EXPECT_GE(out.size(), size_t(frames) * 2);
    delete stream;
}

TEST(SoundStream, DataCutShortPlaysWhatIsThereAndEnds)
{
    const uint32_t frames = 20000;
    auto adp = DirectX::EncodeAdp(Sweep(frames).data(), frames, 2, 44100);
    auto once = DecodeAll(adp);
    TShortStream file;
    file.Write(adp.data(), int64_t(adp.size()));
    file.Limit = DirectX::AdpHeaderSize + 5000;  // 5000 stereo frames really readable
    TDSound device(nullptr);
    device.EnableOffline();

    file.SetPosition(0);
    TDSoundStream* stream = device.CreateStreamFromAdp(&file, false, false);
    ASSERT_NE(stream, nullptr);
    ASSERT_TRUE(stream->Play(true));  // even looping, a short pass ends nowhere worse than a loop
    auto out = Drain(device, stream, 12000);
    ASSERT_GE(out.size(), size_t(10000 * 2));
    for (size_t i = 0; i < size_t(10000 * 2); ++i)
        ASSERT_EQ(out[i], once[i % (5000 * 2)]) << "frame " << i / 2;
    delete stream;

    file.SetPosition(0);
    std::unique_ptr<DirectX::TDSoundBuffer> whole(device.CreateBufferFromAdp(&file, false, false, false));
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(whole->FrameCount(), 5000);
}

TEST(SoundStream, DeletingWhileTheDeviceMixesIsSafe)
{
    ScopedEnv driver("SDL_AUDIODRIVER", "dummy");
    auto adp = DirectX::EncodeAdp(Sweep(100000).data(), 100000, 2, 44100);
    TDSound device(nullptr);
    device.SetEnabled(true);
    ASSERT_TRUE(device.GetEnabled());
    DirectX::TDSoundBuffer* effect = device.CreateBufferFromAdp(MemoryOf(adp).get(), false, false, false);
    ASSERT_NE(effect, nullptr);
    ASSERT_TRUE(effect->Play(true));
    auto blip = DirectX::EncodeAdp(Sweep(441).data(), 441, 2, 44100);
    DirectX::TDSoundBuffer* shortOne = device.CreateBufferFromAdp(MemoryOf(blip).get(), false, false, false);
    ASSERT_NE(shortOne, nullptr);
    ASSERT_TRUE(shortOne->Play(false));
    // At least a dozen rounds, and on until the device callback has been seen to mix beside them.
    const auto end = zbtest::HangDeadline();
    for (int round = 0; round < 12 || (shortOne->IsPlay() && std::chrono::steady_clock::now() < end); ++round) {
        const int step = round % 12;
        auto file = MemoryOf(adp);
        TDSoundStream* stream = device.CreateStreamFromAdp(file.get(), false, false);
        ASSERT_NE(stream, nullptr);
        ASSERT_TRUE(stream->Play(step % 2 == 0));
        std::this_thread::sleep_for(std::chrono::milliseconds(5 + step * 3));
        EXPECT_TRUE(stream->SetVolume(-step * 500));
        delete stream;  // the refill thread is joined here, so the file can go next
        file.reset();
    }
    EXPECT_FALSE(shortOne->IsPlay()) << "the device callback has been mixing all along";
    EXPECT_TRUE(effect->IsPlay());
    // One still playing when the device is released: it stops and its owner deletes it later.
    auto last = MemoryOf(adp);
    TDSoundStream* stream = device.CreateStreamFromAdp(last.get(), false, false);
    ASSERT_NE(stream, nullptr);
    ASSERT_TRUE(stream->Play(true));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    device.SetEnabled(false);
    EXPECT_EQ(device.BufferCount(), 0);
    EXPECT_FALSE(stream->IsPlay());
    EXPECT_FALSE(effect->IsPlay());
    EXPECT_FALSE(stream->Play(true));
    delete stream;
    delete effect;
    delete shortOne;
}

TEST(SoundStream, WithoutADriverTheDeviceStaysDisabled)
{
    ScopedEnv video("SDL_VIDEODRIVER", "dummy");
    {
        ScopedEnv driver("SDL_AUDIODRIVER", "nonexistent");
        TDSound device(nullptr);
        device.SetEnabled(true);
        EXPECT_FALSE(device.GetEnabled());
        EXPECT_EQ(device.CreateBufferMute(1), nullptr);
        // The version probe answers for the display: a missing sound device is the device's
        // own failure when it is enabled.
        EXPECT_EQ(DirectX::GetDXVersion(), 0x700);
    }
    ScopedEnv driver("SDL_AUDIODRIVER", "dummy");
    EXPECT_EQ(DirectX::GetDXVersion(), 0x700);
    TDSound device(nullptr);
    device.SetEnabled(true);
    EXPECT_TRUE(device.GetEnabled());
    TDSound second(nullptr);
    second.SetEnabled(true);
    EXPECT_FALSE(second.GetEnabled()) << "one device at a time";
}
