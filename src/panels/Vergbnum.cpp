#include "panels/Vergbnum.h"

#include <cstdint>

TVeRGBNum::TVeRGBNum(TComponent* Owner) : TVeRGBPanel(Owner)
{
    InitFields();
}

TVeRGBNum::TVeRGBNum(TComponent* Owner, TVeRGBPanel* Parent) : TVeRGBPanel(Owner, Parent)
{
    InitFields();
    SetNumBlock(10);
}

void TVeRGBNum::InitFields()
{
    SetSizeX(98);
    SetSizeY(31);
    SetAutoSize(false);
    FColumn = 1;
    FNumber = 0;
}

void TVeRGBNum::SetColumn(int v)
{
    if (v < 0 || v >= 11 || v == FColumn)
        return;
    FColumn = v;
    ChangeState();
}

void TVeRGBNum::SetNumber(int v)
{
    if (v == FNumber)
        return;
    FNumber = v;
    ChangeState();
}

void TVeRGBNum::ChangeState()
{
    if (Created() && Visible() && Image() != nullptr)
        SetModify();
}

bool TVeRGBNum::CallOnDraw(TVeRGBBits* DestBits, int X, int Y, int SX, int SY, int DX, int DY)
{
    if (OnDraw && OnDraw(this, DestBits, X, Y, SX, SY, DX, DY))
        return true;
    TVeRGBBits* image = Image();
    if (image == nullptr || !image->Created() || image->Height() < 10)
        return false;
    if (DestBits == nullptr)
        return true;
    const TVeRect asked = VeRect(SX, SY, SX + DX, SY + DY);
    const int g = image->Height() / 10;
    const int w = image->Width();
    // The strip has no minus sign: a negative value shows its magnitude, so that every digit
    // indexes a glyph of the strip.
    int64_t n = FNumber < 0 ? -int64_t(FNumber) : int64_t(FNumber);
    for (int i = 0; i < FColumn; ++i) {
        if (i > 0 && n == 0)
            break;
        const int d = static_cast<int>(n % 10);
        n /= 10;
        const int64_t left = int64_t(SizeX()) - int64_t(w) * (i + 1);
        if (left < INT32_MIN)
            break;
        const int L = static_cast<int>(left);
        TVeRect cell = VeRect(L, 0, static_cast<int>(left + w), g);
        TVeRect part;
        if (!part.IntersectRect(cell, asked))
            continue;
        const int dx = part.left - SX + X;
        const int dy = part.top - SY + Y;
        const int sx = part.left - L;
        const int sy = part.top + d * g;
        switch (MaskMode()) {
        case mmOpaque:
            DestBits->Draw(dx, dy, image, sx, sy, part.Width(), part.Height());
            break;
        case mmAlphaMask:
            if (Alpha() != nullptr)
                DestBits->DrawAlphaMask(dx, dy, image, sx, sy, part.Width(), part.Height(), Alpha());
            break;
        case mmColorKey:
            DestBits->DrawKey(dx, dy, image, sx, sy, part.Width(), part.Height(), ColorKey());
            break;
        case mmNoImage:
            break;
        }
    }
    return true;
}
