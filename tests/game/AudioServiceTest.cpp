// The main form's audio service on the real mixer (dummy output): cross-fades and their frame
// steps, missing and broken files, voices and effects, the second effect's fades, and the game
// thread's wrappers against a pumping thread.
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#include "archive/Vefileman.h"
#include "archive/Vepack.h"
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

class AudioServiceTest : public GameFormHarness {
protected:
    void WriteTrack(int track, TByteVector bytes)
    {
        Folder.Write("BGM/Track0" + std::to_string(track) + ".bgm", bytes);
    }
    bool Start()
    {
        for (int track = 1; track <= 3; ++track)
            WriteTrack(track, Tone(22050, 200.0 * track));
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
    EXPECT_TRUE(Form->PlayBGM(1, true, true));  // already playing: untouched
    EXPECT_EQ(Form->BGMStream[Form->BGMCurrent], first);

    // Three quick changes: the oldest track goes at once when its channel is reused.
    ASSERT_TRUE(Form->PlayBGM(2, true, true));
    ASSERT_TRUE(Form->PlayBGM(3, true, true));
    EXPECT_EQ(Streams(), 2);
    EXPECT_EQ(BGMFileMan->OpenCount(), 2);
    EXPECT_EQ(Form->DSound->BufferCount(), buffersAtRest + 2);

    DirectX::TDSoundStream* fading = Form->BGMStream[Form->BGMCurrent ^ 1];
    Frames(34);
    EXPECT_EQ(Form->BGMFadeOut, 2);
    EXPECT_EQ(fading->GetVolume(), TGameForm::VolumeAttenuation(2));
    Frames(1);
    EXPECT_EQ(Streams(), 1);

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
    EXPECT_EQ(Form->DSound->BufferCount(), buffersAtRest);
}

TEST_F(AudioServiceTest, AMissingOrBrokenTrackFailsAndTheNextRequestRetries)
{
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Form->PlayBGM(1, true, false));
    EXPECT_FALSE(Form->PlayBGM(9, true, false));
    EXPECT_EQ(Form->BGMTrack, 0);
    EXPECT_EQ(Streams(), 0);
    WriteTrack(8, TByteVector(100, 7));
    EXPECT_FALSE(Form->PlayBGM(8, true, true));
    EXPECT_EQ(BGMFileMan->OpenCount(), 0);

    WriteTrack(9, Tone(22050, 300.0));
    EXPECT_TRUE(Form->PlayBGM(9, true, false));
    EXPECT_EQ(Streams(), 1);
}

