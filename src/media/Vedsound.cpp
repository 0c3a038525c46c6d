#include "media/Vedsound.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "platform/Audio.h"

namespace DirectX {

int32_t AttenuationToGain(long attenuation)
{
    if (attenuation <= DSBVolumeMin)
        return 0;
    if (attenuation >= DSBVolumeMax)
        return 65536;
    return static_cast<int32_t>(std::lround(65536.0 * std::pow(10.0, attenuation / 2000.0)));
}

// ---- TCustomDSoundBuffer

// Joining the list here lets any voice kind (a movie's sound track too) reach the mixer; the
// mixer skips it until Play, so a half-built voice is never mixed.
TCustomDSoundBuffer::TCustomDSoundBuffer(TDSound* device) : FDevice(device)
{
    if (device != nullptr)
        device->Add(this);
}

TCustomDSoundBuffer::~TCustomDSoundBuffer() { Detach(); }

void TCustomDSoundBuffer::Detach()
{
    if (TDSound* device = FDevice.load()) {
        device->Remove(this);
        FDevice.store(nullptr);
    }
}

std::mutex* TCustomDSoundBuffer::MixLock() const
{
    TDSound* device = FDevice.load();
    return device ? &device->FMixLock : nullptr;
}

bool TCustomDSoundBuffer::SetVolume(long attenuation)
{
    if (attenuation < DSBVolumeMin || attenuation > DSBVolumeMax)
        return false;
    FVolume.store(attenuation);
    FGain.store(AttenuationToGain(attenuation));
    return true;
}

// ---- TDSoundBuffer

TDSoundBuffer::TDSoundBuffer(TDSound* device, std::vector<int16_t> frames)
    : TCustomDSoundBuffer(device), FData(std::move(frames))
{
}

TDSoundBuffer::~TDSoundBuffer() { Detach(); }

bool TDSoundBuffer::Play(bool loop)
{
    std::mutex* lock = MixLock();
    if (lock == nullptr || FData.empty())
        return false;
    std::lock_guard<std::mutex> guard(*lock);
    FPosition = 0;
    FLoop = loop;
    FPlaying.store(true);
    return true;
}

void TDSoundBuffer::Stop()
{
    std::mutex* lock = MixLock();
    if (lock == nullptr) {
        FPlaying.store(false);
        return;
    }
    std::lock_guard<std::mutex> guard(*lock);
    FPlaying.store(false);
}

void TDSoundBuffer::MixInto(int32_t* acc, int frames)
{
    const size_t total = FData.size() / 2;
    const int32_t gain = FGain.load(std::memory_order_relaxed);
    int done = 0;
    while (done < frames) {
        size_t n = std::min<size_t>(static_cast<size_t>(frames - done), total - FPosition);
        const int16_t* __restrict src = FData.data() + FPosition * 2;
        int32_t* __restrict dst = acc + done * 2;
        if (gain != 0)
            for (size_t i = 0; i < n * 2; ++i)
                dst[i] += (src[i] * gain) >> 16;
        FPosition += n;
        done += static_cast<int>(n);
        if (FPosition == total) {
            FPosition = 0;
            if (!FLoop) {
                FPlaying.store(false);
                return;
            }
        }
    }
}

// ---- TDSound

TDSound::TDSound(TComponent* owner) : TComponent(owner) {}

TDSound::~TDSound() { Release(); }

void TDSound::MixCallback(void* user, int16_t* out, int frames) { static_cast<TDSound*>(user)->Mix(out, frames); }

void TDSound::SetEnabled(bool value)
{
    if (value == FEnabled.load())
        return;
    if (!value) {
        Release();
        return;
    }
    {
        std::lock_guard<std::mutex> guard(FMixLock);
        FAcc.reserve(8192);
    }
    FOpenFailure.clear();
    if (!Audio::Open(&TDSound::MixCallback, this, &FOpenFailure))
        return;
    FDeviceOpen = true;
    FEnabled.store(true);
}

void TDSound::EnableOffline()
{
    if (!FEnabled.load())
        FEnabled.store(true);
}

void TDSound::Release()
{
    if (FDeviceOpen) {
        Audio::Close();
        FDeviceOpen = false;
    }
    FEnabled.store(false);
    // The buffers belong to their owners (the game also lists them in its registry, which deletes
    // what is left): the device only stops them and lets go, so that whichever goes first, the
    // device or a buffer, the other never reaches it again. Nothing else touches a buffer here:
    // an owner deleting one at the same time either finds it detached or waits in Remove.
    std::lock_guard<std::mutex> guard(FMixLock);
    for (TCustomDSoundBuffer* buffer : FBuffers) {
        buffer->FPlaying.store(false);
        buffer->FDevice.store(nullptr);
    }
    FBuffers.clear();
}

void TDSound::Add(TCustomDSoundBuffer* buffer)
{
    std::lock_guard<std::mutex> guard(FMixLock);
    FBuffers.push_back(buffer);
}

void TDSound::Remove(TCustomDSoundBuffer* buffer)
{
    std::lock_guard<std::mutex> guard(FMixLock);
    buffer->FPlaying.store(false);
    FBuffers.erase(std::remove(FBuffers.begin(), FBuffers.end(), buffer), FBuffers.end());
}

int TDSound::BufferCount()
{
    std::lock_guard<std::mutex> guard(FMixLock);
    return static_cast<int>(FBuffers.size());
}

void TDSound::Mix(int16_t* out, int frames)
{
    if (frames <= 0)
        return;
    std::lock_guard<std::mutex> guard(FMixLock);
    FAcc.assign(static_cast<size_t>(frames) * 2, 0);
    int32_t* acc = FAcc.data();
    for (TCustomDSoundBuffer* buffer : FBuffers)
        if (buffer->FPlaying.load(std::memory_order_relaxed))
            buffer->MixInto(acc, frames);
    for (size_t i = 0; i < static_cast<size_t>(frames) * 2; ++i)
        out[i] = static_cast<int16_t>(std::clamp(acc[i], -32768, 32767));
}

TDSoundBuffer* TDSound::CreateBufferMute(int seconds)
{
    if (!FEnabled.load() || seconds <= 0 || int64_t(seconds) * Audio::DeviceRate > MaxBufferFrames)
        return nullptr;
    try {
        return new TDSoundBuffer(this, std::vector<int16_t>(size_t(seconds) * Audio::DeviceRate * 2, 0));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

namespace {

template <class T>
T* Refuse(std::string* failure, const std::string& why)
{
    if (failure)
        *failure = why;
    return nullptr;
}

}  // namespace

TDSoundBuffer* TDSound::CreateBufferFromAdp(TStream* stream, bool, bool, bool, std::string* failure)
{
    if (!FEnabled.load())
        return Refuse<TDSoundBuffer>(failure, "no sound device");
    TAdpReader reader;
    if (!reader.Open(stream, failure))
        return nullptr;
    uint64_t frames = reader.DeviceFrames();
    if (frames == 0)
        return Refuse<TDSoundBuffer>(failure, "no sound");
    if (frames > uint64_t(MaxBufferFrames))
        return Refuse<TDSoundBuffer>(failure, std::to_string(frames) + " frames, more than the " +
                                                  std::to_string(MaxBufferFrames) + " a whole sound may hold");
    try {
        std::vector<int16_t> pcm(frames * 2);
        int64_t got = 0;
        while (uint64_t(got) < frames) {
            int n = reader.Read(pcm.data() + got * 2, static_cast<int>(std::min<uint64_t>(frames - got, 65536)));
            if (n == 0)
                break;
            got += n;
        }
        if (got == 0)
            return Refuse<TDSoundBuffer>(failure, "no sound data could be read");
        pcm.resize(size_t(got) * 2);
        return new TDSoundBuffer(this, std::move(pcm));
    } catch (const std::bad_alloc&) {
        return Refuse<TDSoundBuffer>(failure, "out of memory");
    }
}

TDSoundStream* TDSound::CreateStreamFromAdp(TStream* stream, bool, bool, std::string* failure)
{
    if (!FEnabled.load())
        return Refuse<TDSoundStream>(failure, "no sound device");
    TAdpReader reader;
    if (!reader.Open(stream, failure))
        return nullptr;
    return new TDSoundStream(this, reader);
}

}  // namespace DirectX
