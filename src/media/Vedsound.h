#pragma once
// The sound device and its buffers. The device mixes every playing buffer into one 44100 Hz
// stereo 16-bit output: each voice is scaled by its own gain and the sum saturates to 16 bits.
//
// Threads: buffers are created, played, stopped and deleted from any thread; SetVolume may run
// without the caller's sound lock (fades), so gains are atomics. The mixer runs on the device
// thread under FMixLock, which every change to the voice list or a voice's position also takes:
// once a buffer's destructor has returned, the mixer never touches it again.
//
// Ownership: whoever creates a buffer deletes it. Releasing the device (or deleting it) only
// stops the buffers still listed and detaches them; a detached buffer no longer plays (a
// stream's refill thread ends with its Stop or its deletion) and may be deleted at any later
// time, so the device and its buffers can go in either order.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/Veacm.h"
#include "platform/Classes.h"
#include "platform/Streams.h"

namespace DirectX {

class TDSound;

// Volume in hundredths of a decibel: 0 is full, -10000 exactly silent.
constexpr long DSBVolumeMax = 0;
constexpr long DSBVolumeMin = -10000;
// The gain of an attenuation as a 16.16 fixed-point factor (65536 = unity).
int32_t AttenuationToGain(long attenuation);

class TCustomDSoundBuffer : public TObject {
public:
    ~TCustomDSoundBuffer() override;
    TCustomDSoundBuffer(const TCustomDSoundBuffer&) = delete;
    TCustomDSoundBuffer& operator=(const TCustomDSoundBuffer&) = delete;

    // Starts from the beginning; false when the device has been released.
    virtual bool Play(bool loop) = 0;
    // A requested stop: playback ends at once and nothing else follows.
    virtual void Stop() = 0;
    // False (and no change) outside -10000..0.
    bool SetVolume(long attenuation);
    long GetVolume() const { return FVolume.load(); }
    bool IsPlay() const { return FPlaying.load(); }
    // null once the buffer has been detached from a released device.
    TDSound* GetDevice() const { return FDevice.load(); }

protected:
    explicit TCustomDSoundBuffer(TDSound* device);
    // Leaves the device's list; every final destructor calls it first, before its members go.
    void Detach();
    // Adds this voice to acc (2 * frames stereo samples); runs under the device's FMixLock.
    virtual void MixInto(int32_t* acc, int frames) = 0;
    std::mutex* MixLock() const;

    std::atomic<TDSound*> FDevice;
    std::atomic<bool> FPlaying{false};
    std::atomic<int32_t> FGain{65536};
    std::atomic<long> FVolume{0};

    friend class TDSound;
};

// A whole sound held in device format.
class TDSoundBuffer : public TCustomDSoundBuffer {
public:
    TDSoundBuffer(TDSound* device, std::vector<int16_t> frames);
    ~TDSoundBuffer() override;
    bool Play(bool loop) override;
    void Stop() override;
    int64_t FrameCount() const { return static_cast<int64_t>(FData.size() / 2); }

protected:
    void MixInto(int32_t* acc, int frames) override;

private:
    std::vector<int16_t> FData;
    size_t FPosition = 0;  // in frames; guarded by the mix lock
    bool FLoop = false;
};

class TDSoundStream;

// The refill thread of one streamed buffer: tops up the ring whenever the mixer has drained it
// below half, and sleeps in between.
class TDSoundThread {
public:
    explicit TDSoundThread(TDSoundStream* stream) : FStream(stream) {}
    ~TDSoundThread() { Stop(); }
    TDSoundThread(const TDSoundThread&) = delete;
    TDSoundThread& operator=(const TDSoundThread&) = delete;

    // The name the thread runs under (at most 15 characters).
    static constexpr const char* RefillThreadName = "sound refill";

    void Start();
    // Asks the thread to end and joins it.
    void Stop();
    // Called by the mixer; never blocks.
    void Wake();

private:
    void Execute();

