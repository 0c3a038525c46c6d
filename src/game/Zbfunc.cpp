#include "game/Zbfunc.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <vector>

#include "archive/Vefileman.h"
#include "base/Vealpha.h"
#include "base/Vememman.h"
#include "base/Vepicture.h"
#include "base/Vergbbits.h"
#include "game/Zbdata.h"
#include "game/Zbglobals.h"
#include "panels/Vergbpanel.h"
#include "panels/Vergbparts.h"
#include "platform/Filenames.h"

namespace {

// Any fixed permutation serves; this one is the multiplier-and-offset walk of the byte values
// with the high bits folded in, so that neighbouring bytes get unrelated keys.
constexpr std::array<uint8_t, 256> MakeGnyKeyTable()
{
    std::array<uint8_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i)
        table[i] = static_cast<uint8_t>(((i * 167u + 73u) & 255u) ^ 0x5Cu);
    return table;
}

}  // namespace

constinit const std::array<uint8_t, 256> GnyBuiltinKeyTable = MakeGnyKeyTable();

namespace {

// Loaders run on the game thread and, while the main form starts, on the interface thread.
constinit std::atomic<const uint8_t*> SelectedKeyTable{GnyBuiltinKeyTable.data()};

constexpr char FileOpenError[] = "FileOpen Error";
constexpr char AllocError[] = "Alloc Error";
constexpr char FileLoadError[] = "FileLoad Error";
constexpr char LoadPrefix[] = "VeRGBLoad ";
constexpr char DrawPrefix[] = "VeRGBDraw ";
constexpr char PanelInitPrefix[] = "VePanelInit ";
constexpr char SetPartsError[] = "VeRGBParts SetParts Error";
constexpr char BitsInitError[] = "VeRGBBits Init Error";
constexpr char AlphaInitError[] = "VeAlpha Init Error";

enum TImageKind { ikNone, ikBmp, ikJpg, ikPng, ikLzh };

TImageKind ImageKind(const std::string& name)
{
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return ikNone;
    std::string ext = name.substr(dot + 1);
    for (char& c : ext)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (ext == "BMP")
        return ikBmp;
    if (ext == "JPG")
        return ikJpg;
    if (ext == "PNG")
        return ikPng;
    if (ext == "LZH")
        return ikLzh;
    return ikNone;
}

void Log(const char* prefix, const std::string& message)
{
    if (ErrLog)
        ErrLog->Add(prefix + message);
}

// A decoder's refusal as the log says it.
std::string Undecodable(const std::string& failure)
{
    return failure.empty() ? "cannot be decoded" : "cannot be decoded: " + failure;
}

// The line that names a picture file and what is wrong with it. It goes before the loader's own
// line, which says only which step failed, so that line keeps its words.
void NotePicture(const char* prefix, const std::string& name, const std::string& failure)
{
    Log(prefix, "[" + name + "] " + failure);
}

// The picture file as a stream; on failure its line, then the loader's exception.
TStream* OpenPicture(TFileMan* fileMan, const std::string& name, const char* prefix)
{
    std::string failure = "no file manager";
    TStream* stream = fileMan ? fileMan->Open(name, &failure) : nullptr;
    if (!stream) {
        NotePicture(prefix, name, failure);
        throw Exception(FileOpenError);
    }
    return stream;
}

bool DecodeKind(TVeRGBBits* bits, TVeAlpha* alpha, TImageKind kind, TStream* stream, int x, int y, bool whiteMatte,
                std::string& failure)
{
    if (!bits)
        return false;
    switch (kind) {
    case ikBmp:
        return bits->DrawBmpStream(stream, x, y);
    case ikJpg:
        return bits->DrawJpegStream(stream, x, y, &failure);
    case ikPng:
        return whiteMatte ? bits->DrawPngWMStream(stream, x, y, alpha, &failure)
                          : bits->DrawPngStream(stream, x, y, alpha, &failure);
    case ikLzh:
        return bits->DrawGnyStream(stream, x, y, SelectedKeyTable);
    case ikNone:
        break;
    }
    return false;
}

// Decodes the picture; on failure its line, then the loader's exception.
void Decode(TVeRGBBits* bits, TVeAlpha* alpha, TImageKind kind, TStream* stream, int x, int y, bool whiteMatte,
            const std::string& name, const char* prefix)
{
    std::string failure;
    if (DecodeKind(bits, alpha, kind, stream, x, y, whiteMatte, failure))
        return;
    NotePicture(prefix, name, Undecodable(failure));
    throw Exception(FileLoadError);
}

bool DrawImage(TVeRGBBits* bits, TVeAlpha* alpha, const std::string& name, int x, int y, TFileMan* fileMan,
               bool whiteMatte)
{
    const TImageKind kind = ImageKind(name);
    if (kind == ikNone)
        return false;
    TStream* stream = nullptr;
    try {
        stream = OpenPicture(fileMan, name, DrawPrefix);
        Decode(bits, alpha, kind, stream, x, y, whiteMatte, name, DrawPrefix);
        fileMan->Close(stream);
        return true;
    } catch (const Exception& e) {
        Log(DrawPrefix, e.Message);
        if (stream)
            fileMan->Close(stream);
        return false;
    }
}

}  // namespace

