#include "media/Vemovie.h"

#include "base/Vergbbits.h"
#include "media/Vedsmovie.h"
#include "media/Vedsound.h"

TVeMovie::TVeMovie(DirectX::TDSound* sound) : FSound(sound) {}

TVeMovie::~TVeMovie() { Close(); }

bool TVeMovie::Open(const std::string& name)
{
    Close();
    if (!FDecoder.Open(name))
        return false;
    if (FDecoder.HasAudio()) {
        FVoice = DirectX::TMovieSoundBuffer::Create(FSound, &FDecoder);
        if (FVoice)
            FVoice->SetVolume(FVolume);
    }
    return true;
}

void TVeMovie::Close()
{
    Stop();
    delete FVoice;  // leaves the mixer before the decoder it reads from goes
    FVoice = nullptr;
    FDecoder.Close();
}

bool TVeMovie::Play(int width, int height, TBitDepth depth)
{
    if (depth != bd24 && depth != bd32)
        return false;
    // The mixer must be off the ring before the decoder rewinds it.
    if (FVoice)
        FVoice->Stop();
    if (!FDecoder.Start(width, height, BytesPerPixel(depth), FVoice != nullptr))
        return false;
    FBytesPerPixel = BytesPerPixel(depth);
    if (FVoice)
        FVoice->Play(false);
    return true;
}

void TVeMovie::Stop()
{
    if (FVoice)
        FVoice->Stop();
    FDecoder.Stop();
}

TMovieUpdate TVeMovie::Update(TVeRGBBits* target)
{
    TMovieUpdate none;
    if (!FDecoder.Running())
        return none;
    // Blue, green, red in the first three bytes: the 24-bit format and both 32-bit ones.
    bool usable = target && target->Created() && BytesPerPixel(target->BitDepth()) == FBytesPerPixel &&
                  (target->PixFormat() == pf24_888 || target->PixFormat() == pf32_888 ||
                   target->PixFormat() == pf32_8888);
    if (!usable || !target->Lock())
        return FDecoder.Update(TPixelTarget{});  // time goes on; the picture is dropped
    TPixelTarget pixels{target->Bits(), target->Pitch(), target->Width(), target->Height(), FBytesPerPixel};
    TMovieUpdate result = FDecoder.Update(pixels);
    target->Unlock();
    return result;
}

bool TVeMovie::HasSound() const
{
    return FVoice != nullptr && FVoice->GetDevice() != nullptr;
}

bool TVeMovie::SetVolume(long attenuation)
{
    if (attenuation < DirectX::DSBVolumeMin || attenuation > DirectX::DSBVolumeMax)
        return false;
    FVolume = attenuation;
    if (FVoice)
        FVoice->SetVolume(attenuation);
    return true;
}
