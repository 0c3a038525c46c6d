#pragma once
// The voice that plays a movie's sound track through the device's mixer: it drains the
// decoder's ring as the device asks for frames, so the mixer's position is the movie's clock.

#include "media/Vedsound.h"

class TMovieDecoder;

namespace DirectX {

class TMovieSoundBuffer final : public TCustomDSoundBuffer {
public:
    // decoder must outlive the voice; null when the device is not enabled.
    static TMovieSoundBuffer* Create(TDSound* device, TMovieDecoder* decoder);
    ~TMovieSoundBuffer() override;

    // Starts draining the ring (the loop flag is ignored: the movie decides the end). False
    // when the device has been released.
    bool Play(bool loop) override;
    // Once this returns the mixer no longer reads the ring, so the decoder may rewind it.
    void Stop() override;

private:
    TMovieSoundBuffer(TDSound* device, TMovieDecoder* decoder);
    void MixInto(int32_t* acc, int frames) override;

    TMovieDecoder* FDecoder;
};

}  // namespace DirectX
