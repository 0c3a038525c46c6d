#include "base/Vefont.h"

#include <strings.h>

HFONT GetNonAntiAliasedFont(TFont* font)
{
    if (!font)
        return nullptr;
    TLogFont log;
    log.Height = font->Height;
    log.Weight = font->Style.Contains(fsBold) ? FW_BOLD : FW_NORMAL;
    log.Italic = font->Style.Contains(fsItalic);
    log.Underline = font->Style.Contains(fsUnderline);
    log.StrikeOut = font->Style.Contains(fsStrikeOut);
    log.CharSet = font->Charset;
    log.Quality = NONANTIALIASED_QUALITY;
    log.PitchAndFamily = font->Pitch == fpVariable ? VARIABLE_PITCH : font->Pitch == fpFixed ? FIXED_PITCH : DEFAULT_PITCH;
    log.FaceName = strcasecmp(font->Name.c_str(), "Default") == 0 ? "MS UI Gothic" : font->Name;
    // The face is opened and sized when the handle is made, so no trial selection is needed.
    return CreateFontIndirect(log);
}
