// Builds the bundled sample game: every data file the program opens, made from the scripts in
// the sample folder and from pictures and sounds generated here.
// Usage: mksample [game folder (build/sample-game)] [sample sources (sample)]
//
// Output is the same on every run for the same sources and installed fonts: pictures are flat
// colour drawn by code, sounds are synthesised tones, movies are solid colours with a tone,
// nothing depends on the clock or chance. A ZB.INI already in the game folder holds the player's
// settings and stays; so does every other file the game wrote there. The game may be running on
// the folder while it is rebuilt: a file that already holds its bytes is left as it is, and one
// that changes is replaced by rename, so that no file the game holds open changes under it.
//
// Builds of one game folder take turns: a build started while another runs on the folder says
// so, waits for it, and then finds its files already made. Every file is made in a staging
// folder first and put in its place only once all of them are made, so that a build that fails
// while it makes them leaves the data in place as it was. Files are then put in place one at a
// time, each whole: a build that fails in that step leaves some files new and the others as
// they were, and the next build that succeeds completes them. A failure ends the build with
// status 1 and one line that names the file and the cause.
//
// SIGINT, SIGTERM or SIGHUP stop a build between two steps (a file being put in place lands
// first, so a stop in that step leaves the data as a failure there does); the staging folder
// goes, and the build ends by that signal after one line that says so. A build killed outright
// leaves its staging folder and, if it was putting a file in place, that file's temporary (the
// file's name, ".tmp" and six letters or digits). The next build removes the staging folder as
// it begins, and such temporaries of the files it makes before it puts any in place; it never
// touches the temporaries of the settings or the save, which a running game may be writing.
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <setjmp.h>
#include <sys/file.h>
#include <unistd.h>
#include <jpeglib.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "archive/Vepack.h"
#include "base/Vepicture.h"
#include "game/Gamefconst.h"
#include "game/Zbdef.h"
#include "game/Zbeffectdata.h"
#include "game/Zbfunc.h"
#include "media/Veacm.h"
#include "platform/Atomicfile.h"
#include "platform/Codepage.h"
#include "platform/Gdi.h"
#include "platform/MovieWriter.h"
#include "platform/Streams.h"
#include "platform/Sysutils.h"
#include "scenario/Zbasm.h"

namespace fs = std::filesystem;

namespace {

using TBytes = std::vector<uint8_t>;

// A build that cannot go on; the text names the file and the cause. Thrown rather than ending
// the process, so that the staging folder goes and the folder's lock is let go in order.
struct EBuildFailed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void Die(const std::string& why)
{
    throw EBuildFailed(why);
}

// A build asked to stop by a signal; thrown between steps, so that it unwinds as a failure does.
struct EBuildStopped {};

// The signal that asked the build to stop, 0 while none has. The handler only records it: a
// step under way ends whole, so that a file being put in place lands or stays as it was.
volatile sig_atomic_t StopSignal = 0;
// Set while the build waits for the folder's lock, when nothing is made yet: a stop then ends the
// process from the handler, with the line prepared in StopLine (written whole, no formatting).
volatile sig_atomic_t WaitingForLock = 0;
char StopLine[512];
size_t StopLineSize = 0;

// The signal's default action, which ends the process as that signal does.
void EndBySignal(int signal)
{
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

void OnStopSignal(int signal)
{
    if (WaitingForLock) {
        [[maybe_unused]] const ssize_t written = ::write(2, StopLine, StopLineSize);
        EndBySignal(signal);
    }
    StopSignal = signal;
}

// The stop signals the build caught (not those ignored when it started).
sigset_t CaughtSignals;

void CatchStop(int signal, int flags)
{
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = flags;
    ::sigaction(signal, &action, nullptr);
}

void CatchStopSignals()
{
    sigemptyset(&CaughtSignals);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        // One ignored by whoever started the build (nohup) stays ignored.
        struct sigaction old {};
        if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
            continue;
        sigaddset(&CaughtSignals, signal);
        CatchStop(signal, SA_RESTART);
    }
}

// While the build waits for the lock, a stop interrupts the wait instead of restarting it. The
// handler normally ends the process inside the wait already; where a runtime defers handlers to
// its next call into the C library (ThreadSanitizer's does), a restarted wait would hold the stop
// until the other build is done.
void InterruptibleWait(bool interruptible)
{
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        if (sigismember(&CaughtSignals, signal) == 1)
            CatchStop(signal, interruptible ? 0 : SA_RESTART);
}

void CheckStop()
{
    if (StopSignal)
        throw EBuildStopped();
}

std::string Cause(const std::error_code& error) { return error.message(); }

void MakeFolder(const fs::path& folder)
{
    std::error_code error;
    fs::create_directories(folder, error);
    if (error)
        Die("cannot create the folder " + folder.string() + ": " + Cause(error));
}

void RemoveAll(const fs::path& path)
{
    std::error_code error;
    fs::remove_all(path, error);
    if (error)
        Die("cannot remove " + path.string() + ": " + Cause(error));
}

// The folder's entries, sorted by name.
std::vector<fs::path> ListFolder(const fs::path& folder)
{
    std::vector<fs::path> entries;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        entries.push_back(it->path());
    if (error)
        Die("cannot list " + folder.string() + ": " + Cause(error));
    std::sort(entries.begin(), entries.end());
    return entries;
}

// Holds the game folder for this build while it lives. The lock is on the folder itself, not on
// a file in it: nothing is left among the game's files, and a build that dies lets it go.
class TFolderLock {
public:
    explicit TFolderLock(const fs::path& folder)
    {
        FHandle = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (FHandle < 0)
            Die("cannot open the folder " + folder.string() + ": " + std::strerror(errno));
        if (Lock(LOCK_EX | LOCK_NB))
            return;
        if (errno == EWOULDBLOCK) {
            std::fprintf(stderr, "mksample: waiting for another build of %s to finish\n", folder.c_str());
            const int n = std::snprintf(StopLine, sizeof StopLine,
                                        "mksample: the build of %s stopped while it waited\n", folder.c_str());
            StopLineSize = n < 0 ? 0 : std::min(size_t(n), sizeof StopLine - 1);
            // A stop that came before the wait began is not missed: it ends the build here.
            WaitingForLock = 1;
            if (StopSignal) {
                [[maybe_unused]] const ssize_t written = ::write(2, StopLine, StopLineSize);
                EndBySignal(StopSignal);
            }
            InterruptibleWait(true);
            const bool locked = Lock(LOCK_EX);
            WaitingForLock = 0;
            InterruptibleWait(false);
            if (locked)
                return;
        }
        const int error = errno;
        ::close(FHandle);
        Die("cannot lock the folder " + folder.string() + ": " + std::strerror(error));
    }
    ~TFolderLock() { ::close(FHandle); }
    TFolderLock(const TFolderLock&) = delete;
    TFolderLock& operator=(const TFolderLock&) = delete;

private:
    bool Lock(int operation)
    {
        int result;
        while ((result = ::flock(FHandle, operation)) != 0 && errno == EINTR) {
            // A stop ends the process in its handler. A runtime that defers handlers until its
            // next call into the C library (ThreadSanitizer's does) runs it here.
            sigset_t pending;
            ::sigpending(&pending);
        }
        return result == 0;
    }

    int FHandle = -1;
};

// ---------------------------------------------------------------- pictures

struct TRgb {
    uint8_t R, G, B;
};

TRgb Mix(TRgb a, TRgb b, double t)
{
    auto m = [t](uint8_t x, uint8_t y) { return uint8_t(std::lround(x + (y - x) * t)); };
    return {m(a.R, b.R), m(a.G, b.G), m(a.B, b.B)};
}
TRgb Lighter(TRgb c, double t) { return Mix(c, {255, 255, 255}, t); }
TRgb Darker(TRgb c, double t) { return Mix(c, {0, 0, 0}, t); }

// A picture being drawn: blue, green, red bytes and an optional alpha plane.
class TCanvas {
public:
    TCanvas(int width, int height, bool alpha, TRgb fill = {0, 0, 0})
    {
        Pic.Width = width;
        Pic.Height = height;
        Pic.Pixels.resize(size_t(width) * height * 3);
        if (alpha)
            Pic.Alpha.assign(size_t(width) * height, 0);
        Fill(0, 0, width, height, fill, -1);
    }
    int W() const { return Pic.Width; }
    int H() const { return Pic.Height; }