void NoteDataFile(const std::string& name, const std::string& failure)
{
    if (ErrLog)
        ErrLog->AddOnce(name + ": " + failure);
}

TStream* OpenDataFile(TFileMan* files, const std::string& name)
{
    if (!files)
        return nullptr;
    std::string failure;
    TStream* stream = files->Open(name, &failure);
    if (!stream && files->NameIsTaken(name))
        NoteDataFile(name, failure);
    return stream;
}

bool DrawDataPng(TVeRGBBits* bits, TVeAlpha* alpha, TFileMan* files, const std::string& name)
{
    TStream* stream = OpenDataFile(files, name);
    if (!stream)
        return false;
    std::string failure;
    const bool drawn = bits && bits->DrawPngStream(stream, 0, 0, alpha, &failure);
    files->Close(stream);
    if (!drawn && bits)
        NoteDataFile(name, Undecodable(failure));
    return drawn;
}

bool InitPack(TFileMan* files, const std::string& archive)
{
    if (!files)
        return false;
    std::string failure;
    if (files->InitPack(archive, &failure))
        return true;
    if (ErrLog && PathExists(archive))
        ErrLog->Add(archive + ": " + failure);
    return false;
}

bool InitPackOrDir(TFileMan* files, const std::string& archive, const std::string& folder)
{
    return files && (InitPack(files, archive) || files->InitDir(folder));
}

void SelectGnyKeyTable(int n)
{
    if (n == 0)
        SelectedKeyTable = GnyBuiltinKeyTable.data();
}

const uint8_t* SelectedGnyKeyTable()
{
    return SelectedKeyTable;
}

bool LoadRGBImage(TVeRGBBits*& bits, TVeAlpha** alpha, const std::string& name, TFileMan* fileMan)
{
    const TImageKind kind = ImageKind(name);
    if (kind == ikNone)
        return false;
    bits = nullptr;
    if (alpha)
        *alpha = nullptr;
    TStream* stream = nullptr;
    TVeAlpha* plane = nullptr;
    try {
        stream = OpenPicture(fileMan, name, LoadPrefix);
        bits = MemMan ? MemMan->CreateVCL<TVeRGBBits>() : nullptr;
        if (!bits)
            throw Exception(AllocError);
        bits->SetBitDepth(BitDepth);
        if (kind == ikPng && alpha) {
            if (ChkChannelPng(stream) == 4) {
                plane = MemMan->CreateVCL<TVeAlpha>();
                if (!plane)
                    throw Exception(AllocError);
            }
            stream->SetPosition(0);
        }
        Decode(bits, plane, kind, stream, 0, 0, true, name, LoadPrefix);
        fileMan->Close(stream);
        if (alpha)
            *alpha = plane;
        return true;
    } catch (const Exception& e) {
        Log(LoadPrefix, e.Message);
        DeleteMade(MemMan, bits);
        DeleteMade(MemMan, plane);
        if (stream)
            fileMan->Close(stream);
        return false;
    }
}

bool LoadPanelImage(TVeRGBPanel* panel, const std::string& name, TFileMan* fileMan)
{
    if (!panel)
        return false;
    TVeRGBBits* bits = nullptr;
    TVeAlpha* alpha = nullptr;
    if (!LoadRGBImage(bits, &alpha, name, fileMan))
        return false;
    panel->SetImage(bits);
    panel->SetMaskMode(alpha ? mmAlphaMask : mmOpaque);
    if (alpha)
        panel->SetAlpha(alpha);
    return true;
}

