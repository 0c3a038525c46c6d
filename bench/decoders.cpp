#include <benchmark/benchmark.h>

#include "base/Vepicture.h"
#include "platform/Gdi.h"
#include "support/Pictures.h"

namespace {

template <typename Decode>
void RunDecode(benchmark::State& state, const std::vector<uint8_t>& bytes, Decode decode)
{
    TMemoryStream stream;
    stream.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
    for (auto _ : state) {
        stream.SetPosition(0);
        TDecodedPicture picture;
        if (!decode(&stream, picture))
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(picture.Pixels.data());
    }
}

const TDecodedPicture& Screen()
{
    static const TDecodedPicture picture = MakePatternPicture(640, 480, true);
    return picture;
}

void DecodeBmp24(benchmark::State& state)
{
    RunDecode(state, MakeBmp(Screen(), TBmpKind::Rgb24), [](TStream* s, TDecodedPicture& p) { return DecodeBmp(s, p); });
}

void DecodeJpeg640(benchmark::State& state)
{
    RunDecode(state, MakeJpeg(Screen(), 90), [](TStream* s, TDecodedPicture& p) { return DecodeJpeg(s, p); });
}

void DecodePngWhiteMatte(benchmark::State& state)
{
    std::vector<uint8_t> png;
    EncodePng(png, Screen());
    RunDecode(state, png, [](TStream* s, TDecodedPicture& p) { return DecodePng(s, p, true); });
}

void DecodeGny640(benchmark::State& state)
{
    TMemoryStream out;
    EncodeGny(&out, TestGnyKey(), Screen());
    std::vector<uint8_t> bytes(out.Memory(), out.Memory() + out.GetSize());
    RunDecode(state, bytes, [](TStream* s, TDecodedPicture& p) { return DecodeGny(s, TestGnyKey(), p); });
}

// One message line: 20 double-byte characters at the doubled size the smoothed text uses.
void TextOutMessageLine(benchmark::State& state)
{
    TLogFont log;
    log.FaceName = "FZShaoEr-M11";
    log.CharSet = GB2312_CHARSET;
    log.Height = -40;
    HFONT font = CreateFontIndirect(log);
    std::vector<uint8_t> plane(1000 * 40);
    HDC dc = CreateTargetDC({plane.data(), 1000, 1000, 40, 1});
    SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    std::string text;
    for (int i = 0; i < 20; ++i)
        text += "\xD6\xD0";
    for (auto _ : state)
        TextOut(dc, 0, 0, text.data(), static_cast<int>(text.size()));
    ReleaseTargetDC(dc);
    DeleteObject(font);
}

}  // namespace

BENCHMARK(DecodeBmp24);
BENCHMARK(DecodeJpeg640);
BENCHMARK(DecodePngWhiteMatte);
BENCHMARK(DecodeGny640);
BENCHMARK(TextOutMessageLine);
BENCHMARK_MAIN();
