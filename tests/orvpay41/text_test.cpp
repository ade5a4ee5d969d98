#include "text.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

TEST(GetItemValue, FindsItemsByNameLineEndAndSeparator) {
  const std::string reply = "ResultCode:00\r\nResultMsg: OK\r\n";
  struct Case {
    std::string_view text, name, lineEnd, separator, expected;
  };
  const Case cases[] = {
      {reply, "ResultMsg", "\r\n", ":", "OK"},
      {reply, "ResultCode", "\r\n", ":", "00"},
      {reply, "Result", "\r\n", ":", ""},          // "Result:" does not occur
      {reply, "Code", "\r\n", ":", "00"},           // found inside ResultCode
      {"A:1\r\nB:   last", "B", "\r\n", ":", "last"},  // runs to the end, leading blanks go
      {"A:1 \r\n", "A", "\r\n", ":", "1 "},          // trailing blanks stay
      {"A:\r\n", "A", "\r\n", ":", ""},
      {"a=1&b=2", "b", "&", "=", "2"},
      {"a=1&b=2", "a", "&", "=", "1"},
      {"name[v], ", "name", "], ", "[", "v"},       // other separators are not appended
      {"", "A", "\r\n", ":", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(GetItemValue(c.text, c.name, c.lineEnd, c.separator), c.expected)
        << c.text << " / " << c.name;
}

TEST(CountDelimiters, StopsAtALeadingDelimiter) {
  EXPECT_EQ(CountDelimiters("", "|"), 0);
  EXPECT_EQ(CountDelimiters("a|b|c", "|"), 2);
  EXPECT_EQ(CountDelimiters("|a|b", "|"), 0);
  EXPECT_EQ(CountDelimiters("a||b", "|"), 1);
  EXPECT_EQ(CountDelimiters("a\r\nb\r\n\r\nc", "\r\n"), 3);
  EXPECT_EQ(CountDelimiters("\r\nb", "\r\n"), 0);
}

TEST(LineBreaks, CarriageReturnRules) {
  std::string s = "ab\r\ncd";
  LineBreaksToSpaces(s);
  EXPECT_EQ(s, "ab cd");
  s = "ab\rcd\r";
  LineBreaksToSpaces(s);
  EXPECT_EQ(s, "abcd");
  s = "a\nb";
  LineBreaksToSpaces(s);
  EXPECT_EQ(s, "a\nb");
  s = "a\r\nb\rc";
  StripCarriageReturns(s);
  EXPECT_EQ(s, "a\nbc");
}

TEST(AsciiToInt, ReadsAsAtoiDoes) {
  EXPECT_EQ(AsciiToInt("  -12x"), -12);
  EXPECT_EQ(AsciiToInt("+7"), 7);
  EXPECT_EQ(AsciiToInt("abc"), 0);
  EXPECT_EQ(AsciiToInt(""), 0);
  EXPECT_EQ(AsciiToInt("99999999999"), 2147483647);
}

}  // namespace
}  // namespace orv
