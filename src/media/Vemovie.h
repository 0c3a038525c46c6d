#pragma once
// A movie as the movie screens use it: opened by file name, played from the start, polled once
// per frame for the picture due now, stopped and closed. The sound track plays through the
// sound device as its own voice and paces the pictures; without a sound device (or a sound
// track) the pictures follow a monotonic clock.
//
// Threads: Open, Play, Stop and Close on one thread; Update and Time on the thread that runs
// frames, never at the same time as Play or Close. Update never waits for the decoder.
// Close the movie before the sound device is disabled.

#include <cstdint>
#include <string>

#include "base/Vergbcolor.h"
#include "platform/Classes.h"
#include "platform/Movie.h"

class TVeRGBBits;

namespace DirectX {
class TDSound;
class TMovieSoundBuffer;
}  // namespace DirectX

enum TMovieState : uint8_t { msStop, msRun };

class TVeMovie : public TObject {
public:
    // sound may be null or disabled: the movie then plays without sound.
    explicit TVeMovie(DirectX::TDSound* sound);
    ~TVeMovie() override;
    TVeMovie(const TVeMovie&) = delete;
    TVeMovie& operator=(const TVeMovie&) = delete;

    // False with LastError set for a missing file, a file without a decodable video stream,
    // or data that is not a movie.
    bool Open(const std::string& name);
    void Close();
    bool Opened() const { return FDecoder.IsOpen(); }

    // Starts (or restarts) from time 0 with pictures of width x height for buffers of the
    // given depth (bd24 or bd32). False when not open or the format cannot be served.
    bool Play(int width, int height, TBitDepth depth);
    // Stops the sound and joins the decoder; the picture last written stays in the target.
    void Stop();
    TMovieState GetState() const { return FDecoder.Running() ? msRun : msStop; }

    // Writes the picture due now into target (created, of the depth given to Play), stretched
    // to the size given to Play and clipped to target. The target's modified-rectangle record
    // is not touched: the caller marks its panel changed when NewPicture is set. Does nothing
    // while stopped.
    TMovieUpdate Update(TVeRGBBits* target);
    // Movie time in milliseconds.
    int64_t Time() { return FDecoder.Time(); }

    // Attenuation in hundredths of a decibel, as the sound buffers; kept across Play.
    bool SetVolume(long attenuation);
    long GetVolume() const { return FVolume; }

    int Width() const { return FDecoder.Width(); }
    int Height() const { return FDecoder.Height(); }
    // The sound track has a voice on the device (none once the device has been released).
    bool HasSound() const;
    std::string LastError() const { return FDecoder.LastError(); }
    // For tests: the clock and packet seams.
    TMovieDecoder& Decoder() { return FDecoder; }

private:
    DirectX::TDSound* FSound;
    TMovieDecoder FDecoder;
    DirectX::TMovieSoundBuffer* FVoice = nullptr;
    long FVolume = 0;
    int FBytesPerPixel = 0;
};
