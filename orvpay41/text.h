// Text helpers of the gateway messages: items of the form name, separator, value.
// Texts are byte strings in code page 949; CR and LF never occur inside a double-byte
// character there, so the byte rules below never split one.
#pragma once

#include <string>
#include <string_view>

namespace orv {

// The value of the first item `name` + separator (":" and "=" are appended to the name; any
// other separator is not). The match is a plain byte search, so "Code" is found inside
// "ResultCode:". Leading white space of the value is removed, trailing kept; "" when absent.
std::string GetItemValue(std::string_view text, std::string_view name, std::string_view lineEnd,
                         std::string_view separator);

// Occurrences of `delimiter`, counted until one stands at the very start of what remains
// (so "|a|b" counts 0 and "a||b" counts 1).
int CountDelimiters(std::string_view text, std::string_view delimiter);

void StripCarriageReturns(std::string& text);

// CR LF becomes one blank; any other CR is dropped.
void LineBreaksToSpaces(std::string& text);

// Lower-cases A-Z only, leaving the bytes of double-byte characters alone.
std::string AsciiLower(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);

// Decimal integer as atoi reads it: blanks, optional sign, digits up to the first non-digit.
int AsciiToInt(std::string_view text);

}  // namespace orv
