#include "redaction.h"

#include <array>

#include "text.h"

namespace orv {

namespace {

enum class Mask { Secret, CardNumber, ItemList };

struct Rule {
  std::string_view name;
  Mask mask;
};

constexpr std::array kRules = {
    Rule{"keypw", Mask::Secret},
    Rule{"ocbpasswd", Mask::Secret},
    Rule{"passwd", Mask::Secret},
    Rule{"authfield1", Mask::Secret},
    Rule{"authfield2", Mask::Secret},
    Rule{"cardpass", Mask::Secret},
    Rule{"cardnumber", Mask::CardNumber},
    Rule{"cardresultnumber", Mask::CardNumber},
    Rule{"merchantreserved3", Mask::ItemList},
};

constexpr std::string_view kMask = "******";
constexpr size_t kCardNumberShown = 10;

const Rule* RuleOf(std::string_view name) {
  for (const Rule& rule : kRules)
    if (EqualsNoCase(name, rule.name)) return &rule;
  return nullptr;
}

// name=value items joined by "&"; an item without "=" has no name and stays.
std::string RedactedItemList(std::string_view list) {
  std::string out;
  for (;;) {
    const size_t end = list.find('&');
    const std::string_view item = list.substr(0, end);
    const size_t equals = item.find('=');
    if (equals == std::string_view::npos) {
      out += item;
    } else {
      out += item.substr(0, equals + 1);
      out += RedactedValue(item.substr(0, equals), item.substr(equals + 1));
    }
    if (end == std::string_view::npos) return out;
    out += '&';
    list.remove_prefix(end + 1);
  }
}

// "Name: value", the value's leading blanks kept as they are.
void AppendRedactedLine(std::string& out, std::string_view line) {
  const size_t colon = line.find(':');
  const Rule* rule = colon == std::string_view::npos ? nullptr : RuleOf(line.substr(0, colon));
  if (rule == nullptr) {
    out += line;
    return;
  }
  const size_t valueStart = line.find_first_not_of(" \t", colon + 1);
  if (valueStart == std::string_view::npos) {
    out += line;
    return;
  }
  // A CR that ends the line is the line's own, not part of the value.
  const size_t valueEnd = line.back() == '\r' ? line.size() - 1 : line.size();
  out += line.substr(0, valueStart);
  out += RedactedValue(rule->name, line.substr(valueStart, valueEnd - valueStart));
  out += line.substr(valueEnd);
}

}  // namespace

std::string RedactedValue(std::string_view name, std::string_view value) {
  const Rule* rule = RuleOf(name);
  if (rule == nullptr || value.empty()) return std::string(value);
  switch (rule->mask) {
    case Mask::Secret: return std::string(kMask);
    case Mask::CardNumber: return std::string(value.substr(0, kCardNumberShown)) += kMask;
    case Mask::ItemList: return RedactedItemList(value);
  }
  return std::string(kMask);
}

std::string RedactedMessage(std::string_view message) {
  std::string out;
  out.reserve(message.size());
  for (;;) {
    const size_t end = message.find('\n');
    AppendRedactedLine(out, message.substr(0, end));
    if (end == std::string_view::npos) return out;
    out += '\n';
    message.remove_prefix(end + 1);
  }
}

}  // namespace orv
