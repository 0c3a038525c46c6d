#include "platform/MovieWriter.h"

#include <cmath>
#include <cstdio>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswscale/swscale.h>
}

namespace {

struct TWriter {
    AVFormatContext* Output = nullptr;
    AVCodecContext* Video = nullptr;
    AVCodecContext* Audio = nullptr;
    AVStream* VideoStream = nullptr;
    AVStream* AudioStream = nullptr;
    SwsContext* Scaler = nullptr;
    AVFrame* Picture = nullptr;
    AVFrame* Sound = nullptr;
    AVPacket* Packet = nullptr;
    bool FileOpen = false;

    ~TWriter()
    {
        if (FileOpen)
            avio_closep(&Output->pb);
        avformat_free_context(Output);
        avcodec_free_context(&Video);
        avcodec_free_context(&Audio);
        sws_freeContext(Scaler);
        av_frame_free(&Picture);
        av_frame_free(&Sound);
        av_packet_free(&Packet);
    }

    // Sends frame (null: flush) and writes every packet the encoder gives back.
    bool Encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame)
    {
        if (avcodec_send_frame(codec, frame) < 0)
            return false;
        for (;;) {
            int result = avcodec_receive_packet(codec, Packet);
            if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
                return true;
            if (result < 0)
                return false;
            av_packet_rescale_ts(Packet, codec->time_base, stream->time_base);
            Packet->stream_index = stream->index;
            if (av_interleaved_write_frame(Output, Packet) < 0)
                return false;
        }
    }
};

AVCodecContext* NewEncoder(AVCodecID id, AVStream*& stream, AVFormatContext* output)
{
    const AVCodec* codec = avcodec_find_encoder(id);
    if (!codec)
        return nullptr;
    stream = avformat_new_stream(output, nullptr);
    return stream ? avcodec_alloc_context3(codec) : nullptr;
}

bool OpenEncoder(AVCodecContext* codec, AVStream* stream, AVFormatContext* output)
{
    if (output->oformat->flags & AVFMT_GLOBALHEADER)
        codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(codec, codec->codec, nullptr) < 0)
        return false;
    stream->time_base = codec->time_base;
    return avcodec_parameters_from_context(stream->codecpar, codec) >= 0;
}

void PaintPicture(std::vector<uint8_t>& rgb, const TMovieClip& clip, uint32_t colour, int index)
{
    const int barLeft = (index * 4) % clip.Width;
    for (int y = 0; y < clip.Height; ++y)
        for (int x = 0; x < clip.Width; ++x) {
            uint8_t* p = rgb.data() + (size_t(y) * clip.Width + x) * 3;
            bool bar = clip.MovingBar && x >= barLeft && x < barLeft + 8;
            p[0] = bar ? 255 : uint8_t(colour >> 16);
            p[1] = bar ? 255 : uint8_t(colour >> 8);
            p[2] = bar ? 255 : uint8_t(colour);
        }
}

}  // namespace