    // alpha -1 leaves the plane alone; otherwise the plane takes it where the colour is set.
    void Put(int x, int y, TRgb c, int alpha = 255)
    {
        if (x < 0 || y < 0 || x >= Pic.Width || y >= Pic.Height)
            return;
        uint8_t* p = &Pic.Pixels[(size_t(y) * Pic.Width + x) * 3];
        p[0] = c.B;
        p[1] = c.G;
        p[2] = c.R;
        if (alpha >= 0 && !Pic.Alpha.empty())
            Pic.Alpha[size_t(y) * Pic.Width + x] = uint8_t(alpha);
    }
    TRgb Get(int x, int y) const
    {
        const uint8_t* p = &Pic.Pixels[(size_t(y) * Pic.Width + x) * 3];
        return {p[2], p[1], p[0]};
    }
    void Blend(int x, int y, TRgb c, double t)
    {
        if (x < 0 || y < 0 || x >= Pic.Width || y >= Pic.Height)
            return;
        Put(x, y, Mix(Get(x, y), c, t), -1);
    }
    void Fill(int x, int y, int w, int h, TRgb c, int alpha = 255)
    {
        for (int j = y; j < y + h; ++j)
            for (int i = x; i < x + w; ++i)
                Put(i, j, c, alpha);
    }
    void Gradient(int x, int y, int w, int h, TRgb top, TRgb bottom, int alpha = 255)
    {
        for (int j = 0; j < h; ++j) {
            const TRgb c = Mix(top, bottom, h > 1 ? double(j) / (h - 1) : 0);
            for (int i = 0; i < w; ++i)
                Put(x + i, y + j, c, alpha);
        }
    }
    // A rounded box with a border of its own colour, darker.
    void Box(int x, int y, int w, int h, int radius, TRgb face, TRgb border, int alpha = 255, int line = 2)
    {
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) {
                const int dx = std::max({radius - i - 1, i - (w - radius), 0});
                const int dy = std::max({radius - j - 1, j - (h - radius), 0});
                const double d = std::sqrt(double(dx * dx + dy * dy));
                if (d > radius)
                    continue;
                const bool edge = i < line || j < line || i >= w - line || j >= h - line || d > radius - line;
                Put(x + i, y + j, edge ? border : face, alpha);
            }
    }
    void Disc(double cx, double cy, double r, TRgb c, int alpha = 255)
    {
        for (int j = int(cy - r) - 1; j <= int(cy + r) + 1; ++j)
            for (int i = int(cx - r) - 1; i <= int(cx + r) + 1; ++i)
                if ((i + 0.5 - cx) * (i + 0.5 - cx) + (j + 0.5 - cy) * (j + 0.5 - cy) <= r * r)
                    Put(i, j, c, alpha);
    }
    void Ring(double cx, double cy, double r, double width, TRgb c, int alpha = 255)
    {
        for (int j = int(cy - r) - 1; j <= int(cy + r) + 1; ++j)
            for (int i = int(cx - r) - 1; i <= int(cx + r) + 1; ++i) {
                const double d = std::hypot(i + 0.5 - cx, j + 0.5 - cy);
                if (d <= r && d >= r - width)
                    Put(i, j, c, alpha);
            }
    }
    // A soft glow added over the colour (alpha untouched).
    void Glow(double cx, double cy, double r, TRgb c, double strength)
    {
        for (int j = int(cy - r); j <= int(cy + r); ++j)
            for (int i = int(cx - r); i <= int(cx + r); ++i) {
                const double d = std::hypot(i - cx, j - cy) / r;
                if (d < 1)
                    Blend(i, j, c, strength * (1 - d) * (1 - d));
            }
    }
    void Polygon(const std::vector<std::pair<double, double>>& pts, TRgb c, int alpha = 255)
    {
        double minY = 1e9, maxY = -1e9;
        for (auto& p : pts) {
            minY = std::min(minY, p.second);
            maxY = std::max(maxY, p.second);
        }
        for (int j = int(std::floor(minY)); j <= int(std::ceil(maxY)); ++j) {
            const double y = j + 0.5;
            std::vector<double> xs;
            for (size_t k = 0; k < pts.size(); ++k) {
                auto a = pts[k], b = pts[(k + 1) % pts.size()];
                if ((a.second <= y) != (b.second <= y))
                    xs.push_back(a.first + (y - a.second) * (b.first - a.first) / (b.second - a.second));
            }
            std::sort(xs.begin(), xs.end());
            for (size_t k = 0; k + 1 < xs.size(); k += 2)
                for (int i = int(std::ceil(xs[k] - 0.5)); i < int(std::ceil(xs[k + 1] - 0.5)); ++i)
                    Put(i, j, c, alpha);
        }
    }
    // Text in UTF-8, drawn in the CJK face the program itself uses; centred on cx when centre.
    void Text(int x, int y, const std::string& utf8, int size, TRgb c, bool centre = false, bool bold = false);

    TDecodedPicture Pic;
};

// Fonts by size and weight; none when no CJK face is installed (labels are then left out).
std::map<int, HFONT>& Fonts()
{
    static std::map<int, HFONT> fonts;
    return fonts;
}

void FreeFonts()
{
    for (auto& [key, font] : Fonts())
        if (font)
            DeleteObject(font);
    Fonts().clear();
}

HFONT Font(int size, bool bold)
{
    auto& fonts = Fonts();
    const int key = size * 2 + (bold ? 1 : 0);
    auto it = fonts.find(key);
    if (it != fonts.end())
        return it->second;
    TLogFont lf;
    lf.Height = -size;
    lf.Weight = bold ? FW_BOLD : FW_NORMAL;
    lf.CharSet = SHIFTJIS_CHARSET;
    lf.Quality = NONANTIALIASED_QUALITY;
    lf.FaceName = "MS Gothic";
    HFONT f = CreateFontIndirect(lf);
    fonts[key] = f;
    return f;
}

void TCanvas::Text(int x, int y, const std::string& utf8, int size, TRgb c, bool centre, bool bold)
{
    std::string bytes;
    if (!Utf8ToCodePage(utf8, "CP932", bytes))
        Die("label not in code page 932: " + utf8);
    HFONT font = Font(size, bold);
    if (!font)
        return;
    TPixelTarget target{Pic.Pixels.data(), Pic.Width * 3, Pic.Width, Pic.Height, 3};
    HDC dc = CreateTargetDC(target);
    if (!dc)
        return;
    SelectObject(dc, font);
    if (centre) {
        TSize extent;
        GetTextExtentPoint32(dc, bytes.data(), int(bytes.size()), &extent);
        x -= extent.cx / 2;
    }
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(c.R, c.G, c.B));
    TextOut(dc, x, y, bytes.data(), int(bytes.size()));
    SelectObject(dc, nullptr);
    ReleaseTargetDC(dc);
    if (!Pic.Alpha.empty()) {
        TPixelTarget plane{Pic.Alpha.data(), Pic.Width, Pic.Width, Pic.Height, 1};
        HDC adc = CreateTargetDC(plane);
        if (!adc)
            return;
        SelectObject(adc, font);
        SetBkMode(adc, TRANSPARENT);
        SetTextColor(adc, RGB(255, 255, 255));
        TextOut(adc, x, y, bytes.data(), int(bytes.size()));
        SelectObject(adc, nullptr);
        ReleaseTargetDC(adc);
    }
}

TBytes Png(const TCanvas& c)
{
    TBytes out;
    if (!EncodePng(out, c.Pic))
        Die("PNG encoding failed");
    return out;
}

// Pictures the program decodes against a white matte keep their colour stored composed over
// white, so that translucent edges come back as drawn.
TBytes PngOverWhite(const TCanvas& c)
{
    TCanvas copy = c;
    for (size_t i = 0; i < copy.Pic.Alpha.size(); ++i) {
        const int a = copy.Pic.Alpha[i];
        for (int k = 0; k < 3; ++k) {
            uint8_t& v = copy.Pic.Pixels[i * 3 + k];
            v = uint8_t((v * a + 255 * (255 - a) + 127) / 255);
        }
    }
    return Png(copy);
}

TBytes Bmp(const TCanvas& c) { return MakeRgbBmp(c.Pic); }

TBytes Gny(const TCanvas& c)
{
    TMemoryStream stream;
    if (!EncodeGny(&stream, GnyBuiltinKeyTable.data(), c.Pic))
        Die("scrambled picture encoding failed");
    return TBytes(stream.Memory(), stream.Memory() + stream.GetSize());
}

struct TJpegError {
    jpeg_error_mgr Manager;
    jmp_buf Jump;
};

void JpegFail(j_common_ptr info)
{
    longjmp(reinterpret_cast<TJpegError*>(info->err)->Jump, 1);
}

