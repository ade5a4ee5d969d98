// Conversion between the UTF-16 texts that scripts pass and the code page 949 byte strings
// that the components work on. Safe on any input: a character that code page 949 cannot hold
// (or a lone surrogate) becomes "?", a byte sequence that is not code page 949 becomes U+FFFD.
// Thread-safe: every call uses its own conversion state.
#pragma once

#include <string>
#include <string_view>

namespace text {

std::string ToCp949(std::u16string_view utf16);
std::u16string FromCp949(std::string_view cp949);

// For tests and tools that hold UTF-8 text.
std::string Utf8ToCp949(std::string_view utf8);
std::string Cp949ToUtf8(std::string_view cp949);

}  // namespace text
