#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "support/HangGuard.h"
#include "support/MovieFixtures.h"
#include "platform/Movie.h"

using namespace MovieTest;

namespace {

struct TTarget {
    TTarget(int width, int height, int bpp) : Pixels(size_t(width) * height * bpp)
    {
        Pixels32.Bits = Pixels.data();
        Pixels32.Pitch = width * bpp;
        Pixels32.Width = width;
        Pixels32.Height = height;
        Pixels32.BytesPerPixel = bpp;
    }
    uint32_t Centre() const
    {
        return CentreColour(Pixels.data(), Pixels32.Pitch, Pixels32.Width, Pixels32.Height, Pixels32.BytesPerPixel);
    }
    uint32_t At(int x, int y) const
    {
        const uint8_t* p = Pixels.data() + y * Pixels32.Pitch + x * Pixels32.BytesPerPixel;
        return (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
    }
    std::vector<uint8_t> Pixels;
    TPixelTarget Pixels32;
};

// Polls until a picture comes or the movie ends (the decoder runs on its own thread).
TMovieUpdate Poll(TMovieDecoder& decoder, TTarget& target)
{
    const auto deadline = zbtest::HangDeadline();
    TMovieUpdate result;
    while (std::chrono::steady_clock::now() < deadline) {
        result = decoder.Update(target.Pixels32);
        if (result.NewPicture || result.Ended)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return result;
}

uint32_t ExpectedColour(int frame) { return frame < 10 ? 0xFF0000 : frame < 20 ? 0x00FF00 : 0x0000FF; }

}  // namespace

TEST(MovieDecoder, ShowsEachPictureWhenItsTimeComesThenEnds)
{
    TClipFolder folder;
    std::string path = folder.Make("clip.mpg", RedGreenBlue(false));
    ASSERT_FALSE(path.empty());
    TMovieDecoder decoder;
    std::atomic<int64_t> now{0};
    decoder.SetClock([&] { return now.load(); });
    ASSERT_TRUE(decoder.Open(path)) << decoder.LastError();
    EXPECT_EQ(decoder.Width(), 160);
    EXPECT_EQ(decoder.Height(), 120);
    EXPECT_FALSE(decoder.HasAudio());
    TTarget target(160, 120, 3);
    ASSERT_TRUE(decoder.Start(160, 120, 3, false));
    // One frame comes due per 40 ms step: each poll must show exactly that frame.
    for (int frame = 0; frame < 25; ++frame) {
        now.store(frame * 40);
        TMovieUpdate result = Poll(decoder, target);
        ASSERT_TRUE(result.NewPicture) << "frame " << frame;
        EXPECT_FALSE(result.Ended);
        EXPECT_TRUE(NearColour(target.Centre(), ExpectedColour(frame))) << "frame " << frame << std::hex << " "
                                                                        << target.Centre();
        EXPECT_EQ(decoder.Time(), frame * 40);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        EXPECT_FALSE(decoder.Update(target.Pixels32).NewPicture) << "a picture came before its time";
    }
    now.store(999);
    EXPECT_FALSE(decoder.Update(target.Pixels32).Ended) << "the last picture still has its 40 ms";
    now.store(1000);
    TMovieUpdate last = Poll(decoder, target);
    EXPECT_TRUE(last.Ended);
    EXPECT_FALSE(last.NewPicture);
    EXPECT_FALSE(last.Failed);
    EXPECT_FALSE(last.Damaged) << decoder.LastError();
    EXPECT_TRUE(NearColour(target.Centre(), 0x0000FF)) << "the last picture stays";
    decoder.Stop();
    EXPECT_FALSE(decoder.Update(target.Pixels32).NewPicture);
}

TEST(MovieDecoder, SkipsLatePicturesStretchesAndRewinds)
{
    TClipFolder folder;
    std::string path = folder.Make("clip.mpg", RedGreenBlue(false));
    TMovieDecoder decoder;
    std::atomic<int64_t> now{0};
    decoder.SetClock([&] { return now.load(); });
    ASSERT_TRUE(decoder.Open(path)) << decoder.LastError();
    TTarget target(640, 480, 4);
    ASSERT_TRUE(decoder.Start(640, 480, 4, false));
    ASSERT_TRUE(Poll(decoder, target).NewPicture);
    EXPECT_TRUE(NearColour(target.At(2, 2), 0xFF0000));
    EXPECT_TRUE(NearColour(target.At(637, 477), 0xFF0000)) << "a small movie fills the whole target";
    // A late frame thread sees the picture due now, never the ones it missed.
    now.store(500);
    for (int i = 0; i < 2000 && !NearColour(target.Centre(), 0x00FF00); ++i) {
        TMovieUpdate result = Poll(decoder, target);
        ASSERT_TRUE(result.NewPicture);
        EXPECT_FALSE(NearColour(target.Centre(), 0x0000FF));
    }
    EXPECT_TRUE(NearColour(target.Centre(), 0x00FF00));
    // Starting again plays from time 0.
    now.store(0);
    ASSERT_TRUE(decoder.Start(640, 480, 4, false));
    ASSERT_TRUE(Poll(decoder, target).NewPicture);
    EXPECT_TRUE(NearColour(target.Centre(), 0xFF0000));
}

TEST(MovieDecoder, UpdateReturnsAtOnceWhileTheDecoderIsStalled)
{
    TClipFolder folder;
    std::string path = folder.Make("clip.mpg", RedGreenBlue(true));
    TMovieDecoder decoder;
    std::mutex lock;
    std::condition_variable released;
    bool release = false;
    std::atomic<int> packets{0};
    decoder.SetPacketHook([&] {
        ++packets;
        std::unique_lock<std::mutex> guard(lock);
        released.wait(guard, [&] { return release; });
    });
    std::atomic<int64_t> now{0};
    decoder.SetClock([&] { return now.load(); });
    ASSERT_TRUE(decoder.Open(path)) << decoder.LastError();
    TTarget target(160, 120, 3);
    ASSERT_TRUE(decoder.Start(160, 120, 3, true));
    while (packets.load() == 0)
        std::this_thread::yield();
    // The decode thread is parked inside the hook: neither side may wait for it.
    int16_t pcm[512 * 2];
    for (int i = 0; i < 100; ++i) {
        TMovieUpdate result = decoder.Update(target.Pixels32);
        EXPECT_FALSE(result.NewPicture);
        EXPECT_FALSE(result.Ended);
        EXPECT_EQ(decoder.ReadAudio(pcm, 512), 0);
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        release = true;
    }
    released.notify_all();
    EXPECT_TRUE(zbtest::WaitUntil(
        [&] {
            decoder.ReadAudio(pcm, 64);
            return decoder.Update(target.Pixels32).NewPicture;
        },
        std::chrono::microseconds(100)));
    // With the sound no longer drained the queue and the ring fill and the thread waits; Stop
    // still ends it.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    decoder.Stop();
    EXPECT_FALSE(decoder.Running());
}

TEST(MovieDecoder, BadFilesFailCleanly)
{
    TClipFolder folder;
    TMovieDecoder decoder;
    EXPECT_FALSE(decoder.Open(folder.Path("none.mpg")));
    EXPECT_NE(decoder.LastError().find(std::strerror(ENOENT)), std::string::npos) << decoder.LastError();
    // Each refusal to open says what it really was.
    std::filesystem::create_symlink("loop.mpg", folder.Path("loop.mpg"));
    EXPECT_FALSE(decoder.Open(folder.Path("loop.mpg")));
    EXPECT_NE(decoder.LastError().find(std::strerror(ELOOP)), std::string::npos) << decoder.LastError();
    std::filesystem::create_directory(folder.Path("folder.mpg"));
    EXPECT_FALSE(decoder.Open(folder.Path("folder.mpg")));
    EXPECT_NE(decoder.LastError().find(std::strerror(EISDIR)), std::string::npos) << decoder.LastError();
    EXPECT_FALSE(decoder.IsOpen());

    std::vector<char> noise(20000);
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 2654435761u) >> 13);
    std::ofstream(folder.Path("noise.mpg"), std::ios::binary).write(noise.data(), std::streamsize(noise.size()));
    EXPECT_FALSE(decoder.Open(folder.Path("noise.mpg")));
    std::ofstream(folder.Path("empty.mpg"), std::ios::binary);
    EXPECT_FALSE(decoder.Open(folder.Path("empty.mpg")));

