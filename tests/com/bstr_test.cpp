#include <gtest/gtest.h>

#include <cstring>

#include "com/com.h"

namespace {

TEST(Bstr, LengthPrefixAndTerminator) {
  const OLECHAR text[] = u"ab\0cd";
  com::Bstr b = com::Bstr::Adopt(SysAllocStringLen(text, 5));
  ASSERT_NE(b.Get(), nullptr);
  uint32_t prefix = 0;
  std::memcpy(&prefix, reinterpret_cast<const char*>(b.Get()) - 4, 4);
  EXPECT_EQ(prefix, 10u);  // bytes, embedded NUL included
  EXPECT_EQ(SysStringLen(b.Get()), 5u);
  EXPECT_EQ(SysStringByteLen(b.Get()), 10u);
  EXPECT_EQ(b.Get()[5], u'\0');
  EXPECT_EQ(b.View(), std::u16string_view(text, 5));
}

TEST(Bstr, NullIsTheEmptyText) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);
  EXPECT_EQ(com::View(nullptr), u"");
  EXPECT_EQ(com::ToCp949(nullptr), "");
  com::Bstr zeroed = com::Bstr::Adopt(SysAllocStringLen(nullptr, 3));
  EXPECT_EQ(zeroed.View(), std::u16string_view(u"\0\0\0", 3));
  EXPECT_EQ(SysAllocStringLen(u"x", 0x7FFFFFFF), nullptr);  // byte length beyond uint32
}

TEST(Bstr, Cp949RoundTrip) {
  struct Case {
    std::u16string_view utf16;
    std::string_view cp949;  // this file's literals are code page 949
  };
  const Case cases[] = {
      {u"", ""},
      {u"plain ASCII", "plain ASCII"},
      {u"결제 승인", "결제 승인"},
      {std::u16string_view(u"a\0b", 3), std::string_view("a\0b", 3)},
  };
  for (const Case& c : cases) {
    com::Bstr b(c.utf16);
    EXPECT_EQ(b.ToCp949(), c.cp949);
    EXPECT_EQ(com::Bstr::FromCp949(c.cp949).View(), c.utf16);
  }
  EXPECT_EQ(com::Bstr::FromCp949("한").Length(), 1u);
  EXPECT_EQ(std::string("한").size(), 2u);
}

TEST(Bstr, WhatCodePage949CannotHoldBecomesQuestionMarks) {
  const char16_t loneHigh[] = {u'a', 0xD800, u'b'};
  const char16_t loneLow[] = {0xDC00};
  EXPECT_EQ(com::ToCp949(com::Bstr(std::u16string_view(loneHigh, 3)).Get()), "a?b");
  EXPECT_EQ(com::ToCp949(com::Bstr(std::u16string_view(loneLow, 1)).Get()), "?");
  const com::Bstr thaiAndEmoji(u"\u0E01\U0001F600x");  // a surrogate pair is one character
  EXPECT_EQ(thaiAndEmoji.ToCp949(), "??x");
}

TEST(Bstr, OwnershipMoves) {
  com::Bstr a(u"one");
  com::Bstr b = std::move(a);
  EXPECT_EQ(a.Get(), nullptr);
  EXPECT_EQ(b.View(), u"one");
  BSTR raw = b.Detach();
  EXPECT_EQ(b.Get(), nullptr);
  SysFreeString(raw);
  *b.Receive() = SysAllocString(u"two");
  EXPECT_EQ(b.View(), u"two");
}

}  // namespace