bool InitPanelImageWH(TVeRGBPanel* panel, int width, int height, bool withAlpha)
{
    if (!panel)
        return false;
    TVeRGBBits* bits = nullptr;
    TVeAlpha* alpha = nullptr;
    try {
        bits = MemMan ? MemMan->CreateVCL<TVeRGBBits>() : nullptr;
        if (withAlpha && MemMan)
            alpha = MemMan->CreateVCL<TVeAlpha>();
        if (!bits || (withAlpha && !alpha))
            throw Exception(AllocError);
        bits->SetBitDepth(BitDepth);
        // A size the buffer refuses would leave it at its default size: refused too.
        if (!bits->Resize(width, height) || !bits->Create())
            throw Exception(BitsInitError);
        if (alpha && (!alpha->Resize(width, height) || !alpha->Create()))
            throw Exception(AlphaInitError);
    } catch (const Exception& e) {
        Log(PanelInitPrefix, e.Message);
        DeleteMade(MemMan, bits);
        DeleteMade(MemMan, alpha);
        return false;
    }
    panel->SetImage(bits);
    panel->SetMaskMode(withAlpha ? mmAlphaMask : mmOpaque);
    if (alpha)
        panel->SetAlpha(alpha);
    return true;
}

bool InitPanelImage(TVeRGBPanel* panel, bool withAlpha)
{
    return panel && InitPanelImageWH(panel, panel->SizeX(), panel->SizeY(), withAlpha);
}

void ReleasePanelImage(TVeRGBPanel* panel)
{
    if (!panel)
        return;
    if (TVeRGBBits* image = panel->Image()) {
        panel->SetImage(nullptr);
        if (MemMan)
            MemMan->Delete(image);
    }
    if (TVeAlpha* alpha = panel->Alpha()) {
        panel->SetAlpha(nullptr);
        if (MemMan)
            MemMan->Delete(alpha);
    }
}

bool LoadPartsImage(TVeRGBParts*& parts, const std::string& name, TFileMan* fileMan, const TVePartsData* table)
{
    const TImageKind kind = ImageKind(name);
    if (kind == ikNone)
        return false;
    if (!parts) {
        parts = MemMan ? MemMan->CreateVCL<TVeRGBParts>() : nullptr;
        if (!parts)
            return false;
        parts->SetBitDepth(BitDepth);
    }
    TStream* stream = nullptr;
    TVeRGBBits* bits = nullptr;
    TVeAlpha* alpha = nullptr;
    bool ok = false;
    try {
        stream = OpenPicture(fileMan, name, LoadPrefix);
        bits = MemMan ? MemMan->CreateVCL<TVeRGBBits>() : nullptr;
        if (!bits)
            throw Exception(AllocError);
        bits->SetBitDepth(BitDepth);
        if (kind == ikPng) {
            if (ChkChannelPng(stream) == 4) {
                alpha = MemMan->CreateVCL<TVeAlpha>();
                if (!alpha)
                    throw Exception(AllocError);
            }
            stream->SetPosition(0);
        }
        Decode(bits, alpha, kind, stream, 0, 0, false, name, LoadPrefix);
        fileMan->Close(stream);
        if (!(alpha ? parts->SetParts(bits, alpha, table) : parts->SetParts(bits, table)))
            throw Exception(SetPartsError);
        ok = true;
    } catch (const Exception& e) {
        Log(LoadPrefix, e.Message);
        if (stream)
            fileMan->Close(stream);
    }
    DeleteMade(MemMan, bits);
    DeleteMade(MemMan, alpha);
    return ok;
}

void SetPanelParts(TVeRGBPanel* panel, TVeRGBParts* parts, const TPartsPlace* place)
{
    if (!panel || !place)
        return;
    panel->SetOffsetX(place->X);
    panel->SetOffsetY(place->Y);
    if (place->Index < 0 || !parts)
        return;
    TVeRGBBits* image = parts->GetImage(place->Index);
    if (!image)
        return;
    TVeAlpha* alpha = parts->GetAlpha(place->Index);
    panel->SetImage(image);
    panel->SetAlpha(alpha);
    panel->SetMaskMode(alpha ? mmAlphaMask : mmOpaque);
    panel->SetSizeX(image->Width());
    // A part always has at least one pattern; guarded so a bad table cannot divide by zero.
    panel->SetSizeY(image->Height() / std::max(parts->GetPattern(place->Index), 1));
}

