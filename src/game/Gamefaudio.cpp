// The audio service: two music channels that cross-fade, one voice, one sound effect and a
// looping second effect that fades in and out. The frame loop advances the fades; everything
// here runs under SoundLock, which is recursive so that one operation may call another.
#include <cstdio>

#include "archive/Vefileman.h"
#include "base/Vememman.h"
#include "game/Gamef.h"
#include "game/Zbfunc.h"
#include "media/Vedsound.h"

namespace {

// No device, or one that is not open: plays succeed without playing. Stops need no such check,
// as no channel can exist then.
bool SoundMissing(const TGameForm& form)
{
    return form.DSound == nullptr || !form.DSound->GetEnabled() || form.SoundLock == nullptr;
}

// Stops and deletes a sound through the registry. One the registry does not know (its recording
// failed) is still ours, and a stream must be gone before the file it reads is closed.
template <class T>
void DeleteSound(T*& sound)
{
    if (sound == nullptr)
        return;
    sound->Stop();
    if (MemMan)
        MemMan->Delete(sound);
    delete sound;
    sound = nullptr;
}

}  // namespace

DirectX::TDSoundBuffer* TGameForm::LoadSound(TFileMan* files, const std::string& name)
{
    if (DSound == nullptr || !DSound->GetEnabled())
        return nullptr;
    TStream* file = OpenDataFile(files, name);
    if (file == nullptr)
        return nullptr;
    std::string failure;
    DirectX::TDSoundBuffer* buffer = DSound->CreateBufferFromAdp(file, false, false, false, &failure);
    files->Close(file);
    if (buffer == nullptr)
        NoteDataFile(name, failure);
    else if (MemMan)
        MemMan->AddPtr(buffer);
    return buffer;
}

long TGameForm::VolumeAttenuation(int volume)
{
    if (volume < 1)
        return -10000;
    if (volume >= 100)
        return 0;
    return static_cast<long>(volume) * 40 - 4000;
}

bool TGameForm::PlayBGMStream(int channel, int track, int volume, bool loop)
{
    if (channel < 0 || channel > 1)
        return false;
    if (SoundMissing(*this))
        return true;
    std::lock_guard<TCriticalSection> lock(*SoundLock);
    StopBGMStream(channel);
    if (BGMFileMan == nullptr)
        return false;
    char name[32];
    std::snprintf(name, sizeof name, "Track%02d.bgm", track);
    TStream* file = OpenDataFile(BGMFileMan, name);
    if (file == nullptr)
        return false;
    std::string failure;
    DirectX::TDSoundStream* stream = DSound->CreateStreamFromAdp(file, false, false, &failure);
    if (stream == nullptr) {
        BGMFileMan->Close(file);
        NoteDataFile(name, failure);
        return false;
    }
    if (MemMan)
        MemMan->AddPtr(stream);
    BGMStream[channel] = stream;
    BGMFile[channel] = file;
    stream->SetVolume(VolumeAttenuation(volume));
    return stream->Play(loop);
}

bool TGameForm::StopBGMStream(int channel)
{
    if (channel < 0 || channel > 1 || !SoundLock)
        return true;
    std::lock_guard<TCriticalSection> lock(*SoundLock);
    if (BGMStream[channel]) {
        PlayMuteBuffer();
        DeleteSound(BGMStream[channel]);
    }
    if (BGMFile[channel] && BGMFileMan)
        BGMFileMan->Close(BGMFile[channel]);
    BGMFile[channel] = nullptr;
    return true;
}

bool TGameForm::PlayBGM(int track, bool loop, bool crossFade)
{
    if (SoundMissing(*this))
        return true;
    // One lock for the whole change: a fade step in between would see half a switch.
    std::lock_guard<TCriticalSection> lock(*SoundLock);
    if (BGMTrack == track && BGMLoop == loop)
        return true;
    int current = BGMCurrent;
    if (crossFade) {
        BGMFadeOut = BGMStream[current] ? VolumeBGM.load() : -1;
    } else {
        StopBGMStream(current);
        BGMFadeOut = -1;
    }
    BGMCurrent = current ^ 1;
    StopBGMStream(BGMCurrent);  // an older track still fading out
    bool ok = PlayBGMStream(BGMCurrent, track, VolumeBGM.load(), loop);
    BGMTrack = ok ? track : 0;
    BGMLoop = ok ? loop : false;
    return ok;
}

