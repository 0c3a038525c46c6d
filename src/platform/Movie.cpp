#include "platform/Movie.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <dlfcn.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

// The movie libraries are opened at the first movie rather than linked: with what they pull in
// they are most of the program's mapped code and start-up relocations, and many sessions play
// no movie. The sonames are those of the headers the program was built with.
namespace Av {

enum TLibrary { avutil, swresample, swscale, avcodec, avformat, LibraryCount };

const char* const LibraryNames[LibraryCount] = {
    "libavutil.so." AV_STRINGIFY(LIBAVUTIL_VERSION_MAJOR),
    "libswresample.so." AV_STRINGIFY(LIBSWRESAMPLE_VERSION_MAJOR),
    "libswscale.so." AV_STRINGIFY(LIBSWSCALE_VERSION_MAJOR),
    "libavcodec.so." AV_STRINGIFY(LIBAVCODEC_VERSION_MAJOR),
    "libavformat.so." AV_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR),
};

// Every function the player calls, with the library that holds it.
#define ZB_AV_FUNCTIONS(X)                                                                             \
    X(avutil, av_dict_free) X(avutil, av_dict_set) X(avutil, av_frame_alloc) X(avutil, av_frame_free)  \
    X(avutil, av_frame_unref) X(avutil, av_log_set_level) X(avutil, av_rescale_q) X(avutil, av_strerror) \
    X(swresample, swr_alloc_set_opts2) X(swresample, swr_convert) X(swresample, swr_free)              \
    X(swresample, swr_get_out_samples) X(swresample, swr_init)                                         \
    X(swscale, sws_freeContext) X(swscale, sws_getCachedContext) X(swscale, sws_scale)                 \
    X(avcodec, av_packet_alloc) X(avcodec, av_packet_free) X(avcodec, av_packet_move_ref)              \
    X(avcodec, av_packet_unref) X(avcodec, avcodec_alloc_context3) X(avcodec, avcodec_find_decoder)    \
    X(avcodec, avcodec_free_context) X(avcodec, avcodec_open2) X(avcodec, avcodec_parameters_to_context) \
    X(avcodec, avcodec_receive_frame) X(avcodec, avcodec_send_packet)                                  \
    X(avformat, av_find_best_stream) X(avformat, av_read_frame) X(avformat, avformat_alloc_context)    \
    X(avformat, avformat_close_input) X(avformat, avformat_find_stream_info) X(avformat, avformat_open_input)

#define ZB_AV_DECLARE(library, name) decltype(&::name) name = nullptr;
ZB_AV_FUNCTIONS(ZB_AV_DECLARE)
#undef ZB_AV_DECLARE

std::mutex LoadLock;
bool Tried = false;
bool Loaded = false;
std::string Failure;  // why they could not be loaded: the library and the loader's own words
bool FailureTaken = false;
void* Handles[LibraryCount] = {};

std::string LoaderMessage()
{
    const char* why = dlerror();
    return why ? why : "unknown reason";
}

template <typename T>
void Resolve(TLibrary library, const char* name, T& to)
{
    if (!Failure.empty())
        return;
    to = reinterpret_cast<T>(dlsym(Handles[library], name));
    if (!to)
        Failure = std::string("Movie: ") + LibraryNames[library] + " lacks " + name + ": " + LoaderMessage();
}

// True once every function above is there; loads them at the first call. Otherwise cause says
// why, the same every time.
bool Load(std::string& cause)
{
    std::lock_guard<std::mutex> lock(LoadLock);
    if (!Tried) {
        Tried = true;
        for (int i = 0; i < LibraryCount && Failure.empty(); ++i) {
            Handles[i] = dlopen(LibraryNames[i], RTLD_NOW | RTLD_LOCAL);
            if (!Handles[i])
                Failure = std::string("Movie: ") + LibraryNames[i] + " cannot be loaded: " + LoaderMessage();
        }
#define ZB_AV_RESOLVE(library, name) Resolve(library, #name, name);
        ZB_AV_FUNCTIONS(ZB_AV_RESOLVE)
#undef ZB_AV_RESOLVE
        Loaded = Failure.empty();
    }
    cause = Failure;
    return Loaded;
}

}  // namespace Av

#include "platform/Audio.h"
#include "platform/Filenames.h"
#include "platform/Streams.h"

