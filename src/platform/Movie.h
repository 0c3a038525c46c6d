#pragma once
// A movie file played from a decode thread. Pictures are converted on that thread to blue,
// green, red (and a fourth byte) at the size asked by Start and wait in a queue of a few
// frames; the sound track is resampled to the device format (44100 Hz, stereo, 16-bit) into a
// ring that the mixer drains with ReadAudio.
//
// Clock: while the sound track is played (Start with audioClock), movie time is the position
// the mixer has reached in the ring, so pictures follow the sound; without a sound track, or
// once it has ended, or when the mixer has left sound in the ring untaken for a second, a
// monotonic clock carries on from there.
//
// Threads: Open, Start, Stop and Close run on one controlling thread; Update and Time on the
// thread that shows frames; ReadAudio on the mixer's thread. Update and ReadAudio take no lock
// the decode thread holds and never allocate: the queue and the ring are single-producer,
// single-consumer.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/Gdi.h"

struct TMovieUpdate {
    bool NewPicture = false;  // a picture was written into the target
    bool Ended = false;       // every picture has been shown and the movie's time is over
    bool Failed = false;      // the movie could not be played; see LastError
    bool Damaged = false;     // with Ended: what could be played of a cut or damaged file was; see LastError
};

// The step at which opening a movie failed.
enum class TMovieOpenStep : uint8_t {
    None,         // opened, or not tried
    Memory,       // nothing could be allocated for it
    File,         // no such file, or not a movie file that can be read
    VideoStream,  // the file has no video stream
    VideoDecoder, // its video stream has no decoder that opens
    Libraries,    // the movie libraries cannot be loaded; LastError names the library and why
    PictureSize,  // the stream's picture size is unusable
};

class TMovieDecoder {
public:
    TMovieDecoder();
    ~TMovieDecoder();
    TMovieDecoder(const TMovieDecoder&) = delete;
    TMovieDecoder& operator=(const TMovieDecoder&) = delete;

    // Opens the file (the game's file-name rules apply) and its first video stream and, when
    // there is one that can be decoded, its first audio stream. False with LastError and
    // FailedStep set.
    bool Open(const std::string& name);
    TMovieOpenStep FailedStep() const;
    // Stops and frees everything; the decoder can be opened again.
    void Close();
    bool IsOpen() const;

    // Plays from the start: pictures of width x height at bytesPerPixel 3 or 4. A second Start
    // rewinds. audioClock: the caller drains ReadAudio in real time and its position paces the
    // pictures; otherwise the sound track is not decoded at all.
    bool Start(int width, int height, int bytesPerPixel, bool audioClock);
    // Asks the decode thread to end and joins it; the last picture shown stays shown.
    void Stop();
    bool Running() const;

    // The picture due now, copied into target when there is one (pictures that came due since
    // the last call and were never shown are skipped). The target must have the byte depth
    // given to Start; a target of another size gets the overlapping part.
    TMovieUpdate Update(const TPixelTarget& target);
    // Movie time in milliseconds from the start.
    int64_t Time();

    // Mixer side: up to frames stereo frames of the sound track; returns the count written
    // (0 when nothing is ready). Never blocks.
    int ReadAudio(int16_t* out, int frames);

    int Width() const;
    int Height() const;
    bool HasAudio() const;
    std::string LastError() const;
    // Why the open file's sound track cannot be played, naming the file; empty when it can or
    // when the file has none.
    std::string SoundError() const;

    // Why the movie libraries could not be loaded, the first time it is asked after they failed;
    // empty afterwards and while they load, so the cause is told once however many movies fail.
    static std::string TakeLibraryFailure();

    // Test seams, set before Start: the monotonic clock in milliseconds (default: the steady
    // clock), and a function the decode thread calls before reading each packet.
    void SetClock(std::function<int64_t()> clock);
    void SetPacketHook(std::function<void()> hook);
    // For tests that drive the clock faster than a busy machine decodes: what the decode thread
    // has made and nobody has taken yet, so that they can wait for it instead of for a time.
    struct TBacklog {
        int Pictures = 0;          // decoded, not yet shown or skipped
        uint64_t SoundFrames = 0;  // in the ring, not yet read by the mixer
        bool SoundDone = false;    // no more sound will enter the ring
        bool Finished = false;     // nor any more pictures: the decode thread is done
    };
    TBacklog Backlog() const;

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};