    TMovieClip soundOnly = RedGreenBlue(true);
    soundOnly.Video = false;
    ASSERT_FALSE(folder.Make("sound.mpg", soundOnly).empty());
    EXPECT_FALSE(decoder.Open(folder.Path("sound.mpg")));
    EXPECT_NE(decoder.LastError().find("video"), std::string::npos) << decoder.LastError();
    EXPECT_FALSE(decoder.Start(160, 120, 3, false)) << "nothing to start";

    // A cut-off file and one with garbage in the middle play what they can and end.
    TMovieClip moving = RedGreenBlue(true);
    moving.MovingBar = true;  // enough picture data that a cut loses pictures
    std::string whole = folder.Make("whole.mpg", moving);
    std::vector<char> bytes(std::filesystem::file_size(whole));
    std::ifstream(whole, std::ios::binary).read(bytes.data(), std::streamsize(bytes.size()));
    std::ofstream(folder.Path("cut.mpg"), std::ios::binary).write(bytes.data(), std::streamsize(bytes.size() / 4));
    for (size_t i = bytes.size() / 6; i < bytes.size() / 4; ++i)
        bytes[i] = char(i * 7);
    std::ofstream(folder.Path("spoilt.mpg"), std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    for (const char* name : {"cut.mpg", "spoilt.mpg"}) {
        std::atomic<int64_t> now{0};
        decoder.SetClock([&] { return now.load(); });
        ASSERT_TRUE(decoder.Open(folder.Path(name))) << name;
        TTarget target(160, 120, 3);
        ASSERT_TRUE(decoder.Start(160, 120, 3, false));
        int pictures = 0;
        TMovieUpdate result;
        // The clock moves on only once the decoder has the next picture (or no more), so that a
        // decoder held back by a busy machine loses none of them to lateness.
        const auto end = zbtest::HangDeadline();
        for (int step = 0; step < 5000 && !result.Ended && std::chrono::steady_clock::now() < end;) {
            const TMovieDecoder::TBacklog backlog = decoder.Backlog();
            if (backlog.Pictures == 0 && !backlog.Finished) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            now.store(++step * 4);
            result = decoder.Update(target.Pixels32);
            pictures += result.NewPicture;
        }
        EXPECT_TRUE(result.Ended) << name;
        EXPECT_GT(pictures, 3) << name;
        // Played as far as it goes, and told as cut short or damaged, naming the file.
        EXPECT_TRUE(result.Damaged) << name;
        EXPECT_FALSE(result.Failed) << name;
        EXPECT_NE(decoder.LastError().find(folder.Path(name)), std::string::npos) << decoder.LastError();
        if (std::string(name) == "spoilt.mpg") {
            EXPECT_TRUE(NearColour(target.At(150, 60), 0x0000FF)) << "the pictures after the damage still play";
        } else {
            EXPECT_LT(pictures, 20) << "the cut-off pictures are not invented";
        }
        decoder.Close();
    }
}

TEST(MovieDecoder, OpensByTheGamesFileNames)
{
    TClipFolder folder;
    ASSERT_FALSE(folder.Make("movie/op_nq.mpg", RedGreenBlue(false)).empty());
    TMovieDecoder decoder;
    EXPECT_TRUE(decoder.Open(folder.Folder + "/Movie\\OP_NQ.MPG")) << decoder.LastError();
}