bool DrawImageFileWM(TVeRGBBits* bits, TVeAlpha* alpha, const std::string& name, int x, int y, TFileMan* fileMan)
{
    return DrawImage(bits, alpha, name, x, y, fileMan, true);
}

bool DrawImageFile(TVeRGBBits* bits, TVeAlpha* alpha, const std::string& name, int x, int y, TFileMan* fileMan)
{
    return DrawImage(bits, alpha, name, x, y, fileMan, false);
}

namespace {

enum TStretchOp { soCopy, soBlend };

// The column walk is the same for every row, so it is made once: for each of the N steps the
// source and destination byte offsets, in the order the steps write.
template <int Bpp, TStretchOp Op>
void Stretch(const uint8_t* src, int srcWidth, int srcHeight, int srcPitch, uint8_t* dst, int dstWidth,
             int dstHeight, int dstPitch)
{
    if (!src || !dst || srcWidth < 1 || srcHeight < 1 || dstWidth < 1 || dstHeight < 1)
        return;
    const int n = std::max(srcWidth, dstWidth);
    const int m = std::max(srcHeight, dstHeight);
    std::vector<int> srcColumn(static_cast<size_t>(n));
    std::vector<int> dstColumn(static_cast<size_t>(n));
    for (int i = 0, sx = 0, dx = 0, sAcc = 0, dAcc = 0; i < n; ++i) {
        srcColumn[static_cast<size_t>(i)] = sx * Bpp;
        dstColumn[static_cast<size_t>(i)] = dx * Bpp;
        if ((sAcc += srcWidth) >= n) {
            sAcc -= n;
            ++sx;
        }
        if ((dAcc += dstWidth) >= n) {
            dAcc -= n;
            ++dx;
        }
    }
    for (int j = 0, sy = 0, dy = 0, sAcc = 0, dAcc = 0; j < m; ++j) {
        const uint8_t* __restrict from = src + static_cast<ptrdiff_t>(sy) * srcPitch;
        uint8_t* __restrict to = dst + static_cast<ptrdiff_t>(dy) * dstPitch;
        for (int i = 0; i < n; ++i) {
            const uint8_t* s = from + srcColumn[static_cast<size_t>(i)];
            uint8_t* d = to + dstColumn[static_cast<size_t>(i)];
            if constexpr (Op == soCopy) {
                for (int b = 0; b < Bpp; ++b)
                    d[b] = s[b];
            } else {
                for (int b = 0; b < 3; ++b)
                    d[b] = static_cast<uint8_t>((3 * d[b] + s[b]) >> 2);
                if constexpr (Bpp == 4)
                    d[3] = 0;
            }
        }
        if ((sAcc += srcHeight) >= m) {
            sAcc -= m;
            ++sy;
        }
        if ((dAcc += dstHeight) >= m) {
            dAcc -= m;
            ++dy;
        }
    }
}

enum TLineOp { loAdd, loSub };

int64_t Clamp16(int64_t v)
{
    return std::clamp<int64_t>(v, -32768, 32768);
}

// Smallest q with q x b >= a for b > 0 (a may be negative: then 0 is enough).
int64_t CeilDiv(int64_t a, int64_t b)
{
    return a <= 0 ? 0 : (a + b - 1) / b;
}

template <int Bpp, TLineOp Op>
void PutPixel(uint8_t* p, const uint8_t c[3])
{
    for (int b = 0; b < 3; ++b) {
        if constexpr (Op == loAdd) {
            const int v = p[b] + c[b];
            p[b] = static_cast<uint8_t>(v > 255 ? 255 : v);
        } else {
            const int v = p[b] - c[b];
            p[b] = static_cast<uint8_t>(v < 0 ? 0 : v);
        }
    }
}

template <TLineOp Op>
bool DrawLine(TVeRGBBits* bits, int ix1, int iy1, int ix2, int iy2, uint32_t colour, TVeRect clip)
{
    if (!bits || !bits->Created() || (bits->BitDepth() != bd24 && bits->BitDepth() != bd32))
        return false;
    TVeRect r;
    if (!r.IntersectRect(clip, VeRect(0, 0, bits->Width(), bits->Height())) || r.IsRectEmpty())
        return true;
    int64_t x1 = Clamp16(ix1), y1 = Clamp16(iy1), x2 = Clamp16(ix2), y2 = Clamp16(iy2);
    if (y2 < y1) {
        std::swap(x1, x2);
        std::swap(y1, y2);
    }
    if (y1 >= r.bottom || y2 < r.top || std::min(x1, x2) >= r.right || std::max(x1, x2) < r.left)
        return true;
    if (!bits->Lock())
        return false;
    const int bpp = BytesPerPixel(bits->BitDepth());
    const uint8_t c[3] = {uint8_t(colour), uint8_t(colour >> 8), uint8_t(colour >> 16)};
    const int64_t step = x2 >= x1 ? 1 : -1;
    const int64_t dx = (x2 >= x1 ? x2 - x1 : x1 - x2) + 1;
    const int64_t dy = y2 - y1 + 1;
    const bool xMajor = dx > dy;
    // Columns the walk must move before it reaches the near vertical edge of the clip.
    const int64_t near = step > 0 ? r.left - x1 : x1 - (r.right - 1);
    // Steps to skip before the first pixel inside the clip, in closed form: enough to reach the
    // top row and enough to reach the near column.
    const int64_t t = xMajor ? std::max(CeilDiv((r.top - y1) * dx, dy), std::max<int64_t>(near, 0))
                             : std::max(std::max<int64_t>(r.top - y1, 0), CeilDiv(near * dy, dx));
    const int64_t major = xMajor ? dx : dy;
    if (t < major) {
        const int64_t minor = xMajor ? dy : dx;
        const int64_t units = t * minor;
        int64_t e = units % major;
        int64_t x = x1 + step * (xMajor ? t : units / major);
        int64_t y = y1 + (xMajor ? units / major : t);
        for (int64_t i = t; i < major; ++i) {
            if (x < r.left || x >= r.right || y >= r.bottom)
                break;
            uint8_t* p = bits->Bits() + y * bits->Pitch() + x * bpp;
            if (bpp == 3)
                PutPixel<3, Op>(p, c);
            else
                PutPixel<4, Op>(p, c);
            if (xMajor) {
                x += step;
                if ((e += minor) >= major) {
                    e -= major;
                    ++y;
                }
            } else {
                ++y;
                if ((e += minor) >= major) {
                    e -= major;
                    x += step;
                }
            }
        }
    }
    bits->Unlock();
    return true;
}

}  // namespace

