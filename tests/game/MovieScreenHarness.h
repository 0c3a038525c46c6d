#pragma once
// A shown main form for the movie screens: clips written into the game folder's "Movie",
// a movie clock the test moves, frames pumped one logic step at a time, and an unstarted game
// thread that only collects the screens' signals.

#include <atomic>
#include <chrono>
#include <climits>
#include <filesystem>
#include <string>
#include <thread>

#include "GameFormHarness.h"
#include "media/Vemovie.h"
#include "platform/MovieWriter.h"
#include "support/HangGuard.h"

class MovieScreenHarness : public GameFormHarness {
protected:
    void SetUp() override
    {
        GameFormHarness::SetUp();
        ASSERT_TRUE(StartForm());
        Form->FPSMode = 1;
        MainThread.store(&Signals);
    }

    void TearDown() override
    {
        if (Form)
            Form->SetFrameProc(nullptr);
        MainThread.store(nullptr);
        GameFormHarness::TearDown();
    }

    // Solid-colour segments at 25 pictures a second, 160 x 120, no sound track (so the
    // pictures follow the test's clock).
    void WriteClip(const std::string& name, std::vector<TMovieClipSegment> segments, bool video = true)
    {
        TMovieClip clip;
        clip.Segments = std::move(segments);
        clip.Audio = !video;
        clip.Video = video;
        std::string error;
        std::filesystem::create_directories(Folder.Path() + "/Movie");
        ASSERT_TRUE(WriteMovieClip(Folder.Path() + "/Movie/" + name, clip, error)) << error;
    }

    void UseClock(TVeMovie* movie)
    {
        ASSERT_NE(movie, nullptr);
        Now.store(0);
        movie->Decoder().SetClock([this] { return Now.load(); });
    }

    // One pass of the frame loop with one logic step due. The pause only keeps loops that pump
    // until the movie ends from racing its clock far ahead of the decoder.
    void Pump()
    {
        std::this_thread::sleep_for(std::chrono::microseconds(1500));
        Form->FramesDue = Form->GetFramesDone() + 1;
        Form->FramePump();
    }

    // The end of loops that pump until something happens: reached only by a hang.
    static std::chrono::steady_clock::time_point HangLimit() { return zbtest::HangDeadline(); }

    // The last signal raised since the previous call, or INT_MIN when none was.
    int TakeSignal()
    {
        if (!Signals.SignalFlag.exchange(false))
            return INT_MIN;
        return Signals.SignalValue.load();
    }

    bool LogHas(const std::string& text) const
    {
        for (const std::string& line : LogLines())
            if (line == text)
                return true;
        return false;
    }

    std::atomic<int64_t> Now{0};
    TMainThread Signals;
};