bool WriteMovieClip(const std::string& path, const TMovieClip& clip, std::string& error)
{
    int totalFrames = 0;
    for (const TMovieClipSegment& segment : clip.Segments)
        totalFrames += std::max(segment.Frames, 0);
    if (clip.Width < 16 || clip.Height < 16 || clip.Width > 4096 || clip.Height > 4096 || totalFrames < 1 ||
        clip.FrameRate < 1 || clip.FrameRate > 60) {
        error = "Movie clip: bad size, rate or no frames";
        return false;
    }
    TWriter w;
    av_log_set_level(AV_LOG_FATAL);
    if (avformat_alloc_output_context2(&w.Output, nullptr, "mpeg", path.c_str()) < 0 || !w.Output) {
        error = "Movie clip: no MPEG-1 system stream writer";
        return false;
    }
    if (!clip.Video && !clip.Audio) {
        error = "Movie clip: neither pictures nor sound";
        return false;
    }
    if (clip.Video && !(w.Video = NewEncoder(AV_CODEC_ID_MPEG1VIDEO, w.VideoStream, w.Output))) {
        error = "Movie clip: no MPEG-1 video encoder";
        return false;
    }
    if (w.Video) {
        w.Video->width = clip.Width;
        w.Video->height = clip.Height;
        w.Video->time_base = AVRational{1, clip.FrameRate};
        w.Video->framerate = AVRational{clip.FrameRate, 1};
        w.Video->pix_fmt = AV_PIX_FMT_YUV420P;
        w.Video->gop_size = 12;
        w.Video->max_b_frames = 2;
        w.Video->bit_rate = 1500000;
        if (!OpenEncoder(w.Video, w.VideoStream, w.Output)) {
            error = "Movie clip: the video encoder refused the size or frame rate";
            return false;
        }
    }
    if (clip.Audio) {
        w.Audio = NewEncoder(AV_CODEC_ID_MP2, w.AudioStream, w.Output);
        if (!w.Audio) {
            error = "Movie clip: no MPEG audio layer II encoder";
            return false;
        }
        w.Audio->sample_fmt = AV_SAMPLE_FMT_S16;
        w.Audio->sample_rate = clip.AudioRate;
        w.Audio->time_base = AVRational{1, clip.AudioRate};
        w.Audio->bit_rate = 128000;
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        av_channel_layout_copy(&w.Audio->ch_layout, &stereo);
        if (!OpenEncoder(w.Audio, w.AudioStream, w.Output)) {
            error = "Movie clip: the audio encoder refused the rate";
            return false;
        }
    }
    w.Picture = av_frame_alloc();
    w.Sound = av_frame_alloc();
    w.Packet = av_packet_alloc();
    w.Scaler = sws_getContext(clip.Width, clip.Height, AV_PIX_FMT_RGB24, clip.Width, clip.Height, AV_PIX_FMT_YUV420P,
                              SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!w.Picture || !w.Sound || !w.Packet || !w.Scaler) {
        error = "Movie clip: out of memory";
        return false;
    }
    w.Picture->format = AV_PIX_FMT_YUV420P;
    w.Picture->width = clip.Width;
    w.Picture->height = clip.Height;
    if (av_frame_get_buffer(w.Picture, 0) < 0) {
        error = "Movie clip: out of memory";
        return false;
    }
    if (w.Audio) {
        w.Sound->format = AV_SAMPLE_FMT_S16;
        w.Sound->sample_rate = clip.AudioRate;
        w.Sound->nb_samples = w.Audio->frame_size;
        av_channel_layout_copy(&w.Sound->ch_layout, &w.Audio->ch_layout);
        if (av_frame_get_buffer(w.Sound, 0) < 0) {
            error = "Movie clip: out of memory";
            return false;
        }
    }
    if (avio_open(&w.Output->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) {
        error = "Movie clip: cannot create " + path;
        return false;
    }
    w.FileOpen = true;
    bool ok = avformat_write_header(w.Output, nullptr) >= 0;

    std::vector<uint8_t> rgb(size_t(clip.Width) * clip.Height * 3);
    const int64_t totalSamples = int64_t(totalFrames) * clip.AudioRate / clip.FrameRate;
    int frameIndex = 0, segment = 0, inSegment = 0;
    int64_t sampleIndex = 0;
    if (!w.Video)
        frameIndex = totalFrames;  // the segments then only give the length
    while (ok && (frameIndex < totalFrames || (w.Audio && sampleIndex < totalSamples))) {
        bool videoNext = frameIndex < totalFrames &&
                         (!w.Audio || sampleIndex >= totalSamples ||
                          av_compare_ts(frameIndex, w.Video->time_base, sampleIndex, w.Audio->time_base) <= 0);
        if (videoNext) {
            while (inSegment >= clip.Segments[segment].Frames) {
                ++segment;
                inSegment = 0;
            }
            PaintPicture(rgb, clip, clip.Segments[segment].Colour, frameIndex);
            ok = av_frame_make_writable(w.Picture) >= 0;
            const uint8_t* planes[1] = {rgb.data()};
            int strides[1] = {clip.Width * 3};
            sws_scale(w.Scaler, planes, strides, 0, clip.Height, w.Picture->data, w.Picture->linesize);
            w.Picture->pts = frameIndex++;
            ++inSegment;
            ok = ok && w.Encode(w.Video, w.VideoStream, w.Picture);
        } else {
            ok = av_frame_make_writable(w.Sound) >= 0;
            auto* samples = reinterpret_cast<int16_t*>(w.Sound->data[0]);
            for (int i = 0; i < w.Sound->nb_samples; ++i) {
                double t = double(sampleIndex + i) / clip.AudioRate;
                auto value = static_cast<int16_t>(std::lround(32767 * clip.Amplitude * std::sin(2 * M_PI * clip.ToneHz * t)));
                samples[i * 2] = samples[i * 2 + 1] = value;
            }
            w.Sound->pts = sampleIndex;
            sampleIndex += w.Sound->nb_samples;
            ok = ok && w.Encode(w.Audio, w.AudioStream, w.Sound);
        }
    }
    ok = ok && (!w.Video || w.Encode(w.Video, w.VideoStream, nullptr));
    ok = ok && (!w.Audio || w.Encode(w.Audio, w.AudioStream, nullptr));
    ok = ok && av_write_trailer(w.Output) >= 0;
    if (!ok) {
        error = "Movie clip: writing " + path + " failed";
        avio_closep(&w.Output->pb);
        w.FileOpen = false;
        std::remove(path.c_str());
    }
    return ok;
}
