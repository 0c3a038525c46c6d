#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "SoundTestHelpers.h"
#include "base/Vergbbits.h"
#include "media/Vedsound.h"
#include "media/Vemovie.h"
#include "support/HangGuard.h"
#include "support/MovieFixtures.h"

using namespace MovieTest;
using DirectX::TDSound;

namespace {

struct TShown {
    int64_t Time;
    uint32_t Colour;
    int64_t MixedMs;  // sound mixed by then
};

std::unique_ptr<TVeRGBBits> MakeTarget(TBitDepth depth)
{
    auto bits = std::make_unique<TVeRGBBits>(nullptr);
    bits->SetBitDepth(depth);
    bits->Resize(160, 120);
    bits->Create();
    return bits;
}

uint32_t Centre(TVeRGBBits& bits) { return bits.PGet(bits.Width() / 2, bits.Height() / 2); }

}  // namespace

TEST(MoviePlay, SoundTrackReachesTheMixerAndPacesThePictures)
{
    TClipFolder folder;
    std::string path = folder.Make("clip.mpg", RedGreenBlue(true));
    ASSERT_FALSE(path.empty());
    TDSound sound(nullptr);
    sound.EnableOffline();
    TVeMovie movie(&sound);
    // The steady clock moves on 3 ms for each 10 ms period mixed: the pictures must follow the
    // mixer, and a decoder held back by a busy machine never makes the sound look stalled.
    std::atomic<int64_t> now{0};
    movie.Decoder().SetClock([&] { return now.load(); });
    ASSERT_TRUE(movie.Open(path)) << movie.LastError();
    EXPECT_TRUE(movie.HasSound());
    auto target = MakeTarget(bd32);
    ASSERT_TRUE(movie.Play(160, 120, bd32));
    EXPECT_EQ(movie.GetState(), msRun);

    // The mixer runs faster than real time, 10 ms per period. Before each period the decoder
    // has the next picture and a period of sound ready (or has no more), so that no picture
    // comes due only after a later one and no period is mixed short.
    auto ready = [&] {
        const TMovieDecoder::TBacklog backlog = movie.Decoder().Backlog();
        return (backlog.Pictures > 0 || backlog.Finished) && (backlog.SoundFrames >= 441 || backlog.SoundDone);
    };
    std::vector<int16_t> mixed, period(441 * 2);
    std::vector<TShown> shown;
    TMovieUpdate result;
    auto deadline = zbtest::HangDeadline();
    // The one-second clip ends well within ten seconds of sound mixed.
    for (int periods = 0; !result.Ended && periods < 1000 && std::chrono::steady_clock::now() < deadline;) {
        if (!ready()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        sound.Mix(period.data(), 441);
        ++periods;
        mixed.insert(mixed.end(), period.begin(), period.end());
        now += 3;
        result = movie.Update(target.get());
        if (result.NewPicture)
            shown.push_back({movie.Time(), Centre(*target), int64_t(mixed.size() / 2 * 1000 / 44100)});
    }
    ASSERT_TRUE(result.Ended);
    EXPECT_FALSE(result.Failed);
    EXPECT_GE(movie.Time(), 1000);
    EXPECT_GT(SoundTest::Rms(mixed, 0), 5000);
    EXPECT_NEAR(SoundTest::Frequency(mixed, 1, 44100), 440, 5);
    ASSERT_GE(shown.size(), 20u);
    for (const TShown& s : shown) {
        // 10 ms of mixing per step, plus the track's own small offset.
        uint32_t expected = s.Time < 400 ? 0xFF0000 : s.Time < 800 ? 0x00FF00 : 0x0000FF;
        if (s.Time % 400 > 30) {
            EXPECT_TRUE(NearColour(s.Colour, expected)) << s.Time << " " << std::hex << s.Colour;
        }
        // While the sound track lasts, the movie's time is the mixer's position.
        if (s.Time < 900) {
            EXPECT_NEAR(s.Time, s.MixedMs, 30);
        }
    }
    movie.Stop();
    EXPECT_EQ(movie.GetState(), msStop);
    EXPECT_FALSE(movie.Update(target.get()).NewPicture);
}

TEST(MoviePlay, SilentVolumeStillRunsTheClock)
{
    TClipFolder folder;
    std::string path = folder.Make("clip.mpg", RedGreenBlue(true));
    TDSound sound(nullptr);
    sound.EnableOffline();
    TVeMovie movie(&sound);
    // The steady clock held still: only the mixer can move the movie's time on.
    movie.Decoder().SetClock([] { return int64_t(0); });
    ASSERT_TRUE(movie.SetVolume(-10000));
    EXPECT_FALSE(movie.SetVolume(1));
    ASSERT_TRUE(movie.Open(path));
    auto target = MakeTarget(bd24);
    ASSERT_TRUE(movie.Play(160, 120, bd24));
    std::vector<int16_t> period(441 * 2);
    double peak = 0;
    auto deadline = zbtest::HangDeadline();
    while (movie.Time() < 500 && std::chrono::steady_clock::now() < deadline) {
        sound.Mix(period.data(), 441);
        peak = std::max(peak, SoundTest::Rms(period, 0));
        movie.Update(target.get());
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_GE(movie.Time(), 500);
    EXPECT_EQ(peak, 0);
    // The picture of that time (green from 400 ms on) shows once the decode thread, which a busy
    // machine may hold back, has made it; the time stands still meanwhile.
    const int64_t time = movie.Time();
    bool green = false;
    while (!green && std::chrono::steady_clock::now() < deadline) {
        movie.Update(target.get());
        green = NearColour(Centre(*target), 0x00FF00);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(green) << std::hex << Centre(*target);
    EXPECT_EQ(movie.Time(), time);
}

TEST(MoviePlay, WithoutSoundDeviceStopMidPlayAndReplay)
{
    TClipFolder folder;
    std::string path = folder.Make("clip.mpg", RedGreenBlue(true));
    TVeMovie movie(nullptr);
    std::atomic<int64_t> now{0};
    movie.Decoder().SetClock([&] { return now.load(); });
    ASSERT_TRUE(movie.Open(path));
    EXPECT_FALSE(movie.HasSound());
    auto target = MakeTarget(bd24);
    EXPECT_FALSE(movie.Play(160, 120, bd16)) << "only 24- and 32-bit pictures";
    for (int round = 0; round < 3; ++round) {
        // The clock restarts with each play; the first picture sits a few ms in, after the
        // sound track's priming.
        now.store(round * 1000);
        ASSERT_TRUE(movie.Play(160, 120, bd24));
        now.store(round * 1000 + 40);
        bool red = false;
        for (auto end = zbtest::HangDeadline();
             !red && std::chrono::steady_clock::now() < end;) {
            red = movie.Update(target.get()).NewPicture && NearColour(Centre(*target), 0xFF0000);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        EXPECT_TRUE(red) << "each play starts at the first picture";
        now.store(round * 1000 + 450);
        // Stopping while the decoder is mid-way (its queue full, waiting) joins it.
        movie.Stop();
        EXPECT_EQ(movie.GetState(), msStop);
    }
    // A target of the wrong depth gets nothing, but the movie still runs.
    auto wrong = MakeTarget(bd32);
    now.store(0);
    ASSERT_TRUE(movie.Play(160, 120, bd24));
    now.store(2000);
    TMovieUpdate result;
    for (auto end = zbtest::HangDeadline();
         !result.Ended && std::chrono::steady_clock::now() < end;) {
        result = movie.Update(wrong.get());
        EXPECT_FALSE(result.NewPicture);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    EXPECT_TRUE(result.Ended);
    movie.Close();
    EXPECT_FALSE(movie.Opened());
}

TEST(MoviePlay, PicturesGoOnWhenTheMixerStopsTakingSound)
{
    TClipFolder folder;
    std::string path = folder.Make("clip.mpg", RedGreenBlue(true));
    TDSound sound(nullptr);
    sound.EnableOffline();  // and never mixed
    TVeMovie movie(&sound);
    std::atomic<int64_t> now{0};
    movie.Decoder().SetClock([&] { return now.load(); });
    ASSERT_TRUE(movie.Open(path));
    auto target = MakeTarget(bd24);
    ASSERT_TRUE(movie.Play(160, 120, bd24));
    // Sound in the ring that nobody takes is what must not hold the pictures back.
    const auto deadline = zbtest::HangDeadline();
    while (movie.Decoder().Backlog().SoundFrames == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_GT(movie.Decoder().Backlog().SoundFrames, 0u);
    movie.Update(target.get());
    EXPECT_EQ(movie.Time(), 0);
    now.store(1500);
    movie.Update(target.get());
    now.store(2000);
    ASSERT_EQ(movie.Time(), 500);
    // The picture of that time shows once the decoder, which a busy machine may hold back, has made it.
    bool green = false;
    while (!green && std::chrono::steady_clock::now() < deadline) {
        green = movie.Update(target.get()).NewPicture && NearColour(Centre(*target), 0x00FF00);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(green);
    EXPECT_EQ(movie.Time(), 500);
}

TEST(MoviePlay, DeviceReleasedBeforeTheMovieCloses)
{
    TClipFolder folder;
    std::string path = folder.Make("clip.mpg", RedGreenBlue(true));
    TDSound sound(nullptr);
    sound.EnableOffline();
    TVeMovie movie(&sound);
    ASSERT_TRUE(movie.Open(path));
    ASSERT_TRUE(movie.Play(160, 120, bd24));
    EXPECT_EQ(sound.BufferCount(), 1);
    sound.SetEnabled(false);  // the movie's voice is let go, not deleted
    EXPECT_FALSE(movie.HasSound());
    EXPECT_EQ(sound.BufferCount(), 0);
    movie.Close();
    EXPECT_EQ(sound.BufferCount(), 0);
}
