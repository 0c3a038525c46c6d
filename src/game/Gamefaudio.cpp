// The audio channels as the frame loop, the settings and the shut-down use them: stopping a
// music channel or the second effect, the volume setters, and stopping everything. Playing
// joins this unit with the rest of the audio service.
#include "archive/Vefileman.h"
#include "base/Vememman.h"
#include "game/Gamef.h"
#include "media/Vedsound.h"

long TGameForm::VolumeAttenuation(int volume)
{
    if (volume < 1)
        return -10000;
    if (volume >= 100)
        return 0;
    return static_cast<long>(volume) * 40 - 4000;
}

bool TGameForm::StopBGMStream(int channel)
{
    if (channel < 0 || channel > 1 || !SoundLock)
        return true;
    std::lock_guard<TCriticalSection> lock(*SoundLock);
    if (BGMStream[channel]) {
        PlayMuteBuffer();
        BGMStream[channel]->Stop();
        if (MemMan)
            MemMan->Delete(BGMStream[channel]);
        if (BGMFileMan)
            BGMFileMan->Close(BGMFile[channel]);
    }
    return true;
}

void TGameForm::StopSE2(bool fade)
{
    if (!SoundLock)
        return;
    std::lock_guard<TCriticalSection> lock(*SoundLock);
    if (!SE2Buffer)
        return;
    if (fade && VolumeSE.load() > 0) {
        if (SE2Fade < 0)
            SE2Fade = -SE2Fade;
        else if (SE2Fade == 0)
            SE2Fade = VolumeSE.load();
        return;
    }
    PlayMuteBuffer();
    SE2Buffer->Stop();
    if (MemMan)
        MemMan->Delete(SE2Buffer);
    SE2Name.clear();
}

void TGameForm::StopAllChannels()
{
    if (!SoundLock)
        return;
    std::lock_guard<TCriticalSection> lock(*SoundLock);
    StopBGMStream(0);
    StopBGMStream(1);
    BGMFadeOut = -1;
    BGMTrack = 0;
    BGMLoop = false;
    for (DirectX::TDSoundBuffer** buffer : {&VoiceBuffer, &SEBuffer, &SE2Buffer}) {
        if (*buffer) {
            (*buffer)->Stop();
            if (MemMan)
                MemMan->Delete(*buffer);
        }
    }
    VoiceName.clear();
    SEName.clear();
    SE2Name.clear();
    SE2Fade = 0;
}

void TGameForm::SetVolumeVoice(int v)
{
    VolumeVoice.store(v);
    if (!SoundLock)
        return;
    std::lock_guard<TCriticalSection> lock(*SoundLock);
    if (VoiceBuffer)
        VoiceBuffer->SetVolume(VolumeAttenuation(v));
}

void TGameForm::SetVolumeBGM(int v)
{
    VolumeBGM.store(v);
    if (!SoundLock)
        return;
    std::lock_guard<TCriticalSection> lock(*SoundLock);
    if (BGMStream[BGMCurrent])
        BGMStream[BGMCurrent]->SetVolume(VolumeAttenuation(v));
    int other = BGMCurrent ^ 1;
    if (BGMStream[other] && BGMFadeOut < 0)
        BGMStream[other]->SetVolume(VolumeAttenuation(v));
}

void TGameForm::SetVolumeSE(int v)
{
    VolumeSE.store(v);
    if (!SoundLock)
        return;
    std::lock_guard<TCriticalSection> lock(*SoundLock);
    if (SEBuffer)
        SEBuffer->SetVolume(VolumeAttenuation(v));
    if (SE2Buffer && SE2Fade == 0)
        SE2Buffer->SetVolume(VolumeAttenuation(v));
}

bool TGameForm::PlayBGMStream(int, int, int, bool) { return true; }
bool TGameForm::PlayBGM(int, bool, bool) { return true; }
void TGameForm::StopBGM(bool) {}
bool TGameForm::PlayVoice(const std::string&, TFileMan*) { return true; }
bool TGameForm::PlayVoiceNo(int) { return true; }
void TGameForm::StopVoice() {}
bool TGameForm::PlaySE(const std::string&, TFileMan*) { return true; }
void TGameForm::StopSE() {}
bool TGameForm::IsSEPlaying() { return false; }
bool TGameForm::PlaySE2(const std::string&, TFileMan*, bool) { return true; }