namespace {

constexpr int PictureSlots = 4;
constexpr uint64_t RingFrames = 65536;  // about 1.5 s of sound
constexpr int MaxSide = 4096;
// Demuxed packets waiting for their decoder. The limit only matters for badly interleaved
// files; when it is reached while the sound ring is empty, the sound track is given up.
constexpr size_t MaxQueuedPackets = 1024;
constexpr int64_t NoTime = INT64_MIN;
constexpr int MaxDecodeErrors = 256;  // in a row
constexpr int64_t MaxTimeJumpMs = 5000;
constexpr int64_t AudioStallMs = 1000;

void QuietLibraries()
{
    static std::once_flag once;
    std::call_once(once, [] { Av::av_log_set_level(AV_LOG_FATAL); });
}

std::string AvError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    Av::av_strerror(code, text, sizeof text);
    return text;
}

int64_t SteadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void FreeQueue(std::deque<AVPacket*>& queue)
{
    for (AVPacket* packet : queue)
        Av::av_packet_free(&packet);
    queue.clear();
}

}  // namespace

struct TMovieDecoder::TImpl {
    // Input, owned by the controlling thread while no decode thread runs, else by that thread.
    std::string Path;
    std::unique_ptr<TFileStream> File;  // the libraries read the movie file by its handle
    AVFormatContext* Format = nullptr;
    AVCodecContext* Video = nullptr;
    AVCodecContext* Audio = nullptr;
    int VideoIndex = -1;
    int AudioIndex = -1;
    int SourceWidth = 0;
    int SourceHeight = 0;
    int64_t StartMs = 0;
    int64_t FrameMs = 40;
    SwsContext* Scaler = nullptr;
    SwrContext* Resampler = nullptr;
    int ResampleRate = 0;
    int ResampleFormat = -1;
    int ResampleChannels = 0;
    bool Used = false;  // a Start has read from the input since it was opened

    // Output chosen by Start.
    int OutWidth = 0;
    int OutHeight = 0;
    int OutBpp = 0;
    bool AudioClock = false;
    bool Started = false;

    // Picture queue: the decode thread fills slot Written % N, the frame thread empties them.
    std::vector<uint8_t> Slots[PictureSlots];
    int64_t SlotTime[PictureSlots] = {};
    std::atomic<uint64_t> PicWritten{0};
    std::atomic<uint64_t> PicRead{0};

    // Sound ring: the decode thread writes, the mixer reads.
    std::vector<int16_t> Ring = std::vector<int16_t>(RingFrames * 2);
    std::atomic<uint64_t> PcmWritten{0};
    std::atomic<uint64_t> PcmRead{0};
    std::atomic<int64_t> AudioBaseMs{NoTime};  // movie time of the ring's first frame
    std::atomic<bool> AudioDone{false};        // nothing more will enter the ring

    std::atomic<bool> DecodeDone{false};
    std::atomic<bool> DecodeFailed{false};
    std::atomic<bool> DecodeDamaged{false};  // played to its end with a fault; see Error
    std::atomic<int64_t> VideoEndMs{0};

    // Frame-thread clock state.
    int64_t MonoStart = 0;
    bool MonoMode = false;
    int64_t MonoOrigin = 0;
    int64_t LastTime = 0;
    uint64_t LastRead = 0;     // sound position at the last poll
    int64_t LastAdvance = 0;   // monotonic time it last moved (or the ring was empty)

    std::thread Thread;
    std::atomic<bool> StopRequested{false};
    std::mutex WakeLock;
    std::condition_variable Wake;

    mutable std::mutex ErrorLock;
    std::string Error;
    std::string SoundError;  // controlling thread only
    TMovieOpenStep FailedStep = TMovieOpenStep::None;  // controlling thread only

    std::function<int64_t()> Clock = SteadyMs;
    std::function<void()> PacketHook;

    void SetError(const std::string& text)
    {
        std::lock_guard<std::mutex> guard(ErrorLock);
        Error = text;
    }
    bool OpenFailed(TMovieOpenStep step, const std::string& text)
    {
        FailedStep = step;
        SetError(text);
        return false;
    }

    bool OpenInput();
    void CloseInput();
    std::string DamageText(uint64_t cutPackets, int readError, uint64_t damagedPictures) const;
    bool OpenDecoder(int index, AVCodecContext*& context, std::string* why = nullptr);
    void OpenSound();
    void Join();
    void Run();
    bool PublishPicture(const AVFrame* frame, int64_t& nextPts, int64_t& timeMs);
    bool Resample(const AVFrame* frame, std::vector<int16_t>& staging, size_t& frames);
    int64_t Now();
    void Notify() { Wake.notify_one(); }
};

