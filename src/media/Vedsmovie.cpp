#include "media/Vedsmovie.h"

#include <algorithm>

#include "platform/Movie.h"

namespace DirectX {

TMovieSoundBuffer* TMovieSoundBuffer::Create(TDSound* device, TMovieDecoder* decoder)
{
    if (device == nullptr || decoder == nullptr || !device->GetEnabled())
        return nullptr;
    return new TMovieSoundBuffer(device, decoder);
}

TMovieSoundBuffer::TMovieSoundBuffer(TDSound* device, TMovieDecoder* decoder)
    : TCustomDSoundBuffer(device), FDecoder(decoder)
{
}

TMovieSoundBuffer::~TMovieSoundBuffer() { Detach(); }

bool TMovieSoundBuffer::Play(bool)
{
    std::mutex* lock = MixLock();
    if (lock == nullptr)
        return false;
    std::lock_guard<std::mutex> guard(*lock);
    FPlaying.store(true);
    return true;
}

void TMovieSoundBuffer::Stop()
{
    if (std::mutex* lock = MixLock()) {
        std::lock_guard<std::mutex> guard(*lock);
        FPlaying.store(false);
    } else {
        FPlaying.store(false);
    }
}

void TMovieSoundBuffer::MixInto(int32_t* acc, int frames)
{
    // Runs under the mix lock: a small stack block keeps the mixer free of allocation.
    int16_t block[1024 * 2];
    const int32_t gain = FGain.load(std::memory_order_relaxed);
    int done = 0;
    while (done < frames) {
        int got = FDecoder->ReadAudio(block, std::min(frames - done, 1024));
        if (got == 0)
            return;  // nothing decoded yet: silence, and the movie's clock waits
        int32_t* __restrict dst = acc + done * 2;
        if (gain != 0)
            for (int i = 0; i < got * 2; ++i)
                dst[i] += (block[i] * gain) >> 16;
        done += got;
    }
}

}  // namespace DirectX