// No C++ object lives between setjmp and a possible longjmp in here.
bool EncodeJpegRaw(const TDecodedPicture& pic, unsigned char** data, unsigned long* size)
{
    jpeg_compress_struct info;
    TJpegError error;
    info.err = jpeg_std_error(&error.Manager);
    error.Manager.error_exit = JpegFail;
    if (setjmp(error.Jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, data, size);
    info.image_width = JDIMENSION(pic.Width);
    info.image_height = JDIMENSION(pic.Height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 92, TRUE);
    jpeg_start_compress(&info, TRUE);
    unsigned char* row = static_cast<unsigned char*>(std::malloc(size_t(pic.Width) * 3));
    if (!row) {
        jpeg_destroy_compress(&info);
        return false;
    }
    while (info.next_scanline < info.image_height) {
        const uint8_t* src = &pic.Pixels[size_t(info.next_scanline) * pic.Width * 3];
        for (int i = 0; i < pic.Width; ++i) {
            row[i * 3] = src[i * 3 + 2];
            row[i * 3 + 1] = src[i * 3 + 1];
            row[i * 3 + 2] = src[i * 3];
        }
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&info, rows, 1);
    }
    std::free(row);
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

TBytes Jpeg(const TCanvas& c)
{
    unsigned char* data = nullptr;
    unsigned long size = 0;
    if (!EncodeJpegRaw(c.Pic, &data, &size)) {
        std::free(data);
        Die("JPEG encoding failed");
    }
    TBytes out(data, data + size);
    std::free(data);
    return out;
}

// ---------------------------------------------------------------- palette and widgets

const TRgb Night{24, 32, 64}, Sea{36, 84, 140}, Sand{236, 214, 170}, Lamp{255, 214, 110},
    Ink{34, 30, 48}, Paper{250, 246, 236}, Accent{232, 112, 84}, Teal{70, 170, 170}, Grey{150, 150, 156};

// The five button looks, in strip order.
enum TPat { patNormal, patFocus, patSelected, patDown, patDisable };

struct TButtonLook {
    TRgb Face = Paper;
    TRgb Border = Ink;
    TRgb Text = Ink;
    int Radius = 6;
    int TextSize = 14;
    int Line = 2;
};

// Relative luminance and contrast as the web's accessibility guidelines define them; labels
// need 4.5:1 against their face to read.
double Luminance(TRgb c)
{
    auto channel = [](uint8_t v) {
        const double x = v / 255.0;
        return x <= 0.03928 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.R) + 0.7152 * channel(c.G) + 0.0722 * channel(c.B);
}

double Contrast(TRgb a, TRgb b)
{
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

constexpr double ReadableContrast = 4.5;
// Disabled labels: greyed, still readable.
const TRgb DimInk{80, 80, 88}, DimPaper{224, 224, 228};

// Keeps the label colour where it reads on the face; otherwise takes the dark or the light one,
// whichever reads better, and moves the face away from it until it reads.
void MakeReadable(TRgb& face, TRgb& text, TRgb dark, TRgb light)
{
    if (Contrast(face, text) >= ReadableContrast)
        return;
    const bool darkText = Contrast(face, dark) >= Contrast(face, light);
    text = darkText ? dark : light;
    for (int step = 0; step < 20 && Contrast(face, text) < ReadableContrast; ++step)
        face = darkText ? Lighter(face, 0.1) : Darker(face, 0.1);
}

// One block of a button: the look of pattern kind k, frame f of n.
void DrawButtonBlock(TCanvas& c, int x, int y, int w, int h, const std::string& label, TPat k, int f, int n,
                     const TButtonLook& look)
{
    TRgb face = look.Face, border = look.Border, text = look.Text;
    int shift = 0;
    switch (k) {
    case patNormal:
        break;
    case patFocus:
        face = Mix(look.Face, Lamp, 0.35 + 0.4 * (n > 1 ? double(f) / (n - 1) : 1));
        break;
    case patSelected:
        face = Darker(Accent, 0.35);
        border = Darker(Accent, 0.6);
        text = Paper;
        break;
    case patDown:
        face = Darker(Mix(look.Face, Lamp, 0.5), 0.15);
        shift = 1;
        break;
    case patDisable:
        face = Mix(look.Face, Grey, 0.35);
        border = Grey;
        text = DimInk;
        break;
    }
    if (k == patDisable)
        MakeReadable(face, text, DimInk, DimPaper);
    else
        MakeReadable(face, text, Ink, Paper);
    c.Box(x, y, w, h, std::min(look.Radius, std::min(w, h) / 2), face, border, 255, look.Line);
    if (!label.empty())
        c.Text(x + w / 2 + shift, y + (h - look.TextSize) / 2 + shift, label, look.TextSize, text, true);
}

// A strip of buttons blocks stacked vertically: counts of normal, focus, selected, down, disable.
void DrawButtonStrip(TCanvas& c, int x, int y, int w, int h, const std::string& label, std::array<int, 5> counts,
                     const TButtonLook& look = {})
{
    int block = 0;
    for (int k = 0; k < 5; ++k)
        for (int f = 0; f < counts[size_t(k)]; ++f, ++block)
            DrawButtonBlock(c, x, y + block * h, w, h, label, TPat(k), f, counts[size_t(k)], look);
}

TCanvas ButtonStrip(int w, int h, const std::string& label, std::array<int, 5> counts, const TButtonLook& look = {})
{
    const int blocks = counts[0] + counts[1] + counts[2] + counts[3] + counts[4];
    TCanvas c(w, h * blocks, true);
    DrawButtonStrip(c, 0, 0, w, h, label, counts, look);
    return c;
}

// A window frame: a translucent panel with a solid rim, as the message and choice windows use.
TCanvas Frame(int w, int h, TRgb rim, int inner, const std::string& caption = "", bool dark = false)
{
    TCanvas c(w, h, true);
    c.Box(0, 0, w, h, 12, rim, Darker(rim, 0.4), 255, 3);
    const TRgb face = dark ? Darker(rim, 0.6) : Lighter(rim, 0.85);
    c.Box(7, 7, w - 14, h - 14, 8, face, Lighter(rim, 0.5), inner, 1);
    if (!caption.empty())
        c.Text(w / 2, 12, caption, 14, Ink, true, true);
    return c;
}

// ---------------------------------------------------------------- sounds

struct TSynth {
    uint32_t Rate = 22050;
    std::vector<double> Samples;

    void Ensure(size_t n)
    {
        if (Samples.size() < n)
            Samples.resize(n, 0.0);
    }
    // A note with a soft attack and an exponential decay; harmonics give it a bell-like colour.
    void Note(double start, double length, double freq, double volume, double decay = 3.0, double vibrato = 0)
    {
        const size_t s0 = size_t(start * Rate), n = size_t(length * Rate);
        Ensure(s0 + n);
        for (size_t i = 0; i < n; ++i) {
            const double t = double(i) / Rate;
            const double env = std::min(1.0, t / 0.01) * std::exp(-decay * t) * std::min(1.0, (length - t) / 0.02);
            const double f = freq * (1 + vibrato * std::sin(2 * M_PI * 5.5 * t));
            const double ph = 2 * M_PI * f * t;
            Samples[s0 + i] += volume * env * (std::sin(ph) + 0.3 * std::sin(2 * ph) + 0.12 * std::sin(3 * ph));
        }
    }
    // Filtered noise from a fixed generator (rain, waves).
    void Noise(double start, double length, double volume, double smooth, double swell = 0)
    {
        const size_t s0 = size_t(start * Rate), n = size_t(length * Rate);
        Ensure(s0 + n);
        uint32_t x = 0x12345678u;
        double low = 0;
        for (size_t i = 0; i < n; ++i) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            const double white = (x & 0xFFFF) / 32768.0 - 1.0;
            low += (white - low) * smooth;
            const double t = double(i) / Rate;
            const double env = std::min({1.0, t / 0.05, (length - t) / 0.05}) *
                               (1 - swell + swell * 0.5 * (1 + std::sin(2 * M_PI * t / length * 2)));
            Samples[s0 + i] += volume * env * low;
        }
    }
    TBytes Adp() const
    {
        std::vector<int16_t> pcm(Samples.size());
        for (size_t i = 0; i < Samples.size(); ++i)
            pcm[i] = int16_t(std::clamp(Samples[i], -1.0, 1.0) * 30000);
        TBytes out = DirectX::EncodeAdp(pcm.data(), uint32_t(pcm.size()), 1, Rate);
        if (out.empty())
            Die("ADPCM encoding failed");
        return out;
    }
};

double Midi(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

// A looping tune: melody notes (0 a rest) over a bass line, one beat each.
TBytes Tune(const std::vector<int>& melody, const std::vector<int>& bass, double beat)
{
    TSynth s;
    const double total = melody.size() * beat;
    s.Ensure(size_t(total * s.Rate));
    for (size_t i = 0; i < melody.size(); ++i)
        if (melody[i] > 0)
            s.Note(i * beat, beat * 1.6 < total - i * beat ? beat * 1.6 : total - i * beat, Midi(melody[i]), 0.28, 2.5);
    for (size_t i = 0; i < bass.size(); ++i) {
        const double start = i * beat * 4;
        if (start < total && bass[i] > 0)
            s.Note(start, std::min(beat * 4, total - start), Midi(bass[i]), 0.22, 0.8);
    }
    s.Samples.resize(size_t(total * s.Rate));
    return s.Adp();
}

// A short spoken-like phrase: syllables of a gliding voiced tone.
TBytes Voice(int seed, int syllables, double pitch)
{
    TSynth s;
    for (int k = 0; k < syllables; ++k) {
        const double f = pitch * (1 + 0.12 * std::sin(seed * 1.7 + k * 2.3));
        s.Note(k * 0.16, 0.15, f, 0.35, 6.0, 0.03);
        s.Note(k * 0.16, 0.15, f * 2.01, 0.08, 9.0);
    }
    s.Ensure(size_t((syllables * 0.16 + 0.2) * s.Rate));
    return s.Adp();
}

// count short tones of one pitch, 90 ms apart, all within 0.9 s.
TBytes Pips(int count, double pitch)
{
    TSynth s;
    for (int k = 0; k < count; ++k)
        s.Note(k * 0.09, 0.05, pitch, 0.3, 10.0);
    s.Ensure(size_t((count * 0.09 + 0.05) * s.Rate));
    return s.Adp();
}

TBytes Chime(const std::vector<int>& notes, double step, double volume = 0.35)
{
    TSynth s;
    for (size_t i = 0; i < notes.size(); ++i)
        s.Note(i * step, 0.8, Midi(notes[i]), volume, 4.0);
    return s.Adp();
}

// ---------------------------------------------------------------- output

struct TArchive {
    fs::path Name;  // in the game folder
    std::map<std::string, TBytes> Members;  // sorted by name: a stable archive layout

    void Add(const std::string& name, TBytes bytes)
    {
        CheckStop();
        if (!Members.emplace(name, std::move(bytes)).second)
            Die("two members named " + name + " in " + Name.string());
    }
    // Writes the archive whole to that file.
    void Write(const fs::path& staged) const;
};

// Leaves a file that already holds these bytes alone; any other is replaced whole by rename.
void WriteFile(const fs::path& path, const TBytes& bytes)
{
    CheckStop();
    std::string old;
    if (ReadWholeFile(path.string(), int64_t(bytes.size()), old) == TFileReadResult::Ok && old.size() == bytes.size() &&
        std::equal(bytes.begin(), bytes.end(), old.begin(), [](uint8_t a, char b) { return a == uint8_t(b); }))
        return;
    TAtomicWriteFault fault;
    if (!WriteFileAtomic(path.string(), bytes.data(), bytes.size(), &fault))
        Die("cannot write " + path.string() + ": " + AtomicWriteFaultText(fault));
}

TBytes Text(const std::string& s) { return TBytes(s.begin(), s.end()); }

TBytes ReadFile(const fs::path& path)
{
    std::string text;
    int error = 0;
    switch (ReadWholeFile(path.string(), INT32_MAX, text, &error)) {
    case TFileReadResult::Ok:
        return TBytes(text.begin(), text.end());
    case TFileReadResult::Missing:
        error = ENOENT;
        break;
    default:
        break;
    }
    Die("cannot read " + path.string() + ": " + std::strerror(error));
}

// A file of the staging folder, which nothing else reads before the build is over: no need for
// the care that WriteFile takes.
void WriteStaged(const fs::path& path, const TBytes& bytes)
{
    const int handle = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (handle < 0)
        Die("cannot create " + path.string() + ": " + std::strerror(errno));
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(handle, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            ::close(handle);
            Die("cannot write " + path.string() + ": " + std::strerror(error));
        }
        done += size_t(n);
    }
    if (::close(handle) != 0)
        Die("cannot write " + path.string() + ": " + std::strerror(errno));
}

// Flushes a staged file to the device before it goes in its place by rename, as the atomic write
// does for the files it replaces.
void SyncFile(const fs::path& path)
{
    const int handle = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (handle < 0 || ::fsync(handle) != 0) {
        const int error = errno;
        if (handle >= 0)
            ::close(handle);
        Die("cannot write " + path.string() + ": " + std::strerror(error));
    }
    ::close(handle);
}

void TArchive::Write(const fs::path& staged) const
{
    TVePackWriter w;
    if (!w.Begin(staged.string()))
        Die("cannot create " + staged.string() + ": " + w.LastError());
    for (auto& [name, bytes] : Members)
        if (!w.Add(name, bytes.data(), bytes.size()))
            Die("cannot add " + name + " to " + staged.string() + ": " + w.LastError());
    if (!w.Finish())
        Die("cannot finish " + staged.string() + ": " + w.LastError());
}

// ---------------------------------------------------------------- scene art

// A landscape for background t, variant v: 0 day, 1 evening, 2 night, 3 dawn, 6 rain, 7 snow.
TCanvas Landscape(int t, int v)
{
    TRgb skyTop{120, 180, 235}, skyLow{210, 232, 245}, sea = Sea, land{98, 150, 92};
    switch (v) {
    case 1: skyTop = {90, 70, 140}; skyLow = {250, 160, 110}; sea = {70, 70, 120}; land = {80, 90, 70}; break;
    case 2: skyTop = {8, 12, 40}; skyLow = {30, 40, 90}; sea = {16, 26, 60}; land = {26, 40, 36}; break;
    case 3: skyTop = {120, 140, 200}; skyLow = {250, 210, 190}; break;
    case 6: skyTop = {90, 100, 112}; skyLow = {150, 158, 166}; sea = {60, 78, 96}; land = {70, 96, 74}; break;
    case 7: skyTop = {150, 160, 180}; skyLow = {220, 225, 235}; sea = {90, 110, 130}; land = {236, 240, 246}; break;
    default: break;
    }
    TCanvas c(640, 480, false);
    c.Gradient(0, 0, 640, 300, skyTop, skyLow);
    c.Gradient(0, 300, 640, 180, sea, Darker(sea, 0.4));
    for (int k = 0; k < 12; ++k)  // wave lines
        c.Fill(40 + (k * 97) % 560, 320 + k * 13, 60 + (k * 31) % 50, 2, Lighter(sea, 0.35));
    if (v == 2)
        for (int k = 0; k < 40; ++k)
            c.Disc((k * 151) % 640, (k * 67) % 260, 1.2, {240, 240, 210});
    else if (v != 6 && v != 7)
        c.Disc(520, 90, 34, v == 1 ? TRgb{255, 190, 120} : TRgb{255, 246, 220});
    switch (t) {
    case 1:  // the harbour town
        for (int k = 0; k < 9; ++k) {
            const int x = 20 + k * 68, h = 60 + (k * 37) % 70;
            const TRgb wall = Mix(TRgb{230, 200, 170}, TRgb{200, 120, 100}, (k % 3) / 2.0);
            c.Fill(x, 300 - h, 56, h + 20, v == 2 ? Darker(wall, 0.7) : wall);
            c.Polygon({{x - 6.0, 300.0 - h}, {x + 28.0, 270.0 - h}, {x + 62.0, 300.0 - h}}, Darker(wall, 0.45));
            c.Fill(x + 18, 320 - h + 10, 16, 16, v == 2 ? Lamp : Lighter(Sea, 0.5));
        }
        c.Fill(0, 318, 640, 10, {120, 100, 80});
        break;
    case 2:  // the hill road
        c.Polygon({{0, 480}, {0, 260}, {300, 200}, {640, 240}, {640, 480}}, land);
        c.Polygon({{260, 480}, {330, 210}, {350, 210}, {420, 480}}, Mix(land, Sand, 0.6));
        c.Fill(480, 90, 26, 120, Paper);
        c.Polygon({{476, 90}, {493, 66}, {510, 90}}, Accent);
        break;
    case 3:  // the lighthouse top
        c.Fill(0, 360, 640, 120, Mix(land, Grey, 0.5));
        for (int k = 0; k < 16; ++k)
            c.Fill(k * 42, 330, 6, 34, Darker(Grey, 0.3));
        c.Fill(0, 326, 640, 6, Darker(Grey, 0.4));
        c.Box(250, 120, 140, 200, 20, Lighter(Lamp, 0.5), Darker(Lamp, 0.3), 255, 4);
        c.Glow(320, 210, 150, Lamp, v == 7 ? 0.35 : 0.2);
        break;
    default:  // the night beach
        c.Polygon({{0, 480}, {0, 380}, {640, 340}, {640, 480}}, Sand);
        c.Fill(560, 150, 30, 160, Paper);
        c.Glow(575, 150, 120, Lamp, 0.6);
        break;
    }
    return c;
}

// Event pictures: the lit lamp (500), the sunrise (501). Both stand behind the message window
// (from row 330 down) and the scene's figures, so their own drawing keeps above the window and
// leaves the people to the figures.
TCanvas EventPicture(int n, int w = 640, int h = 480)
{
    TCanvas c(w, h, false);
    if (n == 500) {
        const double cx = w / 2.0, cy = 185;
        c.Gradient(0, 0, w, h, Night, {60, 40, 90});
        c.Glow(cx, cy, 260, Lamp, 0.9);
        c.Ring(cx, cy, 80, 6, Paper);
        for (int k = 0; k < 12; ++k)
            c.Disc(cx + 125 * std::cos(k * M_PI / 6), cy + 125 * std::sin(k * M_PI / 6), 8, Lamp);
        c.Text(w / 2, 14, "十年ぶりの灯り", 24, Paper, true, true);
    } else {
        c.Gradient(0, 0, w, h * 2 / 3, {250, 170, 120}, {255, 230, 180});
        c.Gradient(0, h * 2 / 3, w, h - h * 2 / 3, Sea, Night);
        c.Disc(w / 2.0, h * 2 / 3.0, 70, {255, 220, 140});
        c.Text(w / 2, 40, "夜明けの約束", 24, Ink, true, true);
    }
    return c;
}

// A character figure (220x420) with a name plate; eyes are drawn open here, the strip closes them.
struct TFigure {
    TRgb Hair, Clothes, Skin{250, 224, 200};
    std::string Name;
    bool Smile;
};
constexpr int FigureW = 220, FigureH = 420, EyeX = 64, EyeY = 96, EyeW = 92, EyeH = 20;

TCanvas Figure(const TFigure& f)
{
    TCanvas c(FigureW, FigureH, true);
    c.Fill(96, 160, 28, 50, f.Skin);  // neck
    c.Polygon({{40, 420}, {52, 222}, {80, 200}, {140, 200}, {168, 222}, {180, 420}}, f.Clothes);
    c.Polygon({{92, 200}, {110, 232}, {128, 200}}, Lighter(f.Clothes, 0.6));
    c.Disc(110, 110, 72, f.Hair);
    c.Disc(110, 118, 60, f.Skin);
    c.Fill(46, 54, 128, 34, f.Hair);
    for (int k = 0; k < 2; ++k) {  // open eyes inside the strip's rectangle
        const int ex = EyeX + 16 + k * 44;
        c.Fill(ex, EyeY + 4, 16, 12, Ink);
        c.Fill(ex + 4, EyeY + 6, 4, 4, Paper);
    }
    c.Fill(96, f.Smile ? 150 : 152, 28, f.Smile ? 6 : 3, Accent);
    c.Box(70, 250, 80, 30, 10, Paper, Darker(f.Clothes, 0.3));
    c.Text(110, 256, f.Name, 18, Ink, true, true);
    return c;
}

// The eye strip: frame 1 half closed (upper half), frame 2 closed (lower half).
TCanvas EyeStrip(const TFigure& f)
{
    TCanvas c(EyeW, EyeH * 2, true);
    for (int frame = 0; frame < 2; ++frame) {
        const int y0 = frame * EyeH;
        for (int k = 0; k < 2; ++k) {
            const int ex = 16 + k * 44;
            c.Fill(ex - 2, y0 + 2, 20, 16, f.Skin);
            if (frame == 0) {
                c.Fill(ex, y0 + 10, 16, 6, Ink);
            } else {
                c.Fill(ex, y0 + 11, 16, 2, Ink);
            }
        }
    }
    return c;
}

// ---------------------------------------------------------------- screens

struct TPart {
    int X, Y, W, H, Patterns;
};

// A parts sheet as large as its parts need.
TCanvas Sheet(const std::vector<TPart>& parts)
{
    int w = 0, h = 0;
    for (auto& p : parts) {
        w = std::max(w, p.X + p.W);
        h = std::max(h, p.Y + p.H * p.Patterns);
    }
    return TCanvas(w, h, true);
}

void Digits(TCanvas& c, const TPart& p, TRgb colour, int size)
{
    for (int d = 0; d < p.Patterns; ++d)
        c.Text(p.X + p.W / 2, p.Y + d * p.H + (p.H - size) / 2, std::to_string(d % 10), size, colour, true, true);
}

struct TBuilder {
    fs::path Out;
    fs::path Source;
    fs::path Staging;  // files are made here before they go in their place
    std::vector<fs::path> Made;  // what the staging folder holds for the game folder, by relative name
    TArchive Main, Scripts, BG, CG, SE;

    // Where the file of the game folder at relative is made.
    fs::path Stage(const fs::path& relative)
    {
        CheckStop();
        MakeFolder((Staging / relative).parent_path());
        Made.push_back(relative);
        return Staging / relative;
    }
    void Install();
    void FirstSettings();

    void Title();
    void Settings();
    void Chapters();
    void Baton();
    void Windows();
    void Form();
    void Effects();
    void Scene();
    void Sounds();
    void Story();
    void Movies();
    void Run();
};

void TBuilder::Form()
{
    // Frame 0 points from its top-left corner; frames 1 to 7 are drawn centred on the pointer
    // (the mini-game uses 1): a ring of light around (15, 15).
    TCanvas cursor(256, 32, true);
    cursor.Polygon({{2, 2}, {2, 26}, {9, 20}, {14, 30}, {18, 28}, {13, 18}, {22, 18}}, Ink);
    cursor.Polygon({{4, 6}, {4, 22}, {9, 17}, {14, 27}, {16, 26}, {11, 16}, {18, 16}}, Paper);
    for (int f = 1; f < 8; ++f) {
        const double cx = f * 32 + 15.5, cy = 15.5, r = 9 + (f - 1) % 4;
        cursor.Ring(cx, cy, r + 2, 5, Ink);
        cursor.Ring(cx, cy, r + 1, 3, f == 1 ? Lamp : Mix(Lamp, Accent, f / 7.0));
        cursor.Disc(cx, cy, 2, Lamp);
    }
    Main.Add("Cursor.png", Png(cursor));

    // Head, still strip and ten strips of a lantern whose light swells and fades.
    TCanvas wait(240, 352, false);  // on the black of a cleared screen
    wait.Text(120, 12, "読み込み中", 20, Paper, true, true);
    for (int s = 0; s < 11; ++s) {
        const int y = 44 + s * 28;
        const double level = s == 0 ? 0.3 : 0.3 + 0.7 * std::sin(M_PI * (s - 1) / 9.0);
        for (int k = 0; k < 5; ++k)
            wait.Disc(80 + k * 20, y + 14, 5, Mix(Darker(Lamp, 0.6), Lamp, k * 0.25 <= level ? level : 0.1));
    }
    Main.Add("Wait.bmp", Bmp(wait));

    TCanvas logo(176, 40, true);
    logo.Box(0, 0, 176, 40, 10, Night, Lamp, 200);
    logo.Text(88, 10, "灯りの約束", 20, Lamp, true, true);
    Main.Add("Cap_Logo.png", Png(logo));
    TCanvas copy(232, 20, true);
    copy.Fill(0, 0, 232, 20, Night, 160);
    copy.Text(228 - 7 * 22, 3, "(C) zb sample game", 14, Paper);
    Main.Add("Cap_Copy.png", Png(copy));
}

void TBuilder::Title()
{
    TCanvas back = Landscape(1, 2);
    back.Glow(520, 120, 180, Lamp, 0.5);
    back.Box(40, 40, 340, 80, 16, Night, Lamp, 255, 3);
    back.Text(210, 56, "灯りの約束", 40, Lamp, true, true);
    back.Text(580, 452, "sample game", 14, Paper, true);
    Main.Add("TitleBack.jpg", Jpeg(back));

    const char* labels[5] = {"はじめから", "チャプター", "ギャラリー", "設定", "終了"};
    TCanvas parts(1300, 360, true);
    TButtonLook look;
    look.Face = {40, 52, 96};
    look.Border = Lamp;
    look.Text = Paper;
    look.Radius = 14;
    look.TextSize = 24;
    for (int p = 0; p < 5; ++p)
        DrawButtonStrip(parts, p * 260, 0, 260, 60, labels[p], {1, 3, 0, 1, 1}, look);
    Main.Add("TitleParts.png", Png(parts));

    Main.Add("ExitFrame_wm.png", PngOverWhite(Frame(208, 108, Sea, 230, "ゲームを終了しますか？")));
    Main.Add("ExitYes_wm.png", PngOverWhite(ButtonStrip(43, 22, "はい", {1, 1, 1, 1, 1})));
    Main.Add("ExitNo_wm.png", PngOverWhite(ButtonStrip(43, 22, "いいえ", {1, 1, 1, 1, 1})));
}

void TBuilder::Settings()
{
    TCanvas back(640, 480, false);
    back.Gradient(0, 0, 640, 480, {236, 240, 250}, {200, 210, 232});
    back.Box(16, 16, 608, 50, 12, Night, Lamp);
    back.Text(320, 28, "設定", 26, Lamp, true, true);
    const char* rows[6] = {"声", "音楽", "効果音", "赤", "緑", "青"};
    const int ys[6] = {150, 170, 190, 309, 329, 349};
    back.Text(30, 120, "音量", 18, Ink, false, true);
    back.Text(30, 280, "文字窓の色", 18, Ink, false, true);
    for (int r = 0; r < 6; ++r) {
        back.Text(r < 3 ? 30 : 70, ys[r] + 1, rows[r], 14, Ink);
        back.Fill(101, ys[r] + 8, 157, 3, Grey);
    }
    back.Text(362, 120, "画面の速さ", 18, Ink, false, true);
    back.Text(362, 220, "文字窓", 18, Ink, false, true);
    back.Text(362, 320, "ムービー画質", 18, Ink, false, true);
    Main.Add("CfgBack.png", PngOverWhite(back));

    const std::vector<TPart> parts = {
        {0, 0, 56, 19, 2},     {56, 0, 56, 19, 2},    {112, 0, 56, 19, 2},   {168, 0, 56, 19, 2},
        {0, 38, 75, 19, 2},    {75, 38, 75, 19, 2},   {150, 38, 75, 19, 2},  {0, 76, 75, 19, 3},
        {75, 76, 75, 19, 3},   {150, 76, 75, 19, 3},  {0, 133, 146, 55, 3},  {146, 133, 146, 55, 3},
        {225, 0, 16, 16, 3},   {241, 0, 16, 16, 3},   {257, 0, 16, 16, 3},   {273, 0, 16, 16, 3},
        {225, 48, 9, 19, 1},   {292, 0, 9, 14, 10},   {301, 0, 9, 14, 10}};
    const char* labels[12] = {"無制限", "最速", "30fps", "15fps", "枠1", "枠2", "枠なし",
                              "高", "標準", "低", "標準に戻す", "戻る"};
    // Pattern counts by the buttons' form: selectable pairs, movie buttons with a disabled look,
    // the two big buttons with focus and down, the arrows with down and disabled.
    const std::array<int, 5> pair = {1, 0, 1, 0, 0}, movie = {1, 0, 1, 0, 1}, big = {1, 1, 0, 1, 0},
                             arrow = {1, 0, 0, 1, 1};
    TCanvas sheet = Sheet(parts);
    TButtonLook small;
    small.TextSize = 12;
    small.Radius = 4;
    for (int p = 0; p < 12; ++p) {
        const auto& q = parts[size_t(p)];
        const auto& counts = p < 7 ? pair : p < 10 ? movie : big;
        TButtonLook look = small;
        if (p >= 10) {
            look.TextSize = 18;
            look.Radius = 12;
        }
        DrawButtonStrip(sheet, q.X, q.Y, q.W, q.H, labels[p], counts, look);
    }
    for (int p = 12; p < 16; ++p) {
        const auto& q = parts[size_t(p)];
        DrawButtonStrip(sheet, q.X, q.Y, q.W, q.H, "", arrow, small);
        for (int b = 0; b < 3; ++b) {
            const double cx = q.X + 8, cy = q.Y + b * 16 + 8, d = (p % 2 == 0) ? -1 : 1;
            sheet.Polygon({{cx - 3 * d, cy - 4}, {cx - 3 * d, cy + 4}, {cx + 3 * d, cy}}, b == 2 ? Grey : Ink);
        }
    }
    sheet.Box(225, 48, 9, 19, 3, Accent, Darker(Accent, 0.4), 255, 1);
    sheet.Fill(292, 0, 18, 140, Paper, 255);
    Digits(sheet, parts[17], Ink, 12);
    Digits(sheet, parts[18], Accent, 12);
    Main.Add("CfgParts.png", Png(sheet));
}

void TBuilder::Chapters()
{
    TCanvas chapter = Landscape(2, 1);
    chapter.Fill(100, 0, 440, 480, Paper);
    Main.Add("ChapterBack.jpg", Jpeg(chapter));
    TCanvas gallery = Landscape(4, 2);
    gallery.Fill(110, 50, 420, 380, Night);
    Main.Add("GalleryBack.jpg", Jpeg(gallery));

    TCanvas buttons(308, 123, true);
    DrawButtonStrip(buttons, 0, 0, 97, 41, "戻る", {1, 1, 0, 1, 0});
    DrawButtonStrip(buttons, 97, 0, 211, 40, "タイトルへ", {1, 1, 0, 1, 0});
    Main.Add("ChapterButton.png", Png(buttons));

    const char* titles[5] = {"第一部", "第二部", "第三部", "ギャラリー", "章を選ぶ"};
    TCanvas title(390, 306, true);
    for (int i = 0; i < 5; ++i) {
        title.Box(78 * i + 4, 0, 70, 306, 12, Night, Lamp, 230);
        // Vertical text, one character a line.
        std::string s = titles[i];
        int y = 20;
        for (size_t k = 0; k < s.size();) {
            const unsigned char lead = static_cast<unsigned char>(s[k]);
            const size_t len = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
            title.Text(78 * i + 39, y, s.substr(k, len), 26, Lamp, true, true);
            y += 32;
            k += len;
        }
    }
    Main.Add("ChapterTitle.png", Png(title));

    TCanvas episodes(615, 152, true);
    const char* names[3] = {"第一部　灯りの約束", "第二部（未収録）", "第三部（未収録）"};
    for (int i = 0; i < 3; ++i)
        DrawButtonStrip(episodes, 205 * i, 0, 205, 38, names[i], {1, 1, 0, 1, 1});
    Main.Add("ChapterEpisode.png", Png(episodes));

    // Episode 14's chapter names, one a line: line i names the scene the list's entry i starts.
    std::vector<std::string> chapters14;
    {
        std::ifstream in(Source / "chapters.txt");
        for (std::string line; std::getline(in, line);)
            if (!line.empty())
                chapters14.push_back(line);
        if (chapters14.empty())
            Die("no chapter names in " + (Source / "chapters.txt").string());
    }
    for (int e = 14; e <= 16; ++e) {
        const int count = e == 16 ? 17 : 20;
        TCanvas sheet(285, 63 * count, true);
        for (int i = 0; i < count; ++i) {
            const std::string label = e == 14 && size_t(i) < chapters14.size() ? chapters14[size_t(i)]
                                                                               : "第" + std::to_string(i + 1) + "話";
            TButtonLook look;
            look.Radius = 4;
            look.TextSize = 14;
            DrawButtonStrip(sheet, 0, 63 * i, 285, 21, label, {1, 1, 0, 1, 0}, look);
        }
        Main.Add("ChapterEp" + std::to_string(e) + ".png", Png(sheet));
    }

    const char* pictures[10] = {"十年ぶりの灯り", "夜明けの約束"};
    TCanvas galleryNames(328, 990, true);
    for (int i = 0; i < 10; ++i)
        DrawButtonStrip(galleryNames, 0, 99 * i, 328, 33,
                        pictures[i] ? pictures[i] : "絵 " + std::to_string(i + 1), {1, 1, 0, 1, 0});
    Main.Add("GalleryName.png", Png(galleryNames));

    TCanvas num(17, 374, true);
    Digits(num, {0, 0, 17, 34, 10}, Lamp, 24);
    num.Text(8, 340 + 5, "/", 24, Lamp, true, true);
    Main.Add("GalleryNum.png", Png(num));

    TCanvas viewer(230, 196, true);
    DrawButtonStrip(viewer, 0, 0, 32, 32, "隠", {1, 1, 0, 1, 0});
    DrawButtonStrip(viewer, 32, 0, 68, 32, "戻る", {1, 1, 0, 1, 0});
    for (int b = 0; b < 2; ++b) {
        viewer.Box(0, 96 + 50 * b, 130, 50, 8, b ? Lighter(Night, 0.3) : Night, Lamp, 200);
        viewer.Box(164, 98 * b, 66, 98, 8, b ? Lighter(Night, 0.3) : Night, Lamp, 200);
        viewer.Box(100, 48 * b, 64, 48, 6, b ? Lamp : Paper, Ink, 255);
    }
    Main.Add("ViewerParts.png", Png(viewer));
}

void TBuilder::Baton()
{
    // Drawn with the plain decode: straight colour with alpha.
    TCanvas frame(640, 148, true);
    for (int b = 0; b < 2; ++b) {
        frame.Box(40, 74 * b + 6, 560, 50, 14, Night, b ? Lamp : Grey, 200, 4);
        // The caption hangs below the gauge, over the movie or the retry prompt's white: on a
        // plate of its own so that it reads on either.
        frame.Box(266, 74 * b + 53, 108, 20, 6, Night, b ? Lamp : Grey, 230, 2);
        frame.Text(320, 74 * b + 56, b ? "合格！" : "あと少し", 14, b ? Lamp : Paper, true, true);
    }
    Main.Add("BatonFrame.png", Png(frame));
    TCanvas point(534, 40, true);
    for (int b = 0; b < 2; ++b)
        for (int x = 0; x < 534; ++x)
            if (x < 245 || x >= 289)
                point.Fill(x, 20 * b + 4, 1, 12, b ? Mix(Lamp, Accent, std::abs(x - 267) / 267.0) : Darker(Grey, 0.4));
    Main.Add("BatonPoint.png", Png(point));
    TCanvas mark(48, 864, true);
    for (int b = 0; b < 18; ++b) {
        const double cy = b * 48 + 24;
        if (b < 3) {
            mark.Disc(24, cy, 4 + 4 * b, Lamp, 80 + 60 * b);
        } else if (b < 14) {
            mark.Disc(24, cy, 8, Lamp);
            mark.Ring(24, cy, 23 - (b - 3) * 1.4, 3, Paper);
        } else if (b == 14) {
            mark.Disc(24, cy, 12, Paper);
            mark.Ring(24, cy, 16, 3, Lamp);
        } else {
            const TRgb c = b == 15 ? Grey : b == 16 ? Teal : Accent;
            mark.Ring(24, cy, 20, 5, c);
            mark.Text(24, int(cy) - 7, b == 15 ? "×" : b == 16 ? "○" : "◎", 14, c, true, true);
        }
    }
    Main.Add("BatonMark.png", Png(mark));
    TCanvas wait(240, 780, false, Night);
    const char* words[3] = {"光をなぞれ", "はじめ！", "もう一度？"};
    for (int b = 0; b < 13; ++b) {
        wait.Box(0, 60 * b, 240, 60, 12, Night, Lamp, -1, 3);
        // Blocks 3..12 come at seconds 2..11 of the prompt, which gives up at 12: 10 down to 1.
        const std::string text = b < 3 ? words[b] : std::to_string(13 - b);
        wait.Text(120, 60 * b + 18, text, 24, b == 2 ? Accent : Lamp, true, true);
    }
    Main.Add("BatonWait.png", Png(wait));
    Main.Add("BatonOK.adp", Chime({84, 91}, 0.06, 0.3));
    Main.Add("BatonErr.adp", Chime({50, 49}, 0.08, 0.3));
    Main.Add("BatonRetry.adp", Chime({72, 76, 79, 84}, 0.1));
    // Mark table 0: start score 20, then 24 marks on a slow circle, 650 ms apart.
    std::string csv = "20\n";
    for (int k = 0; k < 24; ++k) {
        const double a = k * 2 * M_PI / 12;
        csv += std::to_string(2500 + 650 * k) + "," + std::to_string(320 + int(std::lround(170 * std::cos(a)))) + "," +
               std::to_string(220 + int(std::lround(120 * std::sin(a)))) + "\n";
    }
    Main.Add("Baton0000.csv", Text(csv));
    // Voice 32 asks to retry; 33..42, one a second with the pictures, tell 10 down to 1, each
    // as that many short tones within its second.
    Main.Add("gs1032.adp", Voice(32, 5, 330));
    for (int n = 33; n <= 42; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "gs1%03d.adp", n);
        Main.Add(name, Pips(43 - n, Midi(76 - (n - 33))));
    }
}

