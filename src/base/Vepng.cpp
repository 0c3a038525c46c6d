// PNG reading and writing through libpng on our streams.
//
// libpng reports errors by longjmp to the point set in png_jmpbuf. That jump may only cross
// frames without C++ objects that need destroying, so each function that calls setjmp holds
// nothing but plain pointers and integers; buffers live in the caller and are reached through
// a job record. Stream callbacks catch every exception before they raise a libpng error.
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>

#include "base/Vepicture.h"

namespace {

struct TPngReadJob {
    TStream* Stream = nullptr;
    bool HeaderOnly = false;
    int64_t Available = 0;
    int Width = 0;
    int Height = 0;
    int ColorType = -1;
    bool HasAlpha = false;
    std::vector<uint8_t>* Bgra = nullptr;
    std::vector<png_bytep>* Rows = nullptr;
    std::string Failure;
};

struct TPngWriteJob {
    TStream* Stream = nullptr;
    const TDecodedPicture* Picture = nullptr;
    std::vector<uint8_t>* Row = nullptr;
};

// A reading job's error pointer is its job record, which keeps libpng's reason.
[[noreturn]] void PngError(png_structp png, png_const_charp message)
{
    if (auto* job = static_cast<TPngReadJob*>(png_get_error_ptr(png)); job && message) {
        try {
            job->Failure = message;
        } catch (...) {
        }
    }
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// Moves length bytes between libpng and the job's stream. No exception may cross libpng, so a
// throw, like a short count, becomes a libpng error.
template <class TJob>
void PngTransfer(png_structp png, png_bytep data, size_t length, bool write)
{
    TStream* stream = static_cast<TJob*>(png_get_io_ptr(png))->Stream;
    const int64_t count = static_cast<int64_t>(length);
    bool ok;
    try {
        ok = (write ? stream->Write(data, count) : stream->Read(data, count)) == count;
    } catch (...) {
        ok = false;
    }
    if (!ok)
        png_error(png, write ? "write failed" : "read past the end of the stream");
}

// Kept out of PngRead, whose frame a libpng error jumps over, so its strings live elsewhere.
// False, with the reason in the job, for a chunk that claims more bytes than the stream still
// holds: it cannot be whole, so it is refused, and named, before libpng acts on the claim.
bool ChunkFits(TPngReadJob* job, png_const_bytep header)
{
    // A type that is not four letters is refused by libpng as soon as it has read it.
    for (int i = 4; i < 8; ++i)
        if ((header[i] | 0x20) < 'a' || (header[i] | 0x20) > 'z')
            return true;
    const int64_t claim = png_get_uint_32(header);
    try {
        const int64_t left = job->Stream->GetSize() - job->Stream->GetPosition();
        if (claim <= left)
            return true;
        job->Failure = std::string(header + 4, header + 8) + " chunk of " + std::to_string(claim) +
                       " bytes, more than the " + std::to_string(std::max<int64_t>(left, 0)) + " left";
    } catch (...) {
        job->Failure = "the size of the stream cannot be read";
    }
    return false;
}

void PngRead(png_structp png, png_bytep data, size_t length)
{
    PngTransfer<TPngReadJob>(png, data, length, false);
    if (length == 8 && (png_get_io_state(png) & PNG_IO_MASK_LOC) == PNG_IO_CHUNK_HDR &&
        !ChunkFits(static_cast<TPngReadJob*>(png_get_io_ptr(png)), data))
        png_longjmp(png, 1);
}

void PngWrite(png_structp png, png_bytep data, size_t length)
{
    PngTransfer<TPngWriteJob>(png, data, length, true);
}

void PngFlush(png_structp) {}

// Deflate expands at most about 1032 times, so pixel data far larger than that factor times the
// bytes left in the stream cannot be there: refuse before allocating for a hostile header.
constexpr int64_t MaxDeflateRatio = 1100;

// Kept out of RunPngRead, whose frame a libpng error jumps over, so its strings live elsewhere.
void RefuseSize(TPngReadJob* job, png_uint_32 width, png_uint_32 height, bool overBounds)
{
    job->Failure = overBounds ? PictureSizeFailure(width, height) : PictureDataFailure(width, height, job->Available);
}

bool RunPngRead(TPngReadJob* job)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, job, PngError, PngWarning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, job, PngRead);
    // libpng's own size limits are opened up so that the picture bounds below refuse a size
    // and say which bound it goes over; no pixel buffer is allocated before they have.
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_chunk_malloc_max(png, 16 * 1024 * 1024);
    // Nothing is drawn from the ancillary chunks (tRNS aside, which libpng keeps), and libpng
    // keeps every text, palette suggestion and profile it reads, each up to the bound above once
    // inflated: a small file of many compressed texts would cost gigabytes. Discarded as they
    // are read, they cost nothing beyond their bytes.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_read_info(png, info);

    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, &interlace, nullptr, nullptr);
    job->ColorType = colorType;
    if (job->HeaderOnly) {
        png_destroy_read_struct(&png, &info, nullptr);
        return true;
    }
    // The raw size is reckoned only within the bounds, where it cannot overflow.
    const int64_t bytes = PictureBytes(width, height, 4);
    if (bytes < 0 || (static_cast<int64_t>(png_get_rowbytes(png, info)) + 1) * height >
                         job->Available * MaxDeflateRatio + 65536) {
        RefuseSize(job, width, height, bytes < 0);
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    job->HasAlpha = (colorType & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_bgr(png);
    if (!(colorType & PNG_COLOR_MASK_ALPHA) && !png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<size_t>(width) * 4) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    bool allocated = true;
    try {
        job->Bgra->resize(static_cast<size_t>(bytes));
        job->Rows->resize(height);
        for (png_uint_32 y = 0; y < height; ++y)
            (*job->Rows)[y] = job->Bgra->data() + static_cast<size_t>(y) * width * 4;
    } catch (...) {
        allocated = false;
    }
    if (!allocated) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_read_image(png, job->Rows->data());
    png_read_end(png, nullptr);
    job->Width = static_cast<int>(width);
    job->Height = static_cast<int>(height);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

bool RunPngWrite(TPngWriteJob* job)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    const TDecodedPicture* picture = job->Picture;
    const bool alpha = !picture->Alpha.empty();
    const int channels = alpha ? 4 : 3;
    png_set_write_fn(png, job, PngWrite, PngFlush);
    png_set_IHDR(png, info, picture->Width, picture->Height, 8,
                 alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_bytep row = job->Row->data();
    for (int y = 0; y < picture->Height; ++y) {
        const size_t base = static_cast<size_t>(y) * picture->Width;
        for (int x = 0; x < picture->Width; ++x) {
            const uint8_t* bgr = &picture->Pixels[(base + x) * 3];
            png_bytep out = row + static_cast<size_t>(x) * channels;
            out[0] = bgr[2];
            out[1] = bgr[1];
            out[2] = bgr[0];
            if (alpha)
                out[3] = picture->Alpha[base + x];
        }
        png_write_row(png, row);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

// Colours composed over white were stored as s = (c a + 255 (255 - a)) / 255, so
// 255 - s = (255 - c) a / 255 and c = 255 - (255 - s) 255 / a, rounded to nearest and clamped
// at 0 where rounding in the writer left s too dark for its alpha. Fully transparent pixels
// keep their stored colour: no colour can be recovered and none will show.
void UndoWhiteMatte(uint8_t* __restrict bgr, const uint8_t* __restrict alpha, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const uint32_t a = alpha[i];
        if (a == 0 || a == 255)
            continue;
        for (int c = 0; c < 3; ++c) {
            const uint32_t darkness = 255u - bgr[i * 3 + c];
            const uint32_t straight = (darkness * 255 + a / 2) / a;
            bgr[i * 3 + c] = static_cast<uint8_t>(255 - std::min<uint32_t>(straight, 255));
        }
    }
}

}  // namespace

bool DecodePng(TStream* stream, TDecodedPicture& picture, bool whiteMatte, std::string* failure)
{
    if (!stream)
        return false;
    std::vector<uint8_t> bgra;
    std::vector<png_bytep> rows;
    TPngReadJob job;
    job.Stream = stream;
    job.Available = stream->GetSize() - stream->GetPosition();
    job.Bgra = &bgra;
    job.Rows = &rows;
    if (!RunPngRead(&job)) {
        if (failure)
            *failure = job.Failure;
        return false;
    }
    rows.clear();
    rows.shrink_to_fit();

    const size_t count = static_cast<size_t>(job.Width) * job.Height;
    std::vector<uint8_t> pixels(count * 3);
    std::vector<uint8_t> alpha(job.HasAlpha ? count : 0);
    for (size_t i = 0; i < count; ++i) {
        std::memcpy(&pixels[i * 3], &bgra[i * 4], 3);
        if (job.HasAlpha)
            alpha[i] = bgra[i * 4 + 3];
    }
    if (whiteMatte && job.HasAlpha)
        UndoWhiteMatte(pixels.data(), alpha.data(), count);
    picture.Width = job.Width;
    picture.Height = job.Height;
    picture.Pixels = std::move(pixels);
    picture.Alpha = std::move(alpha);
    return true;
}

int ChkChannelPng(TStream* stream)
{
    if (!stream)
        return 0;
    TPngReadJob job;
    job.Stream = stream;
    job.HeaderOnly = true;
    if (!RunPngRead(&job))
        return 0;
    switch (job.ColorType) {
    case PNG_COLOR_TYPE_PALETTE:
        return 1;
    case PNG_COLOR_TYPE_RGB:
        return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        return 4;
    default:
        return 0;
    }
}

bool EncodePng(TStream* stream, const TDecodedPicture& picture)
{
    const int64_t bytes = PictureBytes(picture.Width, picture.Height, 3);
    if (!stream || bytes < 0 || picture.Pixels.size() != static_cast<size_t>(bytes) ||
        (!picture.Alpha.empty() && picture.Alpha.size() != static_cast<size_t>(bytes / 3)))
        return false;
    std::vector<uint8_t> row(static_cast<size_t>(picture.Width) * 4);
    TPngWriteJob job;
    job.Stream = stream;
    job.Picture = &picture;
    job.Row = &row;
    return RunPngWrite(&job);
}

bool EncodePng(std::vector<uint8_t>& bytes, const TDecodedPicture& picture)
{
    TMemoryStream stream;
    if (!EncodePng(&stream, picture))
        return false;
    bytes.assign(stream.Memory(), stream.Memory() + stream.GetSize());
    return true;
}