void StretchCopy24(const uint8_t* src, int srcWidth, int srcHeight, int srcPitch, uint8_t* dst, int dstWidth,
                   int dstHeight, int dstPitch)
{
    Stretch<3, soCopy>(src, srcWidth, srcHeight, srcPitch, dst, dstWidth, dstHeight, dstPitch);
}

void StretchCopy32(const uint8_t* src, int srcWidth, int srcHeight, int srcPitch, uint8_t* dst, int dstWidth,
                   int dstHeight, int dstPitch)
{
    Stretch<4, soCopy>(src, srcWidth, srcHeight, srcPitch, dst, dstWidth, dstHeight, dstPitch);
}

void StretchBlend24(const uint8_t* src, int srcWidth, int srcHeight, int srcPitch, uint8_t* dst, int dstWidth,
                    int dstHeight, int dstPitch)
{
    Stretch<3, soBlend>(src, srcWidth, srcHeight, srcPitch, dst, dstWidth, dstHeight, dstPitch);
}

void StretchBlend32(const uint8_t* src, int srcWidth, int srcHeight, int srcPitch, uint8_t* dst, int dstWidth,
                    int dstHeight, int dstPitch)
{
    Stretch<4, soBlend>(src, srcWidth, srcHeight, srcPitch, dst, dstWidth, dstHeight, dstPitch);
}

bool DrawAddLine(TVeRGBBits* bits, int x1, int y1, int x2, int y2, uint32_t colour, TVeRect clip)
{
    return DrawLine<loAdd>(bits, x1, y1, x2, y2, colour, clip);
}

bool DrawSubLine(TVeRGBBits* bits, int x1, int y1, int x2, int y2, uint32_t colour, TVeRect clip)
{
    return DrawLine<loSub>(bits, x1, y1, x2, y2, colour, clip);
}

int VolumeToAttenuation(int volume)
{
    if (volume < 1)
        return -10000;
    if (volume >= 100)
        return 0;
    return volume * 40 - 4000;
}
