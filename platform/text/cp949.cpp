#include "cp949.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <type_traits>

namespace text {

namespace {

// One iconv descriptor per call: descriptors carry shift state and are not thread-safe.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open failed");
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts as much as possible; where the input cannot be converted appends `replacement`
  // and skips the bytes that `unitLength` says the offending character takes.
  template <typename UnitLength>
  std::string Run(std::string_view in, std::string_view replacement, UnitLength unitLength) {
    std::string out;
    char buffer[4096];
    char* src = const_cast<char*>(in.data());
    size_t left = in.size();
    while (left > 0) {
      char* dst = buffer;
      size_t room = sizeof buffer;
      const size_t rc = iconv(cd_, &src, &left, &dst, &room);
      out.append(buffer, dst);
      if (rc != static_cast<size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      out += replacement;
      const size_t skip = std::min(left, unitLength(std::string_view(src, left)));
      src += skip;
      left -= skip;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    char* dst = buffer;
    size_t room = sizeof buffer;
    iconv(cd_, nullptr, nullptr, &dst, &room);
    out.append(buffer, dst);
    return out;
  }

 private:
  iconv_t cd_;
};

std::string_view Bytes(std::u16string_view s) {
  return {reinterpret_cast<const char*>(s.data()), s.size() * sizeof(char16_t)};
}

std::u16string Utf16(const std::string& bytes) {
  std::u16string out(bytes.size() / 2, u'\0');
  bytes.copy(reinterpret_cast<char*>(out.data()), out.size() * 2);
  return out;
}

size_t OneByte(std::string_view) { return 1; }

// A character outside the code page is one UTF-16 unit, or two for a surrogate pair.
size_t Utf16Character(std::string_view rest) {
  const auto unit = [&](size_t i) {
    return static_cast<char16_t>(static_cast<unsigned char>(rest[i]) |
                                 static_cast<unsigned char>(rest[i + 1]) << 8);
  };
  if (rest.size() >= 4 && unit(0) >= 0xD800 && unit(0) < 0xDC00 && unit(2) >= 0xDC00 &&
      unit(2) < 0xE000)
    return 4;
  return 2;
}

constexpr std::string_view kUtf16Replacement("\xFD\xFF", 2);  // U+FFFD, little-endian

// Code page 949 is ASCII below 0x80, and most texts crossing the boundary (names, numbers,
// Base64) are nothing else: those are copied unit for unit without opening a converter.
template <typename Char>
bool IsAscii(std::basic_string_view<Char> text) {
  for (const Char c : text)
    if (static_cast<std::make_unsigned_t<Char>>(c) >= 0x80) return false;
  return true;
}

}  // namespace

std::string ToCp949(std::u16string_view utf16) {
  if (IsAscii(utf16)) return std::string(utf16.begin(), utf16.end());
  return Converter("CP949", "UTF-16LE").Run(Bytes(utf16), "?", Utf16Character);
}

std::u16string FromCp949(std::string_view cp949) {
  if (IsAscii(cp949)) return std::u16string(cp949.begin(), cp949.end());
  return Utf16(Converter("UTF-16LE", "CP949").Run(cp949, kUtf16Replacement, OneByte));
}

std::string Utf8ToCp949(std::string_view utf8) {
  return Converter("CP949", "UTF-8").Run(utf8, "?", OneByte);
}

std::string Cp949ToUtf8(std::string_view cp949) {
  return Converter("UTF-8", "CP949").Run(cp949, "\xEF\xBF\xBD", OneByte);
}

}  // namespace text
