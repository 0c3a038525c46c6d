#include "panels/Vergbtext.h"

#include <algorithm>
#include <climits>
#include <cstddef>

#include "base/Vefont.h"
#include "platform/Gdi.h"

namespace {

// "ＭＳ ゴシック" in the program's own code page.
const char* const DefaultFaceName = "\x82\x6C\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4E";

int ClampToInt(int64_t v)
{
    return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX));
}

}  // namespace

TVeRGBText::TVeRGBText(TComponent* Owner) : TVeRGBPanel(Owner)
{
    InitFields();
}

TVeRGBText::TVeRGBText(TComponent* Owner, TVeRGBPanel* Parent) : TVeRGBPanel(Owner, Parent)
{
    InitFields();
}

void TVeRGBText::InitFields()
{
    SetSizeX(160);
    SetSizeY(24);
    SetAutoSize(false);
    FFont = new TFont;
    FFont->Height = -FFontSize;
    FFont->Name = DefaultFaceName;
    FFont->Pitch = fpFixed;
}

TVeRGBText::~TVeRGBText()
{
    ReleaseBuffer();
    delete FFont;
    FFont = nullptr;
}

void TVeRGBText::FreeBuffers()
{
    // The panel must not keep pointers to buffers about to be freed.
    SetImage(nullptr);
    SetAlpha(nullptr);
    delete FColorBuffer;
    FColorBuffer = nullptr;
    delete FAlphaPlane;
    FAlphaPlane = nullptr;
    delete FDoubledPlane;
    FDoubledPlane = nullptr;
}

void TVeRGBText::ReleaseBuffer()
{
    FreeBuffers();
    if (FFontHandle != nullptr) {
        DeleteObject(FFontHandle);
        FFontHandle = nullptr;
    }
    FBuffersMade = false;
}

void TVeRGBText::MakeBuffer(TPixFormat format)
{
    FPixFormat = format;
    CreateBuffer();
    DrawText();
}

bool TVeRGBText::CreateBuffer()
{
    const bool wasMade = FBuffersMade;
    if (wasMade)
        ReleaseBuffer();

    FColorBuffer = new TVeRGBDib(this);
    FColorBuffer->SetPixFormat(FPixFormat);
    // A refused size would leave the buffer at its default size instead of the panel's.
    if (!FColorBuffer->Resize(SizeX(), SizeY()) || !FColorBuffer->Create() || !FColorBuffer->Created()) {
        FreeBuffers();
        return false;
    }
    SetImage(FColorBuffer);
    SetMaskMode(mmColorKey);
    SetColorKey(TVeRGB(FKeyColor));

    if (FAntiAliase) {
        FAlphaPlane = new TVeAlpha(this);
        FDoubledPlane = new TVeAlphaDib(this);
        const int64_t doubleX = int64_t(SizeX()) * 2, doubleY = int64_t(SizeY()) * 2;
        const bool made = doubleX <= INT_MAX && doubleY <= INT_MAX && FAlphaPlane->Resize(SizeX(), SizeY()) &&
                          FDoubledPlane->Resize(static_cast<int>(doubleX), static_cast<int>(doubleY)) &&
                          FAlphaPlane->Create() && FDoubledPlane->Create() && FAlphaPlane->Created() &&
                          FDoubledPlane->Created();
        if (!made) {
            FreeBuffers();
            return false;
        }
        SetAlpha(FAlphaPlane);
        SetMaskMode(mmAlphaMask);
        FColorBuffer->BoxFill(0, 0, FColorBuffer->Width() - 1, FColorBuffer->Height() - 1, FTextColor);
    }

    MakeTextFont();
    FBuffersMade = true;
    if (wasMade)
        DrawText();
    return true;
}

void TVeRGBText::MakeTextFont()
{
    if (FFontHandle != nullptr) {
        DeleteObject(FFontHandle);
        FFontHandle = nullptr;
    }
    const int64_t height = FAntiAliase ? int64_t(FFontSize) * 2 : int64_t(FFontSize);
    FFont->Pitch = fpFixed;
    // No font for a size of 0 or less (the text layer would pick some default size, which the
    // centring could not know) or one past the int range: the text then draws nothing.
    if (FFontSize < 1 || height > INT_MAX)
        return;
    FFont->Height = static_cast<int>(-height);
    FFontHandle = GetNonAntiAliasedFont(FFont);
}

void TVeRGBText::DrawText()
{
    if (!FBuffersMade || FColorBuffer == nullptr)
        return;
    const std::string& text = TVeRGBPanel::GetText();
    const int64_t n = static_cast<int64_t>(text.size());
    int64_t x = 0, y = 0;
    if (FCentering) {
        const int64_t half = FFontSize / 2;
        x = (FColorBuffer->Width() - n * half) / 2;
        y = (FColorBuffer->Height() - int64_t(FFontSize)) / 2;
    }
    const int count = static_cast<int>(std::min<int64_t>(n, INT_MAX));
    if (FAntiAliase)
        DrawAntiAliased(ClampToInt(x * 2), ClampToInt(y * 2), count);
    else
        DrawPlain(ClampToInt(x), ClampToInt(y), count);
    SetModify();
}

