// JPEG reading through libjpeg on our streams.
//
// libjpeg's default error handler ends the process; ours jumps back to the decoding function
// instead. That function holds only plain pointers and integers, so the jump skips no C++
// destructor; buffers live in the caller and are reached through a job record. A stream that
// ends before the image does is an error (libjpeg would otherwise pad it with grey).
#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <string>

#include "base/Vepicture.h"

namespace {

constexpr size_t InputChunk = 16384;

struct TJpegJob;

// The job is reached through here rather than through locals, whose values a jump back leaves
// undefined once they have changed.
struct TJpegError {
    jpeg_error_mgr Manager;
    jmp_buf Jump;
    TJpegJob* Job;
};

struct TJpegSource {
    jpeg_source_mgr Manager;
    TStream* Stream;
    JOCTET* Buffer;
};

struct TJpegJob {
    TStream* Stream = nullptr;
    int64_t Available = 0;
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t>* Input = nullptr;
    std::vector<uint8_t>* Rgb = nullptr;
    std::string Failure;
};

void JpegErrorExit(j_common_ptr cinfo)
{
    auto* error = reinterpret_cast<TJpegError*>(cinfo->err);
    char message[JMSG_LENGTH_MAX];
    cinfo->err->format_message(cinfo, message);
    error->Job->Failure = message;
    longjmp(error->Jump, 1);
}

// Called by libjpeg as it reads; a file past the scan bound ends its decoding there.
void JpegProgress(j_common_ptr cinfo)
{
    if (cinfo->is_decompressor && reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > MaxJpegScans) {
        auto* error = reinterpret_cast<TJpegError*>(cinfo->err);
        error->Job->Failure = "more than " + std::to_string(MaxJpegScans) + " scans";
        longjmp(error->Jump, 1);
    }
}

void JpegOutputMessage(j_common_ptr) {}

void JpegInitSource(j_decompress_ptr) {}

boolean JpegFillInput(j_decompress_ptr cinfo)
{
    auto* source = reinterpret_cast<TJpegSource*>(cinfo->src);
    int64_t got;
    try {
        got = source->Stream->Read(source->Buffer, static_cast<int64_t>(InputChunk));
    } catch (...) {
        got = -1;
    }
    if (got <= 0)
        ERREXIT(cinfo, JERR_INPUT_EOF);
    source->Manager.next_input_byte = source->Buffer;
    source->Manager.bytes_in_buffer = static_cast<size_t>(got);
    return TRUE;
}

void JpegSkipInput(j_decompress_ptr cinfo, long count)
{
    auto* source = reinterpret_cast<TJpegSource*>(cinfo->src);
    while (count > 0) {
        if (source->Manager.bytes_in_buffer == 0)
            JpegFillInput(cinfo);
        const size_t step = std::min(static_cast<size_t>(count), source->Manager.bytes_in_buffer);
        source->Manager.next_input_byte += step;
        source->Manager.bytes_in_buffer -= step;
        count -= static_cast<long>(step);
    }
}

void JpegTermSource(j_decompress_ptr) {}

// Every 8 x 8 block of a component costs at least one bit of coded data, so a picture whose
// blocks could not fit in the bytes left is refused before its buffer is allocated.
constexpr int64_t MaxPixelsPerByte = 8 * 64;

// Kept out of RunJpegDecode, whose frame an error jumps back into, so its strings live elsewhere.
void RefuseSize(TJpegJob* job, JDIMENSION width, JDIMENSION height, bool overBounds)
{
    job->Failure = overBounds ? PictureSizeFailure(width, height) : PictureDataFailure(width, height, job->Available);
}

bool RunJpegDecode(TJpegJob* job)
{
    jpeg_decompress_struct cinfo;
    TJpegError error;
    TJpegSource source;
    jpeg_progress_mgr progress;
    std::memset(&cinfo, 0, sizeof cinfo);
    std::memset(&progress, 0, sizeof progress);
    cinfo.err = jpeg_std_error(&error.Manager);
    error.Manager.error_exit = JpegErrorExit;
    error.Manager.output_message = JpegOutputMessage;
    error.Job = job;
    progress.progress_monitor = JpegProgress;
    if (setjmp(error.Jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.progress = &progress;
    source.Manager.init_source = JpegInitSource;
    source.Manager.fill_input_buffer = JpegFillInput;
    source.Manager.skip_input_data = JpegSkipInput;
    source.Manager.resync_to_restart = jpeg_resync_to_restart;
    source.Manager.term_source = JpegTermSource;
    source.Manager.next_input_byte = nullptr;
    source.Manager.bytes_in_buffer = 0;
    source.Stream = job->Stream;
    source.Buffer = job->Input->data();
    cinfo.src = &source.Manager;

    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    const int64_t bytes = PictureBytes(cinfo.image_width, cinfo.image_height, 3);
    if (bytes < 0 || bytes / 3 > job->Available * MaxPixelsPerByte + 65536) {
        RefuseSize(job, cinfo.image_width, cinfo.image_height, bytes < 0);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    bool allocated = true;
    try {
        job->Rgb->resize(static_cast<size_t>(bytes));
    } catch (...) {
        allocated = false;
    }
    if (!allocated) {
        jpeg_destroy_decompress(&cinfo);
        job->Failure = "out of memory";
        return false;
    }
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != 3 || cinfo.output_width != cinfo.image_width ||
        cinfo.output_height != cinfo.image_height) {
        jpeg_destroy_decompress(&cinfo);
        job->Failure = "not a colour picture";
        return false;
    }
    const size_t stride = static_cast<size_t>(cinfo.output_width) * 3;
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = job->Rgb->data() + stride * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    job->Width = static_cast<int>(cinfo.output_width);
    job->Height = static_cast<int>(cinfo.output_height);
    // The trailer is not needed, and a stream cut just before it still holds the whole image.
    jpeg_destroy_decompress(&cinfo);
    return true;
}

}  // namespace

bool DecodeJpeg(TStream* stream, TDecodedPicture& picture, std::string* failure)
{
    if (!stream)
        return false;
    std::vector<uint8_t> input(InputChunk);
    std::vector<uint8_t> rgb;
    TJpegJob job;
    job.Stream = stream;
    job.Available = stream->GetSize() - stream->GetPosition();
    job.Input = &input;
    job.Rgb = &rgb;
    if (!RunJpegDecode(&job)) {
        if (failure)
            *failure = job.Failure;
        return false;
    }
    // libjpeg gives red, green, blue; the picture is blue, green, red.
    uint8_t* __restrict p = rgb.data();
    const size_t count = static_cast<size_t>(job.Width) * job.Height;
    for (size_t i = 0; i < count; ++i)
        std::swap(p[i * 3], p[i * 3 + 2]);
    picture.Width = job.Width;
    picture.Height = job.Height;
    picture.Pixels = std::move(rgb);
    picture.Alpha.clear();
    return true;
}