// The cause a player can act on first: a cut file explains its damaged last picture.
std::string TMovieDecoder::TImpl::DamageText(uint64_t cutPackets, int readError, uint64_t damagedPictures) const
{
    if (cutPackets > 0)
        return "Movie: " + Path + " is cut short: the file ends inside a packet";
    if (readError != 0)
        return "Movie: " + Path + " cannot be read to its end (" + AvError(readError) + ")";
    return "Movie: " + Path + " is damaged: " + std::to_string(damagedPictures) +
           (damagedPictures == 1 ? " picture" : " pictures") + " could not be decoded whole";
}

bool TMovieDecoder::TImpl::OpenDecoder(int index, AVCodecContext*& context, std::string* why)
{
    auto refuse = [why](const std::string& text) {
        if (why)
            *why = text;
        return false;
    };
    const AVCodecParameters* params = Format->streams[index]->codecpar;
    const AVCodec* codec = Av::avcodec_find_decoder(params->codec_id);
    if (!codec)
        return refuse("no decoder for its format");
    context = Av::avcodec_alloc_context3(codec);
    if (!context)
        return refuse("out of memory");
    context->thread_count = 1;
    int result = Av::avcodec_parameters_to_context(context, params);
    if (result >= 0)
        result = Av::avcodec_open2(context, codec, nullptr);
    if (result < 0) {
        Av::avcodec_free_context(&context);
        return refuse(AvError(result));
    }
    return true;
}

