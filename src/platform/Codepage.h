#pragma once
// The game's multibyte code pages: conversion from UTF-8 and everything the program knows about
// the bytes of its texts. The program's own strings are Shift-JIS (932); message and choice texts
// are in the code page of the message window's font, GB2312 (936, read as GBK so that its
// extended pairs decode too). Whatever reads or writes message bytes asks here: the lead-byte
// test, the full-width digits and the closing marks all follow the active text code page, so a
// text is measured in the page it is drawn in.

#include <cstdint>
#include <string>

// Converts UTF-8 text to the named code page ("CP932", "CP936"); false (and out left empty) when
// the text is not valid UTF-8, a character has no form in the code page, or the code page is
// unknown.
bool Utf8ToCodePage(const std::string& text, const char* codePage, std::string& out);

// The converter's name of a code page number (932, 936, 1252); null for any other.
const char* CodePageName(int codePage);
// Whether b starts a double-byte character in the given code page; never in a single-byte one.
bool IsLeadByteIn(int codePage, uint8_t b);

// The text code page of messages and choices, which the class library's multibyte test calls
// the system code page: 936, as the message font is GB2312. SetSystemCodePage switches it
// between 932 and 936; other values are refused.
void SetSystemCodePage(int codePage);
int SystemCodePage();
bool IsLeadByte(uint8_t b);

// The class library's multibyte byte-type test. Index is 1-based; the string is walked from its
// start, so a trail byte is told from a lead byte by what precedes it. A lead byte at the very
// end of the string still counts as a lead byte. An index outside the string gives mbSingleByte.
enum TMbcsByteType { mbSingleByte, mbLeadByte, mbTrailByte };
TMbcsByteType ByteType(const std::string& s, size_t index);

// UTF-8 text written in the text code page; empty when a character has no form there.
std::string Utf8ToTextCodePage(const std::string& utf8);

// The full-width digit d (0 to 9; others give digit 0) and the full-width minus sign, each two
// bytes of the text code page.
const std::string& WideDigit(int d);
const std::string& WideMinus();

// Whether the two bytes at the 0-based position pos of s are a closing mark that may hang in the
// column past a full line: the characters 。、」』）】｝ as the text code page writes them.
bool IsClosingMark(const std::string& s, size_t pos);

// Text for a person outside the game picture (message boxes, standard error) as UTF-8: valid
// UTF-8 passes unchanged, anything else is read as code page 932, the program's own strings;
// bytes that are neither pass unchanged.
std::string ProgramTextToUtf8(const std::string& text);
