#pragma once
// Small helpers on byte strings and memory. Positions are in bytes; a double-byte character
// split by DivideFront or DivideRear is the caller's concern.

#include <cstdint>
#include <string>

// Splits text at line feeds into out[0..n-1]; lines past the n-th are dropped, missing ones
// are empty. Nothing happens for a null out or n < 1.
void SeparateString(const std::string& text, std::string* out, int n);

// The first n bytes of s (all of s when shorter, empty when n < 1).
std::string DivideFront(const std::string& s, int n);
// s from its n-th byte (1-based; n < 1 counts as 1) to the end; empty when n is past the end.
std::string DivideRear(const std::string& s, int n);

// The value in full-width digits of the text code page (it is written into messages),
// zero-padded to at least digits digits (at most MaxWideDigits). A negative value starts with
// the full-width minus sign of the same code page.
constexpr int MaxWideDigits = 64;
std::string IntToWideStr(int value, int digits);

// Copies count bytes; overlapping blocks are copied correctly. Nothing happens for a count
// below 1 or a null pointer.
void VeMemcpy(void* destination, const void* source, int64_t count);

// True when path names an existing regular file (game file-name rules: backslashes, any case).
bool FileIsExist(const std::string& path);
