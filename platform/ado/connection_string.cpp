#include <algorithm>

#include "ado/internal.h"

namespace ado::internal {

namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

[[noreturn]] void Malformed() {
  throw Error(DB_E_BADINITSTRING, "ADODB.Connection",
              "Format of the initialization string is not valid.");
}

// Reads one value from `text` at `at`, up to the ';' that ends it (consumed). A value that
// starts with a quote runs to the matching quote, a doubled quote standing for one.
std::string ReadValue(std::string_view text, size_t& at) {
  while (at < text.size() && kBlanks.find(text[at]) != std::string_view::npos) ++at;
  std::string value;
  if (at < text.size() && (text[at] == '"' || text[at] == '\'')) {
    const char quote = text[at++];
    for (;; ++at) {
      if (at == text.size()) Malformed();
      if (text[at] != quote) {
        value += text[at];
      } else if (at + 1 < text.size() && text[at + 1] == quote) {
        value += quote;
        ++at;
      } else {
        break;
      }
    }
    const size_t end = std::min(text.find(';', ++at), text.size());
    if (!Trim(text.substr(at, end - at)).empty()) Malformed();
    at = end + 1;
    return value;
  }
  const size_t end = std::min(text.find(';', at), text.size());
  value = Trim(text.substr(at, end - at));
  at = end + 1;
  return value;
}

}  // namespace

Properties ParseConnectionString(std::string_view text) {
  Properties properties;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = std::min(text.find(';', at), text.size());
    if (Trim(text.substr(at, end - at)).empty()) {
      at = end + 1;
      continue;
    }
    const size_t equals = text.find('=', at);
    if (equals == std::string_view::npos || equals > end) Malformed();
    std::string name(Trim(text.substr(at, equals - at)));
    if (name.empty()) Malformed();
    for (char& c : name) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    at = equals + 1;
    properties[name] = ReadValue(text, at);
  }
  return properties;
}

}  // namespace ado::internal