// Where the message window's frame (560x146, at 42, 330 on the screen) gives way to the
// scene's buttons: the backlog bar (496, 312, 80x27 on the screen) reaches 9 rows down into the
// frame's top edge, and the two corner buttons (15x15) stand on a plate of their own, clear of
// the text, the box colour and the frame's border.
constexpr int NotchLeft = 496 - 42 - 3, NotchRight = 496 + 80 - 42 + 3, NotchDepth = 312 + 27 - 330 + 1;

void MessageFrame(TCanvas& w, TRgb rim)
{
    const TRgb edge = Darker(rim, 0.5);
    w.Box(0, 0, 560, 146, 16, rim, edge, 255, 3);
    // The box colour shows through the middle, which the program fills itself.
    for (int y = 14; y < 132; ++y)
        for (int x = 11; x < 549; ++x)
            w.Put(x, y, rim, 0);
    // The plate: beside the text's last column above, the whole corner below the text.
    w.Fill(531, 103, 26, 20, rim);
    w.Fill(521, 120, 36, 23, rim);
    for (int y = 0; y < NotchDepth; ++y)
        for (int x = NotchLeft; x < NotchRight; ++x)
            w.Put(x, y, rim, 0);
    // Edges where the frame meets what it lets through: a thin line round the plate, the
    // frame's own border round the notch.
    const TCanvas before = w;
    auto open = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < 560 && y < 146 && before.Pic.Alpha[size_t(y) * 560 + size_t(x)] == 0;
    };
    for (int y = 0; y < 146; ++y)
        for (int x = 0; x < 560; ++x) {
            if (open(x, y))
                continue;
            const bool plate = x >= 521 && y >= 103 && (open(x - 1, y) || open(x, y - 1));
            bool notch = false;
            if (y < NotchDepth + 3 && x >= NotchLeft - 3 && x < NotchRight + 3)
                for (int dy = -3; dy <= 3 && !notch; ++dy)
                    for (int dx = -3; dx <= 3 && !notch; ++dx)
                        notch = y + dy < NotchDepth && open(x + dx, y + dy);
            if (plate || notch)
                w.Put(x, y, edge, -1);
        }
}

