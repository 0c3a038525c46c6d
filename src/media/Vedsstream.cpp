#include <pthread.h>

#include <algorithm>

#include "media/Vedsound.h"

namespace DirectX {

// ---- TDSoundThread

void TDSoundThread::Start()
{
    Stop();
    FTerminated.store(false);
    FWakeRequested.store(0);
    FThread = std::thread(&TDSoundThread::Execute, this);
    // Named, so that it can be told apart in a thread listing (and by the tests, which count
    // its own wake-ups); by its starter, so that the name stands once Play returns.
    pthread_setname_np(FThread.native_handle(), RefillThreadName);
}

void TDSoundThread::Stop()
{
    if (!FThread.joinable())
        return;
    FTerminated.store(true);
    FWakeRequested.store(1);
    FWakeRequested.notify_all();
    FThread.join();
}

void TDSoundThread::Wake()
{
    if (FWakeRequested.exchange(1) == 0)
        FWakeRequested.notify_one();
}

void TDSoundThread::Execute()
{
    for (;;) {
        FStream->Refill();
        if (FStream->FEndWritten.load())
            return;  // everything is in the ring; a new Play starts a new thread
        FWakeRequested.wait(0);
        FWakeRequested.store(0);
        if (FTerminated.load())
            return;
    }
}

// ---- TDSoundStream

TDSoundStream::TDSoundStream(TDSound* device, const TAdpReader& reader)
    : TCustomDSoundBuffer(device), FReader(reader), FRing(RingFrames * 2, 0), FThread(this)
{
}

TDSoundStream::~TDSoundStream()
{
    Detach();
    FStopRefill.store(true);
    FThread.Stop();
}

bool TDSoundStream::Play(bool loop)
{
    std::mutex* lock = MixLock();
    if (lock == nullptr)
        return false;
    {
        std::lock_guard<std::mutex> guard(*lock);
        FPlaying.store(false);
    }
    FStopRefill.store(true);
    FThread.Stop();
    // Neither the mixer nor the refill thread touches the ring or the decoder now.
    if (!FReader.Rewind())
        return false;
    FStopRefill.store(false);
    FWritten.store(0);
    FRead.store(0);
    FEndWritten.store(false);
    FLoop = loop;
    FFramesSinceRewind = 0;
    Refill();
    if (FWritten.load() == 0)
        return false;
    {
        std::lock_guard<std::mutex> guard(*lock);
        FPlaying.store(true);
    }
    if (!FEndWritten.load())
        FThread.Start();
    return true;
}

void TDSoundStream::Stop()
{
    if (std::mutex* lock = MixLock()) {
        std::lock_guard<std::mutex> guard(*lock);
        FPlaying.store(false);
    } else {
        FPlaying.store(false);
    }
    FStopRefill.store(true);
    FThread.Stop();
}

void TDSoundStream::Refill()
{
    constexpr uint64_t Chunk = 4096;
    while (!FStopRefill.load(std::memory_order_relaxed) && !FEndWritten.load(std::memory_order_relaxed)) {
        uint64_t written = FWritten.load(std::memory_order_relaxed);
        uint64_t free = RingFrames - (written - FRead.load(std::memory_order_acquire));
        if (free < Chunk / 4)
            return;
        uint64_t index = written & (RingFrames - 1);
        int want = static_cast<int>(std::min({free, Chunk, RingFrames - index}));
        int got = FReader.Read(FRing.data() + index * 2, want);
        FFramesSinceRewind += static_cast<uint64_t>(got);
        FWritten.store(written + static_cast<uint64_t>(got), std::memory_order_release);
        if (got < want) {
            // The end of the data: start over when looping (unless a pass gave nothing at all).
            if (FLoop && FFramesSinceRewind > 0 && FReader.Rewind()) {
                FFramesSinceRewind = 0;
                continue;
            }
            FEndWritten.store(true, std::memory_order_release);
        }
    }
}

void TDSoundStream::MixInto(int32_t* acc, int frames)
{
    const uint64_t read = FRead.load(std::memory_order_relaxed);
    const uint64_t available = FWritten.load(std::memory_order_acquire) - read;
    const uint64_t count = std::min<uint64_t>(available, static_cast<uint64_t>(frames));
    const int32_t gain = FGain.load(std::memory_order_relaxed);
    uint64_t done = 0;
    while (done < count) {
        uint64_t index = (read + done) & (RingFrames - 1);
        uint64_t n = std::min(count - done, RingFrames - index);
        const int16_t* __restrict src = FRing.data() + index * 2;
        int32_t* __restrict dst = acc + done * 2;
        if (gain != 0)
            for (uint64_t i = 0; i < n * 2; ++i)
                dst[i] += (src[i] * gain) >> 16;
        done += n;
    }
    FRead.store(read + count, std::memory_order_release);
    if (count < static_cast<uint64_t>(frames) && FEndWritten.load(std::memory_order_acquire) &&
        FWritten.load(std::memory_order_acquire) == read + count) {
        FPlaying.store(false);
        return;
    }
    // An underrun plays silence and keeps going; the refill thread catches up.
    if (available - count < RingFrames / 2)
        FThread.Wake();
}

}  // namespace DirectX