// Every sound that is there but cannot be played is named with why, once for that file and
// cause however often it is asked for again; a missing one says nothing.
TEST_F(AudioServiceTest, UnplayableSoundsAreNamedOncePerFileAndCause)
{
    ASSERT_TRUE(Start());
    const TByteVector good = Tone(22050, 300.0);
    WriteTrack(1, {});                                              // the title music, empty
    WriteTrack(2, TByteVector(good.begin(), good.begin() + 12));    // cut inside its header
    WriteTrack(3, TByteVector(good.begin(), good.begin() + 20));    // cut after its header
    WriteTrack(4, TByteVector(300, 0x5A));                          // garbage
    ASSERT_EQ(mkfifo((Folder.Path() + "/BGM/Track05.bgm").c_str(), 0600), 0);
    std::filesystem::create_directory(Folder.Path() + "/BGM/Track06.bgm");
    Folder.Write("ZB_Pak/gs1003.adp", TByteVector{'A', 'D', 'P', '1'});
    Folder.Write("ZB_Pak/empty.adp", TByteVector{});
    Folder.Write("ZB_Pak/noise.adp", TByteVector(64, 0x11));
    const size_t before = LogLines().size();
    auto newLines = [&] {
        std::vector<std::string> lines = LogLines();
        return std::vector<std::string>(lines.begin() + long(before), lines.end());
    };
    auto lineFor = [&](const std::string& name) {
        std::vector<std::string> found;
        for (const std::string& line : newLines())
            if (line.rfind(name + ": ", 0) == 0)
                found.push_back(line.substr(name.size() + 2));
        return found;
    };

    for (int round = 0; round < 3; ++round) {
        for (int track = 1; track <= 7; ++track)
            EXPECT_FALSE(Form->PlayBGM(track, true, round % 2 == 0)) << track;
        EXPECT_FALSE(Form->PlayVoiceNo(3));
        EXPECT_FALSE(Form->PlaySE("empty.adp", PackFileMan));
        EXPECT_FALSE(Form->PlaySE2("noise.adp", PackFileMan, true));
        EXPECT_FALSE(Form->PlaySE("missing.adp", PackFileMan));
    }
    EXPECT_EQ(newLines().size(), 9u);
    EXPECT_EQ(lineFor("Track01.bgm"), std::vector<std::string>{"empty"});
    ASSERT_EQ(lineFor("Track02.bgm").size(), 1u);
    EXPECT_EQ(lineFor("Track02.bgm")[0].rfind("cut short", 0), 0u) << lineFor("Track02.bgm")[0];
    ASSERT_EQ(lineFor("Track03.bgm").size(), 1u);
    EXPECT_EQ(lineFor("Track03.bgm")[0].rfind("cut short", 0), 0u) << lineFor("Track03.bgm")[0];
    ASSERT_EQ(lineFor("Track04.bgm").size(), 1u);
    EXPECT_NE(lineFor("Track04.bgm")[0].find("ADP1"), std::string::npos) << lineFor("Track04.bgm")[0];
    ASSERT_EQ(lineFor("Track05.bgm").size(), 1u);
    EXPECT_NE(lineFor("Track05.bgm")[0].find("Not a regular file"), std::string::npos) << lineFor("Track05.bgm")[0];
    ASSERT_EQ(lineFor("Track06.bgm").size(), 1u);
    EXPECT_NE(lineFor("Track06.bgm")[0].find(std::strerror(EISDIR)), std::string::npos) << lineFor("Track06.bgm")[0];
    EXPECT_TRUE(lineFor("Track07.bgm").empty());
    ASSERT_EQ(lineFor("gs1003.adp").size(), 1u);
    EXPECT_EQ(lineFor("gs1003.adp")[0].rfind("cut short", 0), 0u) << lineFor("gs1003.adp")[0];
    EXPECT_EQ(lineFor("empty.adp"), std::vector<std::string>{"empty"});
    ASSERT_EQ(lineFor("noise.adp").size(), 1u);
    EXPECT_NE(lineFor("noise.adp")[0].find("ADP1"), std::string::npos) << lineFor("noise.adp")[0];
    EXPECT_TRUE(lineFor("missing.adp").empty());
    EXPECT_EQ(BGMFileMan->OpenCount(), 0);
    EXPECT_EQ(PackFileMan->OpenCount(), 0);

    // The same file with another fault is told again.
    WriteTrack(1, TByteVector(300, 0x5A));
    EXPECT_FALSE(Form->PlayBGM(1, true, false));
    EXPECT_FALSE(Form->PlayBGM(1, true, false));
    ASSERT_EQ(lineFor("Track01.bgm").size(), 2u);
    EXPECT_NE(lineFor("Track01.bgm")[1].find("ADP1"), std::string::npos) << lineFor("Track01.bgm")[1];
}

TEST_F(AudioServiceTest, VoicesAndEffectsPlayReplayAndStop)
{
    ASSERT_TRUE(Start());
    WriteSound("gs1007.adp");
    WriteSound("hit.adp");
    ASSERT_TRUE(Form->PlayVoiceNo(7));
    DirectX::TDSoundBuffer* voice = Form->VoiceBuffer;
    std::remove((Folder.Path() + "/ZB_Pak/gs1007.adp").c_str());
    EXPECT_TRUE(Form->PlayVoiceNo(7));  // replayed from the loaded buffer
    EXPECT_EQ(Form->VoiceBuffer, voice);
    Form->SetVolumeVoice(50);
    EXPECT_EQ(voice->GetVolume(), TGameForm::VolumeAttenuation(50));
    EXPECT_FALSE(Form->PlayVoiceNo(8));  // missing: the old voice is gone all the same
    EXPECT_EQ(Form->VoiceBuffer, nullptr);

    ASSERT_TRUE(Form->PlaySE("hit.adp", PackFileMan));
    EXPECT_TRUE(Form->IsSEPlaying());
    EXPECT_FALSE(Form->PlaySE("other.adp", nullptr));
    EXPECT_FALSE(Form->IsSEPlaying());
    EXPECT_EQ(PackFileMan->OpenCount(), 0);

    // An effect over the member bound is refused like a broken one, with a line that names it
    // and the bound; a missing one says nothing.
    const uint32_t huge = VePackFormat::MaxMemberSize + 1;
    ASSERT_TRUE(WriteRawPack(Folder.Path() + "/se.pak", 16 + huge, {{"big.adp", 16, huge, 0, {}}}));
    TFileMan effects(nullptr);
    ASSERT_TRUE(effects.InitPack(Folder.Path() + "/se.pak"));
    const size_t before = LogLines().size();
    EXPECT_FALSE(Form->PlaySE("missing.adp", &effects));
    EXPECT_EQ(LogLines().size(), before);
    EXPECT_FALSE(Form->PlaySE("big.adp", &effects));
    ASSERT_EQ(LogLines().size(), before + 1);
    EXPECT_EQ(LogLines().back(), "big.adp: " + Folder.Path() + "/se.pak: " + std::to_string(huge) +
                                     " bytes, more than the " + std::to_string(VePackFormat::MaxMemberSize) +
                                     " a member may hold");
    EXPECT_EQ(effects.OpenCount(), 0);
}