// The first sound track that can be decoded. A movie without one still plays, silently; when the
// file has a sound track all the same, SoundError says why it cannot be played.
void TMovieDecoder::TImpl::OpenSound()
{
    SoundError.clear();
    AudioIndex = Av::av_find_best_stream(Format, AVMEDIA_TYPE_AUDIO, -1, VideoIndex, nullptr, 0);
    std::string why;
    if (AudioIndex >= 0) {
        if (OpenDecoder(AudioIndex, Audio, &why))
            return;
        AudioIndex = -1;
    } else {
        // The library passes over a track whose frames never gave a rate or a channel count.
        const AVCodecParameters* params = nullptr;
        for (unsigned i = 0; i < Format->nb_streams && !params; ++i)
            if (Format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
                params = Format->streams[i]->codecpar;
        if (!params)
            return;
        why = params->sample_rate <= 0       ? "no sample rate can be read from it"
              : params->ch_layout.nb_channels <= 0 ? "no channel count can be read from it"
                                                   : "it is not a sound track the player takes";
    }
    SoundError = "Movie: the sound stream cannot be decoded in " + Path + " (" + why + "); it plays silently";
}

bool TMovieDecoder::TImpl::OpenInput()
{
    QuietLibraries();
    // Only the file protocol: a name from game data must not reach the network or other files.
    AVDictionary* options = nullptr;
    Av::av_dict_set(&options, "protocol_whitelist", "file", 0);
    Format = Av::avformat_alloc_context();
    if (!Format) {
        Av::av_dict_free(&options);
        return OpenFailed(TMovieOpenStep::Memory, "Movie: out of memory");
    }
    Format->interrupt_callback.callback = [](void* self) -> int {
        return static_cast<TImpl*>(self)->StopRequested.load() ? 1 : 0;
    };
    Format->interrupt_callback.opaque = this;
    // Through the handle's name, which opens the very file checked as regular, so that a pipe put
    // under the name since cannot stall the libraries' open.
    const std::string url = "file:/proc/self/fd/" + std::to_string(File->Handle());
    int result = Av::avformat_open_input(&Format, url.c_str(), nullptr, &options);
    Av::av_dict_free(&options);
    if (result < 0) {
        Format = nullptr;  // freed by the failed open
        return OpenFailed(TMovieOpenStep::File, "Movie: cannot read " + Path + " (" + AvError(result) + ")");
    }
    if ((result = Av::avformat_find_stream_info(Format, nullptr)) < 0) {
        CloseInput();
        return OpenFailed(TMovieOpenStep::File, "Movie: no stream found in " + Path + " (" + AvError(result) + ")");
    }
    VideoIndex = Av::av_find_best_stream(Format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (VideoIndex < 0) {
        CloseInput();
        return OpenFailed(TMovieOpenStep::VideoStream, "Movie: no video stream in " + Path);
    }
    if (!OpenDecoder(VideoIndex, Video)) {
        CloseInput();
        return OpenFailed(TMovieOpenStep::VideoDecoder, "Movie: the video stream cannot be decoded in " + Path);
    }
    SourceWidth = Video->width;
    SourceHeight = Video->height;
    if (SourceWidth < 1 || SourceHeight < 1 || SourceWidth > MaxSide || SourceHeight > MaxSide) {
        CloseInput();
        return OpenFailed(TMovieOpenStep::PictureSize, "Movie: unusable picture size in " + Path);
    }
    OpenSound();
    StartMs = Format->start_time == AV_NOPTS_VALUE ? 0 : Format->start_time / (AV_TIME_BASE / 1000);
    AVRational rate = Format->streams[VideoIndex]->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = Format->streams[VideoIndex]->r_frame_rate;
    FrameMs = (rate.num > 0 && rate.den > 0) ? std::clamp<int64_t>(int64_t(1000) * rate.den / rate.num, 1, 1000) : 40;
    Used = false;
    return true;
}

void TMovieDecoder::TImpl::CloseInput()
{
    VideoIndex = AudioIndex = -1;
    if (!Format && !Video && !Audio && !Scaler && !Resampler)
        return;  // nothing to free, and the libraries may not be loaded
    Av::avcodec_free_context(&Video);
    Av::avcodec_free_context(&Audio);
    if (Format)
        Av::avformat_close_input(&Format);
    Av::sws_freeContext(Scaler);
    Scaler = nullptr;
    Av::swr_free(&Resampler);
}

void TMovieDecoder::TImpl::Join()
{
    if (!Thread.joinable())
        return;
    StopRequested.store(true);
    {
        std::lock_guard<std::mutex> guard(WakeLock);
    }
    Wake.notify_all();
    Thread.join();
    StopRequested.store(false);  // the interrupt callback of a later open must not fire
}

bool TMovieDecoder::TImpl::PublishPicture(const AVFrame* frame, int64_t& nextPts, int64_t& timeMs)
{
    const AVRational base = Format->streams[VideoIndex]->time_base;
    int64_t pts = frame->best_effort_timestamp;
    timeMs = pts == AV_NOPTS_VALUE ? nextPts : Av::av_rescale_q(pts, base, AVRational{1, 1000}) - StartMs;
    // A time stamp far from the expected one is damage or a discontinuity: the picture
    // follows its predecessor instead of stopping the movie for minutes.
    if (PicWritten.load(std::memory_order_relaxed) > 0 && std::abs(timeMs - nextPts) > MaxTimeJumpMs)
        timeMs = nextPts;
    nextPts = timeMs + FrameMs;
    if (frame->width < 1 || frame->height < 1 || frame->width > MaxSide || frame->height > MaxSide)
        return false;
    Scaler = Av::sws_getCachedContext(Scaler, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                  OutWidth, OutHeight, OutBpp == 4 ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_BGR24,
                                  SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!Scaler)
        return false;
    uint64_t index = PicWritten.load(std::memory_order_relaxed);
    std::vector<uint8_t>& slot = Slots[index % PictureSlots];
    uint8_t* planes[4] = {slot.data(), nullptr, nullptr, nullptr};
    int strides[4] = {OutWidth * OutBpp, 0, 0, 0};
    Av::sws_scale(Scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
    SlotTime[index % PictureSlots] = timeMs;
    PicWritten.store(index + 1, std::memory_order_release);
    return true;
}

bool TMovieDecoder::TImpl::Resample(const AVFrame* frame, std::vector<int16_t>& staging, size_t& frames)
{
    frames = 0;
    if (frame && Resampler &&
        (frame->sample_rate != ResampleRate || frame->format != ResampleFormat ||
         frame->ch_layout.nb_channels != ResampleChannels))
        Av::swr_free(&Resampler);  // the track changed format mid-way
    if (!Resampler) {
        ResampleRate = frame->sample_rate;
        ResampleFormat = frame->format;
        ResampleChannels = frame->ch_layout.nb_channels;
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        AVChannelLayout input = frame->ch_layout;  // the library takes it by non-const pointer
        if (Av::swr_alloc_set_opts2(&Resampler, &stereo, AV_SAMPLE_FMT_S16, Audio::DeviceRate, &input,
                                static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr) < 0 ||
            Av::swr_init(Resampler) < 0) {
            Av::swr_free(&Resampler);
            return false;
        }
    }
    int room = Av::swr_get_out_samples(Resampler, frame ? frame->nb_samples : 0);
    if (room <= 0)
        return true;
    staging.resize(size_t(room) * 2);
    uint8_t* out[1] = {reinterpret_cast<uint8_t*>(staging.data())};
    int got = frame ? Av::swr_convert(Resampler, out, room, const_cast<const uint8_t**>(frame->extended_data),
                                  frame->nb_samples)
                    : Av::swr_convert(Resampler, out, room, nullptr, 0);
    if (got < 0)
        return false;
    frames = size_t(got);
    return true;
}

void TMovieDecoder::TImpl::Run()
{
    std::deque<AVPacket*> videoQueue, audioQueue;
    AVFrame* frame = Av::av_frame_alloc();
    AVPacket* packet = Av::av_packet_alloc();
    std::vector<int16_t> staging;
    size_t stagedFrames = 0, stagedUsed = 0;
    bool inputEnd = false, videoFlushed = false, audioFlushed = false;
    bool videoDone = false;
    bool audioOn = AudioClock && Audio != nullptr;
    bool audioDrained = false;
    int64_t nextPts = 0, lastTime = NoTime;
    uint64_t pictures = 0;
    int videoErrors = 0, audioErrors = 0;
    // What kept the movie from playing whole, told once it has played what it could.
    uint64_t damagedPictures = 0, cutPackets = 0;
    int readError = 0;
    if (!frame || !packet) {
        SetError("Movie: out of memory");
        DecodeFailed.store(true);
        videoDone = true;
    }
    if (!audioOn)
        AudioDone.store(true);

    while (!StopRequested.load()) {
        bool progress = false;
        while (!videoDone && PicWritten.load(std::memory_order_relaxed) - PicRead.load(std::memory_order_acquire) <
                                 PictureSlots) {
            int result = Av::avcodec_receive_frame(Video, frame);
            // A damaged picture is skipped like a missing one; only a decoder that does
            // nothing but fail is given up.
            if (result < 0 && result != AVERROR_EOF && result != AVERROR(EAGAIN)) {
                ++damagedPictures;
                result = ++videoErrors > MaxDecodeErrors ? AVERROR_EOF : AVERROR(EAGAIN);
            } else if (result == 0) {
                videoErrors = 0;
            }
            if (result == 0) {
                if (frame->decode_error_flags != 0 || (frame->flags & AV_FRAME_FLAG_CORRUPT) != 0)
                    ++damagedPictures;
                int64_t timeMs = 0;
                if (PublishPicture(frame, nextPts, timeMs)) {
                    ++pictures;
                    lastTime = std::max(lastTime, timeMs);
                }
                Av::av_frame_unref(frame);
                progress = true;
            } else if (result == AVERROR(EAGAIN) && !videoQueue.empty()) {
                if (Av::avcodec_send_packet(Video, videoQueue.front()) < 0)  // a bad packet is skipped
                    ++damagedPictures;
                Av::av_packet_free(&videoQueue.front());
                videoQueue.pop_front();
                progress = true;
            } else if (result == AVERROR(EAGAIN) && inputEnd && !videoFlushed) {
                Av::avcodec_send_packet(Video, nullptr);
                videoFlushed = true;
                progress = true;
            } else {
                videoDone = result != AVERROR(EAGAIN);
                break;
            }
        }
        while (audioOn && !AudioDone.load(std::memory_order_relaxed)) {
            if (stagedUsed < stagedFrames) {
                uint64_t written = PcmWritten.load(std::memory_order_relaxed);
                uint64_t free = RingFrames - (written - PcmRead.load(std::memory_order_acquire));
                uint64_t index = written % RingFrames;
                uint64_t n = std::min({free, uint64_t(stagedFrames - stagedUsed), RingFrames - index});
                if (n == 0)
                    break;
                std::memcpy(Ring.data() + index * 2, staging.data() + stagedUsed * 2, n * 4);
                PcmWritten.store(written + n, std::memory_order_release);
                stagedUsed += n;
                progress = true;
                continue;
            }
            if (audioDrained) {
                AudioDone.store(true, std::memory_order_release);
                break;
            }
            int result = Av::avcodec_receive_frame(Audio, frame);
            if (result < 0 && result != AVERROR_EOF && result != AVERROR(EAGAIN))
                result = ++audioErrors > MaxDecodeErrors ? AVERROR_EOF : AVERROR(EAGAIN);
            else if (result == 0)
                audioErrors = 0;
            if (result == 0) {
                if (AudioBaseMs.load(std::memory_order_relaxed) == NoTime) {
                    int64_t pts = frame->best_effort_timestamp;
                    int64_t base = pts == AV_NOPTS_VALUE ? 0
                                   : Av::av_rescale_q(pts, Format->streams[AudioIndex]->time_base, AVRational{1, 1000}) - StartMs;
                    AudioBaseMs.store(std::max<int64_t>(base, 0), std::memory_order_release);
                }
                stagedUsed = 0;
                if (!Resample(frame, staging, stagedFrames))
                    audioDrained = true;  // a track the resampler refuses ends here
                Av::av_frame_unref(frame);
                progress = true;
            } else if (result == AVERROR(EAGAIN) && !audioQueue.empty()) {
                Av::avcodec_send_packet(Audio, audioQueue.front());
                Av::av_packet_free(&audioQueue.front());
                audioQueue.pop_front();
                progress = true;
            } else if (result == AVERROR(EAGAIN) && inputEnd && !audioFlushed) {
                Av::avcodec_send_packet(Audio, nullptr);
                audioFlushed = true;
                progress = true;
            } else if (result != AVERROR(EAGAIN)) {
                // The decoder is drained: what the resampler still holds goes last.
                stagedUsed = 0;
                if (!Resampler || !Resample(nullptr, staging, stagedFrames))
                    stagedFrames = 0;
                audioDrained = true;
                progress = true;
            } else {
                break;
            }
        }
        if (!inputEnd && videoQueue.size() + audioQueue.size() < MaxQueuedPackets) {
            if (PacketHook)
                PacketHook();
            int result = Av::av_read_frame(Format, packet);
            if (result < 0) {
                inputEnd = true;  // the end, or a read error: either way what was read plays
                if (result != AVERROR_EOF && result != AVERROR_EXIT)  // not the end, nor a stop
                    readError = result;
            } else {
                // Shorter than its header says: the file ends inside it.
                if ((packet->flags & AV_PKT_FLAG_CORRUPT) != 0)
                    ++cutPackets;
                if (packet->stream_index == VideoIndex || (audioOn && packet->stream_index == AudioIndex)) {
                    std::deque<AVPacket*>& queue = packet->stream_index == VideoIndex ? videoQueue : audioQueue;
                    if (AVPacket* copy = Av::av_packet_alloc()) {
                        Av::av_packet_move_ref(copy, packet);
                        queue.push_back(copy);
                    }
                }
            }
            Av::av_packet_unref(packet);
            progress = true;
        } else if (!inputEnd && audioOn && !AudioDone.load() && audioQueue.empty() && stagedUsed >= stagedFrames &&
                   PcmWritten.load() == PcmRead.load()) {
            // The pictures wait for sound that cannot come before the queue limit: play on the
            // monotonic clock instead of stalling for ever.
            AudioDone.store(true, std::memory_order_release);
            FreeQueue(audioQueue);
            progress = true;
        }
        if (videoDone && AudioDone.load()) {
            if (pictures == 0) {
                SetError("Movie: no picture could be decoded from " + Path);
                DecodeFailed.store(true);
            } else if (cutPackets > 0 || readError != 0 || damagedPictures > 0) {
                SetError(DamageText(cutPackets, readError, damagedPictures));
                DecodeDamaged.store(true);
            }
            VideoEndMs.store(lastTime == NoTime ? 0 : lastTime + FrameMs);
            DecodeDone.store(true, std::memory_order_release);
            break;
        }
        if (!progress) {
            std::unique_lock<std::mutex> lock(WakeLock);
            Wake.wait_for(lock, std::chrono::milliseconds(5), [this] { return StopRequested.load(); });
        }
    }
    FreeQueue(videoQueue);
    FreeQueue(audioQueue);
    Av::av_packet_free(&packet);
    Av::av_frame_free(&frame);
}

int64_t TMovieDecoder::TImpl::Now()
{
    int64_t mono = Clock();
    int64_t now;
    if (!AudioClock) {
        now = mono - MonoStart;
    } else if (MonoMode) {
        now = mono - MonoOrigin;
    } else {
        uint64_t read = PcmRead.load(std::memory_order_acquire);
        bool done = AudioDone.load(std::memory_order_acquire);
        int64_t base = AudioBaseMs.load(std::memory_order_acquire);
        if (base == NoTime)
            base = 0;
        now = base + int64_t(read * 1000 / uint64_t(Audio::DeviceRate));
        const uint64_t written = PcmWritten.load(std::memory_order_acquire);
        if (read != LastRead || read == written) {
            LastRead = read;
            LastAdvance = mono;
        }
        // A device that stops taking sound it has been given must not freeze the pictures.
        const bool stalled = mono - LastAdvance > AudioStallMs;
        if ((done && read == written) || stalled) {
            // The sound is over (or gone): time goes on from where it stopped.
            MonoMode = true;
            MonoOrigin = mono - std::max(now, LastTime);
        }
    }
    // Never backwards, whichever clock leads.
    LastTime = std::max(LastTime, now);
    return LastTime;
}

// ---- TMovieDecoder

TMovieDecoder::TMovieDecoder() : FImpl(std::make_unique<TImpl>()) {}

TMovieDecoder::~TMovieDecoder() { Close(); }

bool TMovieDecoder::Open(const std::string& name)
{
    Close();
    FImpl->FailedStep = TMovieOpenStep::None;
    FImpl->Path = NativePath(name);
    // The file stream opens it without waiting and keeps only a regular file (the libraries
    // would wait on a pipe for a writer); its refusal names the real cause.
    try {
        FImpl->File = std::make_unique<TFileStream>(FImpl->Path, fmOpenRead);
    } catch (const Exception& error) {
        return FImpl->OpenFailed(TMovieOpenStep::File, "Movie: " + error.Message);
    } catch (const std::bad_alloc&) {
        return FImpl->OpenFailed(TMovieOpenStep::Memory, "Movie: out of memory");
    }
    std::string cause;
    if (!Av::Load(cause))
        return FImpl->OpenFailed(TMovieOpenStep::Libraries, cause);
    return FImpl->OpenInput();
}

void TMovieDecoder::Close()
{
    Stop();
    FImpl->CloseInput();
    FImpl->Started = false;
    FImpl->File.reset();
}

bool TMovieDecoder::IsOpen() const { return FImpl->Format != nullptr; }

std::string TMovieDecoder::TakeLibraryFailure()
{
    std::lock_guard<std::mutex> lock(Av::LoadLock);
    if (Av::Failure.empty() || Av::FailureTaken)
        return "";
    Av::FailureTaken = true;
    return Av::Failure;
}

bool TMovieDecoder::Start(int width, int height, int bytesPerPixel, bool audioClock)
{
    TImpl& d = *FImpl;
    Stop();
    if (width < 1 || height < 1 || width > MaxSide || height > MaxSide || (bytesPerPixel != 3 && bytesPerPixel != 4)) {
        d.SetError("Movie: unusable output format");
        return false;
    }
    if (d.Used) {
        // Rewinding by reopening works for every container, seekable or not.
        d.CloseInput();
        if (!d.OpenInput())
            return false;
    }
    if (!d.Format) {
        d.SetError("Movie: not open");
        return false;
    }
    try {
        for (auto& slot : d.Slots)
            slot.assign(size_t(width) * height * bytesPerPixel, 0);
    } catch (const std::bad_alloc&) {
        d.SetError("Movie: out of memory");
        return false;
    }
    d.OutWidth = width;
    d.OutHeight = height;
    d.OutBpp = bytesPerPixel;
    d.AudioClock = audioClock && d.Audio != nullptr;
    d.PicWritten.store(0);
    d.PicRead.store(0);
    d.PcmWritten.store(0);
    d.PcmRead.store(0);
    d.AudioBaseMs.store(NoTime);
    d.AudioDone.store(false);
    d.DecodeDone.store(false);
    d.DecodeFailed.store(false);
    d.DecodeDamaged.store(false);
    d.VideoEndMs.store(0);
    d.MonoStart = d.Clock();
    d.MonoMode = false;
    d.LastTime = 0;
    d.LastRead = 0;
    d.LastAdvance = d.MonoStart;
    d.StopRequested.store(false);
    d.Used = true;
    d.Started = true;
    d.Thread = std::thread(&TImpl::Run, &d);
    return true;
}

void TMovieDecoder::Stop()
{
    FImpl->Join();
    FImpl->Started = false;
}

bool TMovieDecoder::Running() const { return FImpl->Started; }

TMovieUpdate TMovieDecoder::Update(const TPixelTarget& target)
{
    TImpl& d = *FImpl;
    TMovieUpdate result;
    if (!d.Started)
        return result;
    int64_t now = d.Now();
    uint64_t read = d.PicRead.load(std::memory_order_relaxed);
    const uint64_t written = d.PicWritten.load(std::memory_order_acquire);
    uint64_t due = written;
    while (read < written && d.SlotTime[read % PictureSlots] <= now)
        due = read++;
    if (due != written) {
        if (target.Bits && target.BytesPerPixel == d.OutBpp) {
            const uint8_t* from = d.Slots[due % PictureSlots].data();
            const size_t rowBytes = size_t(std::min(target.Width, d.OutWidth)) * d.OutBpp;
            const int rows = std::min(target.Height, d.OutHeight);
            for (int y = 0; y < rows; ++y)
                std::memcpy(target.Bits + ptrdiff_t(y) * target.Pitch, from + size_t(y) * d.OutWidth * d.OutBpp,
                            rowBytes);
            result.NewPicture = rows > 0 && rowBytes > 0;
        }
        d.PicRead.store(read, std::memory_order_release);
        d.Notify();
    }
    if (d.DecodeDone.load(std::memory_order_acquire) && read == d.PicWritten.load(std::memory_order_acquire)) {
        result.Failed = d.DecodeFailed.load();
        // With the sound as the clock, the end also waits for the sound track to finish.
        result.Ended = result.Failed || (now >= d.VideoEndMs.load() && (!d.AudioClock || d.MonoMode));
        result.Damaged = result.Ended && !result.Failed && d.DecodeDamaged.load();
    }
    return result;
}

int64_t TMovieDecoder::Time() { return FImpl->Started ? FImpl->Now() : FImpl->LastTime; }

int TMovieDecoder::ReadAudio(int16_t* out, int frames)
{
    TImpl& d = *FImpl;
    if (frames <= 0 || !out)
        return 0;
    const uint64_t read = d.PcmRead.load(std::memory_order_relaxed);
    const uint64_t count = std::min<uint64_t>(d.PcmWritten.load(std::memory_order_acquire) - read, uint64_t(frames));
    uint64_t done = 0;
    while (done < count) {
        uint64_t index = (read + done) % RingFrames;
        uint64_t n = std::min(count - done, RingFrames - index);
        std::memcpy(out + done * 2, d.Ring.data() + index * 2, n * 4);
        done += n;
    }
    d.PcmRead.store(read + count, std::memory_order_release);
    if (count > 0)
        d.Notify();
    return static_cast<int>(count);
}

int TMovieDecoder::Width() const { return FImpl->SourceWidth; }
int TMovieDecoder::Height() const { return FImpl->SourceHeight; }
bool TMovieDecoder::HasAudio() const { return FImpl->Audio != nullptr; }

std::string TMovieDecoder::SoundError() const { return FImpl->SoundError; }

TMovieOpenStep TMovieDecoder::FailedStep() const { return FImpl->FailedStep; }

std::string TMovieDecoder::LastError() const
{
    std::lock_guard<std::mutex> guard(FImpl->ErrorLock);
    return FImpl->Error;
}

void TMovieDecoder::SetClock(std::function<int64_t()> clock) { FImpl->Clock = clock ? std::move(clock) : SteadyMs; }

void TMovieDecoder::SetPacketHook(std::function<void()> hook) { FImpl->PacketHook = std::move(hook); }

TMovieDecoder::TBacklog TMovieDecoder::Backlog() const
{
    const TImpl& d = *FImpl;
    TBacklog backlog;
    // The flags first: what they promise is then all in the counts read after them.
    backlog.Finished = d.DecodeDone.load(std::memory_order_acquire);
    backlog.SoundDone = d.AudioDone.load(std::memory_order_acquire);
    // Each read count before its written count: a read count never passes what was written
    // before it was read, so the difference cannot go below zero.
    const auto picRead = d.PicRead.load(std::memory_order_acquire);
    backlog.Pictures = int(d.PicWritten.load(std::memory_order_acquire) - picRead);
    const auto pcmRead = d.PcmRead.load(std::memory_order_acquire);
    backlog.SoundFrames = d.PcmWritten.load(std::memory_order_acquire) - pcmRead;
    return backlog;
}
