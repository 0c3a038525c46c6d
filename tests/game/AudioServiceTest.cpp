// The main form's audio service on the real mixer (dummy output): cross-fades and their frame
// steps, missing and broken files, voices and effects, the second effect's fades, and the game
// thread's wrappers against a pumping thread.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

#include "archive/Vefileman.h"
#include "base/Vememman.h"
#include "game/GameFormHarness.h"
#include "media/Vedsound.h"

namespace {

TByteVector Tone(uint32_t frames, double hz)
{
    std::vector<int16_t> pcm(frames);
    for (uint32_t i = 0; i < frames; ++i)
        pcm[i] = static_cast<int16_t>(6000 * std::sin(i * hz * 6.2831853 / 22050));
    return DirectX::EncodeAdp(pcm.data(), frames, 1, 22050);
}

std::string TrackPath(int track)
{
    char name[32];
    std::snprintf(name, sizeof name, "BGM/Track%02d.bgm", track);
    return name;
}

class AudioServiceTest : public GameFormHarness {
protected:
    bool Start()
    {
        for (int track = 1; track <= 3; ++track)
            Folder.Write(TrackPath(track), Tone(22050, 200.0 * track));
        return StartForm() && Form->DSound->GetEnabled();
    }
    // Runs frames with s logic steps due in each pass.
    void Frames(int steps, int perPass = 1)
    {
        Form->FPSMode = 1;
        for (int done = 0; done < steps; done += perPass) {
            Form->FramesDue = Form->GetFramesDone() + std::min(perPass, steps - done);
            Form->FramePump();
        }
    }
    int Streams() const { return (Form->BGMStream[0] != nullptr) + (Form->BGMStream[1] != nullptr); }
    void WriteSound(const std::string& name, uint32_t frames = 66150)
    {
        Folder.Write("ZB_Pak/" + name, Tone(frames, 500.0));
    }
};

}  // namespace

TEST_F(AudioServiceTest, CrossFadesKeepAtMostTwoStreamsAndFadeOutInThirtyFiveSteps)
{
    ASSERT_TRUE(Start());
    int buffersAtRest = Form->DSound->BufferCount();
    ASSERT_TRUE(Form->PlayBGM(1, true, true));
    DirectX::TDSoundStream* first = Form->BGMStream[Form->BGMCurrent];
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->GetVolume(), TGameForm::VolumeAttenuation(70));
    EXPECT_TRUE(first->IsPlay());
    EXPECT_TRUE(Form->PlayBGM(1, true, true));  // already playing: untouched
    EXPECT_EQ(Form->BGMStream[Form->BGMCurrent], first);

    // Three quick changes: the oldest track goes at once when its channel is reused.
    ASSERT_TRUE(Form->PlayBGM(2, true, true));
    ASSERT_TRUE(Form->PlayBGM(3, true, true));
    EXPECT_EQ(Streams(), 2);
    EXPECT_EQ(BGMFileMan->OpenCount(), 2);
    EXPECT_EQ(Form->DSound->BufferCount(), buffersAtRest + 2);
    EXPECT_EQ(Form->BGMFadeOut, 70);
    EXPECT_EQ(Form->BGMTrack, 3);

    DirectX::TDSoundStream* fading = Form->BGMStream[Form->BGMCurrent ^ 1];
    Frames(34);
    EXPECT_EQ(Form->BGMFadeOut, 2);
    EXPECT_EQ(fading->GetVolume(), TGameForm::VolumeAttenuation(2));
    Frames(1);
    EXPECT_EQ(Form->BGMFadeOut, -1);
    EXPECT_EQ(Streams(), 1);
    EXPECT_EQ(BGMFileMan->OpenCount(), 1);
    EXPECT_EQ(Form->BGMStream[Form->BGMCurrent]->GetVolume(), TGameForm::VolumeAttenuation(70));

    // The same track with another loop flag restarts on the other channel; several steps per
    // pass end the fade after the same 35 steps.
    ASSERT_TRUE(Form->PlayBGM(3, false, true));
    Frames(30, 5);
    EXPECT_EQ(Form->BGMFadeOut, 10);
    EXPECT_EQ(Streams(), 2);
    Frames(5, 5);
    EXPECT_EQ(Streams(), 1);

    // A fading stop at music volume 0 stops at once; the volume setter reaches the stream.
    Form->SetVolumeBGM(40);
    EXPECT_EQ(Form->BGMStream[Form->BGMCurrent]->GetVolume(), TGameForm::VolumeAttenuation(40));
    Form->SetVolumeBGM(0);
    Form->StopBGM(true);
    EXPECT_EQ(Streams(), 0);
    EXPECT_EQ(Form->BGMTrack, 0);
    EXPECT_EQ(BGMFileMan->OpenCount(), 0);
    EXPECT_EQ(Form->DSound->BufferCount(), buffersAtRest);
}

