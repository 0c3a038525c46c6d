#include "platform/Graphics.h"

namespace {

bool SameLogFont(const TLogFont& a, const TLogFont& b)
{
    return a.Height == b.Height && a.Weight == b.Weight && a.Italic == b.Italic && a.Underline == b.Underline &&
           a.StrikeOut == b.StrikeOut && a.CharSet == b.CharSet && a.Quality == b.Quality &&
           a.PitchAndFamily == b.PitchAndFamily && a.FaceName == b.FaceName;
}

}  // namespace

TFont::~TFont()
{
    DeleteObject(FHandle);
}

void TFont::Assign(const TFont* source)
{
    if (!source || source == this)
        return;
    Height = source->Height;
    Name = source->Name;
    Charset = source->Charset;
    Style = source->Style;
    Pitch = source->Pitch;
    Color = source->Color;
}

int TFont::GetSize() const
{
    const int64_t h = Height < 0 ? -static_cast<int64_t>(Height) : Height;
    return static_cast<int>((h * 72 + 48) / 96);
}

void TFont::SetSize(int points)
{
    Height = -static_cast<int>((static_cast<int64_t>(points) * 96 + 36) / 72);
}

TLogFont TFont::LogFont() const
{
    TLogFont log;
    log.Height = Height;
    log.Weight = Style.Contains(fsBold) ? FW_BOLD : FW_NORMAL;
    log.Italic = Style.Contains(fsItalic);
    log.Underline = Style.Contains(fsUnderline);
    log.StrikeOut = Style.Contains(fsStrikeOut);
    log.CharSet = Charset;
    log.PitchAndFamily = Pitch == fpFixed ? FIXED_PITCH : Pitch == fpVariable ? VARIABLE_PITCH : DEFAULT_PITCH;
    log.FaceName = Name;
    return log;
}

HFONT TFont::GetHandle()
{
    const TLogFont log = LogFont();
    if (FHandle && SameLogFont(log, FHandleLog))
        return FHandle;
    DeleteObject(FHandle);
    FHandle = CreateFontIndirect(log);
    FHandleLog = log;
    return FHandle;
}