void TVeRGBText::DrawPlain(int x, int y, int count)
{
    FColorBuffer->BoxFill(0, 0, FColorBuffer->Width() - 1, FColorBuffer->Height() - 1, FKeyColor);
    HDC dc = nullptr;
    if (!FColorBuffer->GetDC(dc))
        return;
    HFONT old = SelectObject(dc, FFontHandle);
    SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, RGB(static_cast<uint8_t>(FTextColor >> 16), static_cast<uint8_t>(FTextColor >> 8),
                           static_cast<uint8_t>(FTextColor)));
    TextOut(dc, x, y, TVeRGBPanel::GetText().data(), count);
    SelectObject(dc, old);
    FColorBuffer->ReleaseDC(dc);
}

void TVeRGBText::DrawAntiAliased(int x, int y, int count)
{
    if (FDoubledPlane == nullptr || FAlphaPlane == nullptr)
        return;
    FDoubledPlane->Fill(0);
    HDC dc = nullptr;
    if (FDoubledPlane->GetDC(dc)) {
        HFONT old = SelectObject(dc, FFontHandle);
        SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, RGB(255, 255, 255));
        TextOut(dc, x, y, TVeRGBPanel::GetText().data(), count);
        SelectObject(dc, old);
        FDoubledPlane->ReleaseDC(dc);
    }
    // Bounded by both planes, so a plane that was resized since it was made is never overrun.
    const int height = std::min(FAlphaPlane->Height(), FDoubledPlane->Height() / 2);
    const int width = std::min(FAlphaPlane->Width(), FDoubledPlane->Width() / 2);
    const ptrdiff_t dPitch = FDoubledPlane->Pitch();
    for (int r = 0; r < height; ++r) {
        uint8_t* __restrict out = FAlphaPlane->Bits() + ptrdiff_t(r) * FAlphaPlane->Pitch();
        const uint8_t* __restrict d0 = FDoubledPlane->Bits() + ptrdiff_t(2 * r) * dPitch;
        const uint8_t* __restrict d1 = d0 + dPitch;
        for (int c = 0; c < width; ++c)
            out[c] = static_cast<uint8_t>((d0[2 * c] + d0[2 * c + 1] + d1[2 * c] + d1[2 * c + 1]) / 4);
    }
}

void TVeRGBText::SetText(const std::string& s)
{
    TVeRGBPanel::SetText(s);
    if (FBuffersMade)
        DrawText();
}

void TVeRGBText::SetAntiAliase(bool v)
{
    if (v == FAntiAliase)
        return;
    FAntiAliase = v;
    if (FBuffersMade)
        CreateBuffer();
}

void TVeRGBText::SetTextColor(uint32_t colour)
{
    colour &= 0xFFFFFF;
    if (colour == FTextColor)
        return;
    FTextColor = colour;
    FKeyColor = colour ^ 0xFFFFFF;
    SetColorKey(TVeRGB(FKeyColor));
    if (!FBuffersMade)
        return;
    if (FAntiAliase) {
        // The glyph mask is unchanged: only the solid colour behind it is.
        FColorBuffer->BoxFill(0, 0, FColorBuffer->Width() - 1, FColorBuffer->Height() - 1, FTextColor);
        return;
    }
    DrawText();
}

void TVeRGBText::SetTextColorRed(int v)
{
    SetTextColor((FTextColor & ~0xFF0000u) | ((static_cast<uint32_t>(v) & 0xFF) << 16));
}

void TVeRGBText::SetTextColorGreen(int v)
{
    SetTextColor((FTextColor & ~0x00FF00u) | ((static_cast<uint32_t>(v) & 0xFF) << 8));
}

void TVeRGBText::SetTextColorBlue(int v)
{
    SetTextColor((FTextColor & ~0x0000FFu) | (static_cast<uint32_t>(v) & 0xFF));
}

void TVeRGBText::SetFontSize(int v)
{
    if (v == FFontSize)
        return;
    FFontSize = v;
    if (FBuffersMade) {
        MakeTextFont();
        DrawText();
    }
}

void TVeRGBText::SetFont(TFont* font)
{
    FFont->Assign(font);
    if (FBuffersMade) {
        MakeTextFont();
        DrawText();
    }
}

void TVeRGBText::SetCentering(bool v)
{
    if (v == FCentering)
        return;
    FCentering = v;
    if (FBuffersMade)
        DrawText();
}

void TVeRGBText::ChangeState()
{
    if (Created() && Visible())
        SetModify();
}