TEST_F(AudioServiceTest, AMissingOrBrokenTrackFailsAndTheNextRequestRetries)
{
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Form->PlayBGM(1, true, false));
    EXPECT_FALSE(Form->PlayBGM(9, true, false));
    EXPECT_EQ(Form->BGMTrack, 0);
    EXPECT_EQ(Streams(), 0);
    Folder.Write(TrackPath(8), std::string("not a sound at all"));
    EXPECT_FALSE(Form->PlayBGM(8, true, true));
    EXPECT_EQ(BGMFileMan->OpenCount(), 0);

    Folder.Write(TrackPath(9), Tone(22050, 300.0));
    EXPECT_TRUE(Form->PlayBGM(9, true, false));
    EXPECT_EQ(Form->BGMTrack, 9);
    EXPECT_EQ(Streams(), 1);
}

TEST_F(AudioServiceTest, VoicesAndEffectsPlayReplayAndStop)
{
    ASSERT_TRUE(Start());
    WriteSound("gs1007.adp");
    WriteSound("hit.adp");
    ASSERT_TRUE(Form->PlayVoiceNo(7));
    EXPECT_EQ(Form->VoiceName, "gs1007.adp");
    DirectX::TDSoundBuffer* voice = Form->VoiceBuffer;
    std::remove((Folder.Path() + "/ZB_Pak/gs1007.adp").c_str());
    EXPECT_TRUE(Form->PlayVoiceNo(7));  // replayed from the loaded buffer
    EXPECT_EQ(Form->VoiceBuffer, voice);
    Form->SetVolumeVoice(50);
    EXPECT_EQ(voice->GetVolume(), TGameForm::VolumeAttenuation(50));
    EXPECT_FALSE(Form->PlayVoiceNo(8));  // missing: the old voice is gone all the same
    EXPECT_EQ(Form->VoiceBuffer, nullptr);
    EXPECT_EQ(Form->VoiceName, "");

    ASSERT_TRUE(Form->PlaySE("hit.adp", PackFileMan));
    EXPECT_TRUE(Form->IsSEPlaying());
    EXPECT_FALSE(Form->PlaySE("other.adp", nullptr));
    EXPECT_FALSE(Form->IsSEPlaying());
    ASSERT_TRUE(Form->PlaySE("hit.adp", PackFileMan));
    Form->StopSE();
    EXPECT_FALSE(Form->IsSEPlaying());
    EXPECT_EQ(PackFileMan->OpenCount(), 0);
}