    TDSoundStream* FStream;
    std::thread FThread;
    // Waited on and posted without a lock (the mixer must never block), so no post is lost.
    std::atomic<uint32_t> FWakeRequested{0};
    std::atomic<bool> FTerminated{false};
};

// ADP1 data decoded from a still-open stream into a ring of device frames.
class TDSoundStream : public TCustomDSoundBuffer {
public:
    static constexpr uint64_t RingFrames = 65536;  // about 1.5 s

    // reader was opened on the still-open stream it decodes from.
    TDSoundStream(TDSound* device, const TAdpReader& reader);
    ~TDSoundStream() override;
    bool Play(bool loop) override;
    void Stop() override;

    // For tests that mix on their own thread, which a busy machine may run far ahead of the
    // refill thread: frames in the ring not yet mixed, and whether the sound's end is among them.
    uint64_t QueuedFrames() const
    {
        const uint64_t read = FRead.load();  // first: it never passes what was written before
        return FWritten.load() - read;
    }
    bool EndQueued() const { return FEndWritten.load(); }

protected:
    void MixInto(int32_t* acc, int frames) override;

private:
    friend class TDSoundThread;
    // Decodes into the free part of the ring; only the refill thread (or Play before it starts).
    void Refill();

    TAdpReader FReader;
    std::vector<int16_t> FRing;
    std::atomic<uint64_t> FWritten{0};  // frames ever written: the refill side
    std::atomic<uint64_t> FRead{0};     // frames ever mixed: the mixer side
    std::atomic<bool> FEndWritten{false};
    std::atomic<bool> FStopRefill{false};
    bool FLoop = false;
    uint64_t FFramesSinceRewind = 0;
    TDSoundThread FThread;
};

class TDSound : public TComponent {
public:
    explicit TDSound(TComponent* owner);
    ~TDSound() override;

    // True opens the device and sets Enabled on success; false closes the device, stops every
    // buffer still listed and detaches it (its owner still deletes it).
    void SetEnabled(bool value);
    bool GetEnabled() const { return FEnabled.load(); }
    // Why the last SetEnabled(true) found no device, in the sound library's words; empty after
    // one that opened it.
    const std::string& OpenFailure() const { return FOpenFailure; }
    // Enabled with no device behind it: the owner calls Mix itself (tests, offline rendering).
    void EnableOffline();

    // null when not enabled or on failure.
    TDSoundBuffer* CreateBufferMute(int seconds);
    // Decodes all of the ADP1 data at the stream's position; the stream may be closed at once.
    // The option flags are not used by the game and are ignored. On failure (null) failure,
    // when given, receives why.
    TDSoundBuffer* CreateBufferFromAdp(TStream* stream, bool option1, bool option2, bool option3,
                                       std::string* failure = nullptr);
    // Plays the ADP1 data of stream as it is read; the stream must stay open until the result
    // is deleted. The option flags are ignored. On failure as above.
    TDSoundStream* CreateStreamFromAdp(TStream* stream, bool option1, bool option2, std::string* failure = nullptr);

    // The mixing function of the device: fills frames stereo frames of out.
    void Mix(int16_t* out, int frames);
    int BufferCount();

    // Whole-sound buffers longer than this are refused (a voice or effect, never music).
    static constexpr int64_t MaxBufferFrames = int64_t(44100) * 600;

private:
    friend class TCustomDSoundBuffer;
    static void MixCallback(void* user, int16_t* out, int frames);
    void Add(TCustomDSoundBuffer* buffer);
    void Remove(TCustomDSoundBuffer* buffer);
    void Release();

    std::mutex FMixLock;
    std::vector<TCustomDSoundBuffer*> FBuffers;
    std::vector<int32_t> FAcc;
    std::atomic<bool> FEnabled{false};
    bool FDeviceOpen = false;
    std::string FOpenFailure;
};

}  // namespace DirectX
