#pragma once
// Text conversion between UTF-8 and the game's multibyte code pages (Shift-JIS as "CP932",
// GB2312 as "CP936").

#include <string>

// Converts UTF-8 text to the named code page; false (and out left empty) when the text is not
// valid UTF-8, a character has no form in the code page, or the code page is unknown.
bool Utf8ToCodePage(const std::string& text, const char* codePage, std::string& out);

// Text for a person outside the game picture (message boxes, standard error) as UTF-8: valid
// UTF-8 passes unchanged, anything else is read as code page 932, the program's own strings;
// bytes that are neither pass unchanged.
std::string ProgramTextToUtf8(const std::string& text);