void TBuilder::Windows()
{
    for (int type = 1; type <= 2; ++type) {
        TCanvas w(560, 146, true);
        const TRgb rim = type == 1 ? Lamp : Teal;
        MessageFrame(w, rim);
        if (type == 2)
            for (int k = 0; k < 8; ++k)
                if (30 + k * 70 + 4 < NotchLeft || 30 + k * 70 - 4 > NotchRight)
                    w.Disc(30 + k * 70, 6, 3, Paper);
        Main.Add("MesWin" + std::to_string(type) + "_wm.png", PngOverWhite(w));
    }
    TCanvas next(22, 154, true);
    for (int b = 0; b < 7; ++b) {
        const double dy = 3 * std::sin(b * 2 * M_PI / 7);
        next.Polygon({{4, b * 22 + 6 + dy}, {18, b * 22 + 6 + dy}, {11, b * 22 + 16 + dy}}, Lamp);
    }
    Main.Add("MesNextBtn_wm.png", PngOverWhite(next));
    // The corner buttons have 15 pixels: a one-pixel rim leaves the glyph all the rest.
    TButtonLook tiny;
    tiny.TextSize = 12;
    tiny.Radius = 2;
    tiny.Line = 1;
    Main.Add("MesHide_wm.png", PngOverWhite(ButtonStrip(15, 15, "隠", {1, 1, 0, 1, 1}, tiny)));
    Main.Add("MesSkip_wm.png", PngOverWhite(ButtonStrip(15, 15, "送", {1, 1, 0, 1, 1}, tiny)));

    // The choices are written in white.
    Main.Add("SelFrame_wm.png", PngOverWhite(Frame(550, 136, Sea, 210, "", true)));
    TCanvas cursor(500, 28, true);
    cursor.Box(0, 0, 500, 28, 8, Teal, Lamp, 170, 2);
    Main.Add("SelCursor_wm.png", PngOverWhite(cursor));
    Main.Add("MenuFrame_wm.png", PngOverWhite(Frame(170, 160, Sea, 220, "メニュー")));
    const char* menu[6] = {"文字窓を隠す", "既読スキップ", "バックログ", "設定", "タイトルへ", "終了"};
    TButtonLook item;
    item.TextSize = 12;
    item.Radius = 4;
    for (int i = 0; i < 6; ++i) {
        char name[20];
        std::snprintf(name, sizeof name, "Menu%02d_wm.png", i + 1);
        Main.Add(name, PngOverWhite(ButtonStrip(122, 20, menu[i], {1, 7, 0, 0, 1}, item)));
    }

    TCanvas backlog(80, 27, true);
    backlog.Box(0, 0, 80, 27, 6, Night, Lamp, 220, 2);
    Main.Add("BakFrame_wm.png", PngOverWhite(backlog));
    TButtonLook bar;
    bar.TextSize = 15;
    bar.Radius = 3;
    bar.Line = 1;
    const char* arrows[3] = {"前", "止", "次"};
    const char* files[3] = {"BakBack_wm.png", "BakStop_wm.png", "BakNext_wm.png"};
    for (int i = 0; i < 3; ++i)
        Main.Add(files[i], PngOverWhite(ButtonStrip(21, 21, arrows[i], {1, 1, 0, 1, 1}, bar)));

    // Four flakes side by side from x 0: 14, 12, 10 and 8 pixels, on black (added to the scene).
    TCanvas snow(44, 14, false);
    const int sizes[4] = {14, 12, 10, 8}, xs[4] = {0, 14, 26, 36};
    for (int k = 0; k < 4; ++k) {
        const double r = sizes[k] / 2.0;
        for (int y = 0; y < sizes[k]; ++y)
            for (int x = 0; x < sizes[k]; ++x) {
                const double d = std::hypot(x + 0.5 - r, y + 0.5 - r) / r;
                if (d < 1)
                    snow.Put(xs[k] + x, y, Mix({0, 0, 0}, {230, 236, 250}, 1 - d * d));
            }
    }
    Main.Add("Snow.bmp", Bmp(snow));
}

