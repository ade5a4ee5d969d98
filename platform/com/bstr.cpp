// BSTR allocation and the code page 949 boundary.
#include <cstdlib>
#include <cstring>
#include <limits>

#include "com/com.h"
#include "text/cp949.h"

namespace {

// The block is [uint32 byte length][text][char16_t NUL]; the BSTR points at the text.
constexpr size_t kPrefix = sizeof(uint32_t);

uint32_t* Header(BSTR text) { return reinterpret_cast<uint32_t*>(text) - 1; }

}  // namespace

BSTR SysAllocString(const OLECHAR* text) {
  if (!text) return nullptr;
  return SysAllocStringLen(text, static_cast<uint32_t>(std::char_traits<char16_t>::length(text)));
}

BSTR SysAllocStringLen(const OLECHAR* text, uint32_t length) {
  // The byte length must fit the uint32 prefix.
  if (length > (std::numeric_limits<uint32_t>::max() - kPrefix) / sizeof(OLECHAR) - 1)
    return nullptr;
  const size_t bytes = size_t{length} * sizeof(OLECHAR);
  void* block = std::malloc(kPrefix + bytes + sizeof(OLECHAR));
  if (!block) return nullptr;
  *static_cast<uint32_t*>(block) = static_cast<uint32_t>(bytes);
  BSTR result = reinterpret_cast<BSTR>(static_cast<char*>(block) + kPrefix);
  if (text)
    std::memcpy(result, text, bytes);
  else
    std::memset(result, 0, bytes);
  result[length] = u'\0';
  return result;
}

void SysFreeString(BSTR text) {
  if (text) std::free(Header(text));
}

uint32_t SysStringByteLen(BSTR text) { return text ? *Header(text) : 0; }

uint32_t SysStringLen(BSTR text) { return SysStringByteLen(text) / sizeof(OLECHAR); }

namespace com {

Bstr::Bstr(std::u16string_view text)
    : text_(SysAllocStringLen(text.data(), static_cast<uint32_t>(text.size()))) {
  if (!text_) throw std::bad_alloc();
}

Bstr Bstr::FromCp949(std::string_view cp949) { return Adopt(AllocCp949(cp949)); }

std::string Bstr::ToCp949() const { return com::ToCp949(text_); }

std::string ToCp949(BSTR text) { return text::ToCp949(View(text)); }

BSTR AllocCp949(std::string_view cp949) {
  const std::u16string utf16 = text::FromCp949(cp949);
  BSTR result = SysAllocStringLen(utf16.data(), static_cast<uint32_t>(utf16.size()));
  if (!result) throw std::bad_alloc();
  return result;
}

}  // namespace com
