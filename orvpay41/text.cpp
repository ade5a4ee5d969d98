#include "text.h"

#include <climits>

namespace orv {

namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string GetItemValue(std::string_view text, std::string_view name, std::string_view lineEnd,
                         std::string_view separator) {
  std::string key(name);
  if (separator == "=" || separator == ":") key += separator;
  const size_t at = text.find(key);
  if (at == std::string_view::npos) return {};
  const std::string_view rest = text.substr(at);

  // A separator that does not occur counts as standing just before the rest.
  const size_t sep = rest.find(separator);
  const size_t valueStart = sep == std::string_view::npos ? 0 : sep + separator.size();
  const size_t end = lineEnd.empty() ? std::string_view::npos : rest.find(lineEnd);

  std::string_view value;
  if (end != std::string_view::npos && end > 0) {
    if (end > valueStart) value = rest.substr(valueStart, end - valueStart);
  } else if (valueStart < rest.size()) {
    value = rest.substr(valueStart);
  }
  while (!value.empty() && IsSpace(value.front())) value.remove_prefix(1);
  return std::string(value);
}

int CountDelimiters(std::string_view text, std::string_view delimiter) {
  if (delimiter.empty()) return 0;
  int count = 0;
  for (size_t at = text.find(delimiter); at != std::string_view::npos && at != 0;
       at = text.find(delimiter)) {
    text.remove_prefix(at + 1);
    ++count;
  }
  return count;
}

void StripCarriageReturns(std::string& text) { std::erase(text, '\r'); }

void LineBreaksToSpaces(std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      out += text[i];
    } else if (i + 1 < text.size() && text[i + 1] == '\n') {
      out += ' ';
      ++i;
    }
  }
  text = std::move(out);
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

int AsciiToInt(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > INT_MAX) break;  // saturate rather than overflow, as atoi's strtol does
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

}  // namespace orv