void TBuilder::Effects()
{
    const fs::path staging = Staging / "effects";
    MakeFolder(staging);
    if (!WriteEffectData(staging.string()))
        Die("cannot write the effect resources to " + staging.string());
    for (auto& f : ListFolder(staging))
        Main.Add(f.filename().string(), ReadFile(f));
    RemoveAll(staging);
}

void TBuilder::Scene()
{
    // Backgrounds: town 01x, hill road 02x (rain 6), lighthouse 03x (snow 7), beach 04x (evening 1).
    const std::vector<std::pair<int, int>> variants = {{1, 0}, {1, 2}, {2, 0}, {2, 6}, {3, 0},
                                                       {3, 7}, {4, 0}, {4, 1}, {4, 2}};
    for (auto [t, v] : variants) {
        char name[20];
        std::snprintf(name, sizeof name, "zbbg%02d%d.jpg", t, v);
        BG.Add(name, Jpeg(Landscape(t, v)));
    }
    BG.Add("zbbg500.lzh", Gny(EventPicture(500)));
    BG.Add("zbbg501.lzh", Gny(EventPicture(501)));

    const TFigure figures[3] = {{{60, 40, 40}, {200, 80, 90}, {250, 224, 200}, "灯", false},
                                {{60, 40, 40}, {200, 80, 90}, {250, 224, 200}, "灯", true},
                                {{40, 50, 80}, {60, 110, 150}, {244, 214, 190}, "湊", false}};
    std::string eyes;
    for (int k = 0; k < 3; ++k) {
        char name[20];
        std::snprintf(name, sizeof name, "zbchr%03d.png", k + 1);
        CG.Add(name, PngOverWhite(Figure(figures[k])));
        std::snprintf(name, sizeof name, "zbeye%03d.png", k + 1);
        CG.Add(name, PngOverWhite(EyeStrip(figures[k])));
        eyes += std::to_string(k + 1) + "," + std::to_string(EyeX) + "," + std::to_string(EyeY) + "\n";
    }
    CG.Add("EyeAnime.csv", Text(eyes));

    SE.Add("zbse001.adp", Chime({79, 74, 67}, 0.35, 0.4));  // the bell
    {
        TSynth rain;
        rain.Noise(0, 4.0, 0.5, 0.35);
        SE.Add("zbse002.adp", rain.Adp());  // rain, looped
    }
    SE.Add("zbse003.adp", Chime({60, 64, 67, 72, 76}, 0.18, 0.3));  // the lamp lights
}