void TGameForm::StopBGM(bool fade)
{
    if (SoundLock == nullptr)
        return;
    std::lock_guard<TCriticalSection> lock(*SoundLock);
    int current = BGMCurrent;
    if (fade && VolumeBGM.load() > 0) {
        BGMFadeOut = BGMStream[current] ? VolumeBGM.load() : -1;
    } else {
        StopBGMStream(current);
        BGMFadeOut = -1;
    }
    BGMCurrent = current ^ 1;
    StopBGMStream(BGMCurrent);
    BGMTrack = 0;
    BGMLoop = false;
}

bool TGameForm::PlayVoice(const std::string& name, TFileMan* files)
{
    if (SoundMissing(*this))
        return true;
    std::lock_guard<TCriticalSection> lock(*SoundLock);
    if (VoiceBuffer && VoiceName == name)
        return VoiceBuffer->Play(false);
    StopVoice();
    VoiceBuffer = LoadSound(files, name);
    if (VoiceBuffer == nullptr)
        return false;
    VoiceBuffer->SetVolume(VolumeAttenuation(VolumeVoice.load()));
    bool ok = VoiceBuffer->Play(false);
    VoiceName = name;
    return ok;
}

bool TGameForm::PlayVoiceNo(int n)
{
    char name[32];
    std::snprintf(name, sizeof name, "gs1%03d.adp", n);
    return PlayVoice(name, PackFileMan);
}

void TGameForm::StopVoice()
{
    if (SoundLock == nullptr)
        return;
    std::lock_guard<TCriticalSection> lock(*SoundLock);
    if (VoiceBuffer == nullptr)
        return;
    PlayMuteBuffer();
    DeleteSound(VoiceBuffer);
    VoiceName.clear();
}

bool TGameForm::PlaySE(const std::string& name, TFileMan* files)
{
    if (SoundMissing(*this))
        return true;
    std::lock_guard<TCriticalSection> lock(*SoundLock);
    if (SEBuffer && SEName == name)
        return SEBuffer->Play(false);
    StopSE();
    SEBuffer = LoadSound(files, name);
    if (SEBuffer == nullptr)
        return false;
    SEBuffer->SetVolume(VolumeAttenuation(VolumeSE.load()));
    bool ok = SEBuffer->Play(false);
    SEName = name;
    return ok;
}

void TGameForm::StopSE()
{
    if (SoundLock == nullptr)
        return;
    std::lock_guard<TCriticalSection> lock(*SoundLock);
    if (SEBuffer == nullptr)
        return;
    PlayMuteBuffer();
    DeleteSound(SEBuffer);
    SEName.clear();
}

bool TGameForm::IsSEPlaying()
{
    if (SoundLock == nullptr)
        return false;
    std::lock_guard<TCriticalSection> lock(*SoundLock);
    return SEBuffer && SEBuffer->IsPlay();
}

bool TGameForm::PlaySE2(const std::string& name, TFileMan* files, bool fadeIn)
{
    if (SoundMissing(*this))
        return true;
    std::lock_guard<TCriticalSection> lock(*SoundLock);
    int volume = VolumeSE.load();
    if (SE2Buffer && SE2Name == name) {
        // The loop goes on; one fading out is taken back, or it would die after this success.
        if (SE2Fade > 0) {
            if (fadeIn && SE2Fade < volume) {
                SE2Fade -= volume;
            } else {
                SE2Fade = 0;
                SE2Buffer->SetVolume(VolumeAttenuation(volume));
            }
        }
        return true;
    }
    StopSE2(false);
    SE2Buffer = LoadSound(files, name);
    if (SE2Buffer == nullptr)
        return false;
    if (fadeIn) {
        SE2Buffer->SetVolume(DirectX::DSBVolumeMin);
        SE2Fade = -volume;
    } else {
        SE2Buffer->SetVolume(VolumeAttenuation(volume));
        SE2Fade = 0;
    }
    bool ok = SE2Buffer->Play(true);
    SE2Name = name;
    return ok;
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
    DeleteSound(SE2Buffer);
    SE2Name.clear();
    // A fade left behind would take hold of the next second effect.
    SE2Fade = 0;
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
    DeleteSound(VoiceBuffer);
    DeleteSound(SEBuffer);
    DeleteSound(SE2Buffer);
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