TEST_F(AudioServiceTest, SecondEffectFadesInAndOutAndATakenBackFadeKeepsItAlive)
{
    ASSERT_TRUE(Start());
    WriteSound("rain.adp");
    Form->SetVolumeSE(70);
    ASSERT_TRUE(Form->PlaySE2("rain.adp", PackFileMan, true));
    DirectX::TDSoundBuffer* rain = Form->SE2Buffer;
    EXPECT_EQ(rain->GetVolume(), DirectX::DSBVolumeMin);
    EXPECT_EQ(Form->SE2Fade, -70);
    Frames(20);
    EXPECT_EQ(Form->SE2Fade, -30);
    EXPECT_EQ(rain->GetVolume(), TGameForm::VolumeAttenuation(40));
    Form->SetVolumeSE(60);  // a fading effect keeps its own level
    EXPECT_EQ(rain->GetVolume(), TGameForm::VolumeAttenuation(40));
    Form->SetVolumeSE(70);
    Form->StopSE2(true);
    EXPECT_EQ(Form->SE2Fade, 30);

    // The same name again during the fade-out: the loop stays, at full volume.
    EXPECT_TRUE(Form->PlaySE2("rain.adp", PackFileMan, false));
    EXPECT_EQ(Form->SE2Fade, 0);
    EXPECT_EQ(rain->GetVolume(), TGameForm::VolumeAttenuation(70));
    Frames(40);
    EXPECT_EQ(Form->SE2Buffer, rain);
    // With a fade-in asked for, it rises again from where the fade-out had got to.
    Form->StopSE2(true);
    Frames(10);
    EXPECT_TRUE(Form->PlaySE2("rain.adp", PackFileMan, true));
    EXPECT_EQ(Form->SE2Fade, -20);
    Frames(10);
    EXPECT_EQ(Form->SE2Fade, 0);
    EXPECT_EQ(rain->GetVolume(), TGameForm::VolumeAttenuation(70));

    Form->StopSE2(true);
    Frames(34);
    EXPECT_EQ(Form->SE2Buffer, rain);
    Frames(1);
    EXPECT_EQ(Form->SE2Buffer, nullptr);
    EXPECT_EQ(Form->SE2Name, "");

    // A fade cut short by a plain stop does not carry over to the next effect.
    ASSERT_TRUE(Form->PlaySE2("rain.adp", PackFileMan, false));
    Form->StopSE2(true);
    Form->StopSE2(false);
    ASSERT_TRUE(Form->PlaySE2("rain.adp", PackFileMan, false));
    Frames(80);
    EXPECT_NE(Form->SE2Buffer, nullptr);
    EXPECT_FALSE(Form->PlaySE2("none.adp", PackFileMan, false));
    EXPECT_EQ(Form->SE2Buffer, nullptr);
}

TEST_F(AudioServiceTest, WithoutASoundDeviceEveryCallSucceedsSilently)
{
    TGameForm form(nullptr, "ZB", false);
    EXPECT_TRUE(form.PlayBGM(1, true, true));
    EXPECT_TRUE(form.PlayVoiceNo(1));
    EXPECT_TRUE(form.PlaySE("a.adp", nullptr));
    EXPECT_TRUE(form.PlaySE2("a.adp", nullptr, true));
    form.StopBGM(true);
    form.StopVoice();
    form.StopSE();
    form.StopSE2(true);
    EXPECT_FALSE(form.IsSEPlaying());
    EXPECT_EQ(form.BGMTrack, 0);
}

namespace {

// Changes music and stops everything over and over while the wait thread pumps frames.
struct TAudioFlow : TMainThread {
    explicit TAudioFlow(std::atomic<int>& rounds) : Rounds(rounds) {}
    std::atomic<int>& Rounds;
    void Run() override
    {
        BeginWait();
        for (int i = 0; i < 60 && !Terminated(); ++i) {
            PlayBGM(1 + i % 3, true, i % 2 == 0);
            if (i % 7 == 0)
                StopAllSound(i % 2 == 0);
            if (i % 5 == 0)
                StopBGM(true);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            Rounds.fetch_add(1);
        }
        BeginPlay();
        while (!Terminated())
            WaitSignal();
    }
};

}  // namespace

TEST_F(AudioServiceTest, WrappersRaceFramesAndHandlersSafely)
{
    for (int track = 1; track <= 3; ++track)
        Folder.Write(TrackPath(track), Tone(22050, 200.0 * track));
    std::atomic<int> rounds{0};
    TGameForm::SetGameThreadFactory([&] { return static_cast<TMainThread*>(new TAudioFlow(rounds)); });
    ASSERT_TRUE(StartForm(false));
    WriteSound("rain.adp", 4410);
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int i = 0;
    while (rounds.load() < 60 && std::chrono::steady_clock::now() < end) {
        Form->SetVolumeBGM(40 + i % 30);
        Form->SetVolumeSE(50 + i % 50);
        if (i % 3 == 0)
            Form->PlaySE2("rain.adp", PackFileMan, i % 2 == 0);
        else
            Form->StopSE2(true);
        ++i;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(rounds.load(), 60);
    Form->Close();
    EXPECT_TRUE(LogLines().empty());
}