void TBuilder::Sounds()
{
    Main.Add("btn_1.adp", Chime({88}, 0.05, 0.2));
    Main.Add("btn_3.adp", Chime({81, 88}, 0.05, 0.3));

    // Music: the title (1), the story (2) and the ending (3).
    WriteStaged(Stage("BGM/Track01.bgm"),
                Tune({72, 0, 76, 79, 77, 76, 74, 0, 72, 74, 76, 0, 74, 72, 71, 0}, {48, 53, 55, 48}, 0.45));
    WriteStaged(Stage("BGM/Track02.bgm"),
                Tune({69, 72, 76, 72, 74, 77, 81, 77, 76, 72, 69, 72, 71, 74, 76, 0}, {45, 50, 52, 45}, 0.4));
    WriteStaged(Stage("BGM/Track03.bgm"),
                Tune({76, 0, 79, 81, 84, 0, 83, 79, 81, 0, 77, 76, 74, 0, 72, 0}, {48, 45, 41, 43}, 0.5));

    // Voices: archive 1 holds the first chapter's lines, archive 2 the later ones.
    const std::vector<std::pair<int, double>> lines = {{1001, 330}, {1002, 200}, {1003, 340}, {1004, 320},
                                                       {1005, 300}, {2001, 330}, {2002, 210}, {2003, 200},
                                                       {2004, 340}};
    for (int pack = 1; pack <= 2; ++pack) {
        TArchive voice;
        char name[32];
        std::snprintf(name, sizeof name, "zbvo%02d.pak", pack);
        voice.Name = fs::path("Voice") / name;
        for (auto [id, pitch] : lines)
            if (id / 1000 == pack) {
                std::snprintf(name, sizeof name, "zb%05d.adp", id);
                voice.Add(name, Voice(id, 6 + id % 5, pitch));
            }
        voice.Write(Stage(voice.Name));
    }
}