TEST_F(AudioServiceTest, SecondEffectFadesInAndOutAndATakenBackFadeKeepsItAlive)
{
    ASSERT_TRUE(Start());
    WriteSound("rain.adp");
    Form->SetVolumeSE(70);
    ASSERT_TRUE(Form->PlaySE2("rain.adp", PackFileMan, true));
    DirectX::TDSoundBuffer* rain = Form->SE2Buffer;
    EXPECT_EQ(rain->GetVolume(), DirectX::DSBVolumeMin);
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
    EXPECT_FALSE(Form->PlaySE2("none.adp", PackFileMan, false));
    EXPECT_EQ(Form->SE2Buffer, nullptr);
}

TEST_F(AudioServiceTest, WithoutASoundDeviceEveryCallSucceedsSilently)
{
    TGameForm form(nullptr, "ZB", false);
    EXPECT_TRUE(form.PlayBGM(1, true, true) && form.PlayVoiceNo(1) && form.PlaySE("a.adp", nullptr) &&
                form.PlaySE2("a.adp", nullptr, true));
    form.StopBGM(true);
    form.StopSE2(true);
    EXPECT_FALSE(form.IsSEPlaying());
}

namespace {

// Changes music and stops everything over and over while the wait thread pumps frames.
struct TAudioFlow : TMainThread {
    TAudioFlow(std::atomic<int>& rounds, std::atomic<bool>& enough) : Rounds(rounds), Enough(enough) {}
    std::atomic<int>& Rounds;
    std::atomic<bool>& Enough;
    void Run() override
    {
        BeginWait();
        for (int i = 0; !Enough.load() && !Terminated(); ++i) {
            PlayBGM(1 + i % 3, true, i % 2 == 0);
            if (i % 5 == 0)
                (i % 2 == 0) ? StopAllSound(i % 3 == 0) : StopBGM(true);
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
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
        WriteTrack(track, Tone(22050, 200.0 * track));
    // They outlive the thread even when the test stops early and the form goes in TearDown.
    static std::atomic<int> rounds;
    static std::atomic<bool> enough;
    rounds = 0;
    enough = false;
    TGameForm::SetGameThreadFactory([&] { return static_cast<TMainThread*>(new TAudioFlow(rounds, enough)); });
    StartForm(false);  // the flow may have left the idle state already
    ASSERT_TRUE(Form->DSound->GetEnabled());
    static std::atomic<int> frames;
    frames = 0;
    Form->SetFrameProc([&](int steps) { frames.fetch_add(steps); });
    WriteSound("rain.adp", 4410);
    auto end = zbtest::HangDeadline();
    int i = 0;
    while ((rounds.load() < 60 || frames.load() < 10) && std::chrono::steady_clock::now() < end) {
        Form->SetVolumeBGM(40 + i % 30);
        Form->SetVolumeSE(50 + i % 50);
        (i % 3 == 0) ? (void)Form->PlaySE2("rain.adp", PackFileMan, i % 2 == 0) : Form->StopSE2(true);
        ++i;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    enough = true;
    EXPECT_GE(rounds.load(), 60);
    EXPECT_GE(frames.load(), 10);  // the fades ran alongside
    Form->SetFrameProc(nullptr);
    Form->Close();
    EXPECT_TRUE(LogLines().empty());
}
