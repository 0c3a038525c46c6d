#pragma once
// String helpers of the class library. Strings are bytes; case changes touch ASCII letters
// only, so the lead and trail bytes of double-byte text stay as they are.

#include <cstdint>
#include <string>

// The multibyte tests (lead bytes, byte types) belong to the code-page unit.
#include "platform/Codepage.h"

std::string UpperCase(const std::string& s);
std::string LowerCase(const std::string& s);
bool SameText(const std::string& a, const std::string& b);
// Removes leading and trailing bytes up to the space (control characters and blanks).
std::string Trim(const std::string& s);
std::string IntToStr(int64_t value);
// Upper-case hexadecimal digits, at least `digits` of them (negative values as 32-bit).
std::string IntToHex(int64_t value, int digits);
// Decimal with an optional sign, or hexadecimal after "$" or "0x"; surrounding blanks are
// allowed. False for anything else and for values outside 32 bits.
bool TryStrToInt(const std::string& s, int32_t& value);
int32_t StrToIntDef(const std::string& s, int32_t defaultValue);