void TBuilder::Story()
{
    std::vector<fs::path> sources;
    for (auto& e : fs::directory_iterator(Source))
        if (e.path().extension() == ".zbs")
            sources.push_back(e.path());
    std::sort(sources.begin(), sources.end());
    if (sources.empty())
        Die("no scripts (*.zbs) in " + Source.string());
    for (auto& s : sources) {
        const TBytes text = ReadFile(s);
        TBytes out;
        std::string error;
        if (!AssembleScript(std::string(text.begin(), text.end()), out, error))
            Die(s.filename().string() + ": " + error);
        Scripts.Add(s.stem().string() + ".Wps", out);
    }
}

// Solid colours lose nothing at a small size (the player scales them to the screen), and small
// pictures keep the build quick: low quality 160x120, normal and high 320x240. The mini-game's
// movie runs 20 s, past its last mark.
void TBuilder::Movies()
{
    struct TMovie {
        const char* Base;
        std::vector<TMovieClipSegment> Segments;
        bool Bar;
        double Tone;
        bool High;
    };
    const std::vector<TMovie> movies = {
        {"ZBOP", {{25, 0x182040}, {25, 0x3050A0}, {50, 0xFFD66E}, {25, 0x24548C}}, true, 330, false},
        {"ZBCH", {{25, 0x5A6470}, {25, 0xECD6AA}, {25, 0x182040}}, true, 440, false},
        {"ZBED14", {{25, 0x182040}, {50, 0xFAAA78}, {50, 0xFFE6B4}, {25, 0x182040}}, true, 262, false},
        {"ZBFB", {{500, 0x101830}}, false, 196, true},
    };
    for (const auto& m : movies)
        for (const char* quality : {"LQ", "NQ", "HQ"}) {
            if (quality[0] == 'H' && !m.High)
                continue;
            TMovieClip clip;
            clip.Width = quality[0] == 'L' ? 160 : 320;
            clip.Height = quality[0] == 'L' ? 120 : 240;
            clip.Segments = m.Segments;
            clip.MovingBar = m.Bar;
            clip.ToneHz = m.Tone;
            clip.Amplitude = 0.15;
            std::string error;
            const fs::path staged = Stage(fs::path("Movie") / (std::string(m.Base) + quality + ".mpg"));
            if (!WriteMovieClip(staged.string(), clip, error))
                Die("cannot write " + staged.string() + ": " + error);
        }
}

// Puts every file made in its place; one that already holds its bytes stays as it is. The
// folders come first, so that a game folder where one cannot be made fails before any of its
// files has changed.
void TBuilder::Install()
{
    // What builds killed while putting files in place left: temporaries of the files this build
    // makes, which no other writer names so while this build holds the folder (hence no minimum
    // age). The game's own files are never made here, so a temporary that a running game is
    // writing beside them is never taken for one of ours.
    for (const fs::path& relative : Made) {
        const std::string name = relative.string();
        if (SameText(name, IniFileName) || SameText(name, SysSaveFileName))
            Die("the build makes " + name + ", which the game writes itself");
        RemoveAtomicLeftovers((Out / relative).string(), 0);
    }
    for (const fs::path& relative : Made)
        MakeFolder((Out / relative).parent_path());
    for (const fs::path& relative : Made)
        WriteFile(Out / relative, ReadFile(Staging / relative));
}

void TBuilder::Run()
{
    MakeFolder(Out);
    const TFolderLock lock(Out);
    // Made afresh: what a build that died left there goes with it. It goes again when this build
    // ends, whether it failed or not (a failure is reported already, not this clean-up's).
    Staging = Out / ".staging";
    RemoveAll(Staging);
    MakeFolder(Staging);
    struct TCleanUp {
        const fs::path& Folder;
        ~TCleanUp()
        {
            std::error_code ignored;
            fs::remove_all(Folder, ignored);
        }
    } cleanUp{Staging};
    Main.Name = "ZB.pak";
    Scripts.Name = "Script.pak";
    BG.Name = "EvBG.pak";
    CG.Name = "EvCG.pak";
    SE.Name = "EvSE.pak";
    Story();
    Form();
    Title();
    Settings();
    Chapters();
    Baton();
    Windows();
    Effects();
    Scene();
    Sounds();
    for (TArchive* a : {&Main, &Scripts, &BG, &CG, &SE})
        a->Write(Stage(a->Name));
    Movies();
    Install();
    FirstSettings();
    RemoveAll(Staging);
}

// Settings of a first start: in a window, the standard volumes and window. The game keeps the
// player's choices in this file, so a rebuild over a played game leaves it alone (the game finds
// it whatever the case of its name). It comes in from the staging folder by a rename that never
// replaces: no temporary of the game's own kind is ever left beside the data, and a file the
// game has written meanwhile stays.
void TBuilder::FirstSettings()
{
    for (const fs::path& entry : ListFolder(Out))
        if (SameText(entry.filename().string(), IniFileName))
            return;
    const fs::path staged = Staging / IniFileName;
    WriteStaged(staged, Text("[ZB]\r\nFPSMode=Full\r\nVolumeVoice=100\r\nVolumeBGM=70\r\nVolumeSE=100\r\n"
                             "MesBoxColor=404080\r\nMesBoxType=1\r\nMovieQuality=1\r\n"
                             "[ZB Debug]\r\nWindowMode=ON\r\nShowFPS=OFF\r\n"));
    SyncFile(staged);
    CheckStop();
    if (!RenameNoReplace(staged.string(), (Out / IniFileName).string()) && errno != EEXIST)
        Die("cannot write " + (Out / IniFileName).string() + ": " + std::strerror(errno));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 3) {
        std::fprintf(stderr, "usage: mksample [game folder] [sample sources]\n");
        return 2;
    }
    TBuilder b;
    b.Out = argc > 1 ? argv[1] : "build/sample-game";
    b.Source = argc > 2 ? argv[2] : "sample";
    CatchStopSignals();
    int status = 0;
    try {
        std::error_code error;
        if (!fs::is_directory(b.Source, error))
            Die("no sample sources in " + b.Source.string() + (error ? ": " + Cause(error) : ""));
        b.Run();
    } catch (const EBuildStopped&) {
        // Reported below, with a stop that came after the last step.
    } catch (const EBuildFailed& e) {
        std::fprintf(stderr, "mksample: %s\n", e.what());
        status = 1;
    } catch (const std::exception& e) {
        // What the build's own checks did not foresee still ends in one line.
        std::fprintf(stderr, "mksample: cannot build %s: %s\n", b.Out.c_str(), e.what());
        status = 1;
    }
    FreeFonts();
    // Ended by the signal, as whoever sent it expects (a shell then stops too); the staging
    // folder is gone and the lock let go by now.
    if (const int signal = StopSignal; signal != 0 && status == 0) {
        std::fprintf(stderr, "mksample: the build of %s stopped: %s\n", b.Out.c_str(), strsignal(signal));
        EndBySignal(signal);
        return 128 + signal;
    }
    return status;
}
