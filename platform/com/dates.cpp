// DATE <-> text in the Korean system locale: "2006-12-25 오후 3:05:09".
//
// A DATE counts days from 1899-12-30; its fraction is the time of day, measured away from zero
// for days before that one (-1.25 is 1899-12-29 06:00).
#include <cmath>
#include <cstdio>

#include "com/internal.h"

namespace com::internal {

namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kUnixDayOfDateZero = -25569;  // 1899-12-30 counted from 1970-01-01
constexpr std::u16string_view kMorning = u"오전";
constexpr std::u16string_view kAfternoon = u"오후";

struct Civil {
  int year, month, day;
};

// Days from 1970-01-01 in the proleptic Gregorian calendar (H. Hinnant's algorithms).
int64_t DaysFromCivil(Civil c) {
  const int64_t y = c.year - (c.month <= 2);
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yearOfEra = y - era * 400;
  const int64_t dayOfYear = (153 * (c.month + (c.month > 2 ? -3 : 9)) + 2) / 5 + c.day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

Civil CivilFromDays(int64_t days) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t mp = (5 * dayOfYear + 2) / 153;
  const int day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {static_cast<int>(yearOfEra + era * 400 + (month <= 2)), month, day};
}

bool ValidCivil(Civil c) {
  if (c.year < 100 || c.year > 9999 || c.month < 1 || c.month > 12 || c.day < 1) return false;
  return CivilFromDays(DaysFromCivil(c)).day == c.day;  // rejects 02-30 and the like
}

std::u16string Widen(const char* ascii) {
  std::u16string out;
  for (; *ascii; ++ascii) out += static_cast<char16_t>(*ascii);
  return out;
}

std::u16string FormatTime(int64_t seconds) {
  const int hour = static_cast<int>(seconds / 3600);
  char digits[48];
  std::snprintf(digits, sizeof digits, " %d:%02d:%02d", hour % 12 == 0 ? 12 : hour % 12,
                static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
  return std::u16string(hour < 12 ? kMorning : kAfternoon) + Widen(digits);
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

// Splits "12:05:09" or "2006-12-25" at `separators` into numbers; false unless every part is
// 1 to 4 ASCII digits and there are `low` to `high` parts.
bool SplitNumbers(std::u16string_view token, std::u16string_view separators, size_t low,
                  size_t high, std::vector<int>& parts) {
  parts.assign(1, 0);
  size_t digits = 0;
  for (char16_t c : token) {
    if (c >= u'0' && c <= u'9' && digits < 4) {
      parts.back() = parts.back() * 10 + (c - u'0');
      ++digits;
    } else if (separators.find(c) != std::u16string_view::npos && digits > 0) {
      parts.push_back(0);
      digits = 0;
    } else {
      return false;
    }
  }
  return digits > 0 && parts.size() >= low && parts.size() <= high;
}

bool IsWord(std::u16string_view token, std::u16string_view word) {
  if (token.size() != word.size()) return false;
  for (size_t i = 0; i < token.size(); ++i) {
    char16_t c = token[i];
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    if (c != word[i]) return false;
  }
  return true;
}

}  // namespace

std::optional<std::u16string> FormatDate(DATE date) {
  if (!(date > -657435.0 && date < 2958466.0)) return std::nullopt;
  int64_t day = static_cast<int64_t>(std::trunc(date));
  int64_t seconds = std::llround(std::fabs(date - static_cast<double>(day)) * kSecondsPerDay);
  if (seconds == kSecondsPerDay) {
    seconds = 0;
    ++day;
  }
  if (day == 0) return FormatTime(seconds);
  const Civil c = CivilFromDays(day + kUnixDayOfDateZero);
  if (c.year > 9999) return std::nullopt;
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", c.year, c.month, c.day);
  std::u16string out = Widen(text);
  if (seconds != 0) out += u' ' + FormatTime(seconds);
  return out;
}

std::optional<DATE> ParseDate(std::u16string_view text) {
  std::optional<Civil> date;
  std::optional<int> hour, minute, second;
  enum class Half { None, Morning, Afternoon } half = Half::None;
  std::vector<int> parts;
  size_t i = 0;
  while (i < text.size()) {
    if (IsBlank(text[i])) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < text.size() && !IsBlank(text[end])) ++end;
    const std::u16string_view token = text.substr(i, end - i);
    i = end;
    if (token == kMorning || IsWord(token, u"AM")) {
      if (half != Half::None) return std::nullopt;
      half = Half::Morning;
    } else if (token == kAfternoon || IsWord(token, u"PM")) {
      if (half != Half::None) return std::nullopt;
      half = Half::Afternoon;
    } else if (!hour && SplitNumbers(token, u":", 2, 3, parts)) {
      hour = parts[0];
      minute = parts[1];
      second = parts.size() == 3 ? parts[2] : 0;
    } else if (!date && SplitNumbers(token, u"-/.", 3, 3, parts) &&
               token.find_first_of(u"-/.") == 4) {
      date = Civil{parts[0], parts[1], parts[2]};
    } else {
      return std::nullopt;
    }
  }
  if (!date && !hour) return std::nullopt;
  if (date && !ValidCivil(*date)) return std::nullopt;
  int64_t seconds = 0;
  if (hour) {
    int h = *hour;
    if (half != Half::None) {
      if (h < 1 || h > 12) return std::nullopt;
      h = h % 12 + (half == Half::Afternoon ? 12 : 0);
    }
    if (h > 23 || *minute > 59 || *second > 59) return std::nullopt;
    seconds = h * 3600 + *minute * 60 + *second;
  } else if (half != Half::None) {
    return std::nullopt;
  }
  const double day = date ? static_cast<double>(DaysFromCivil(*date) - kUnixDayOfDateZero) : 0;
  const double time = static_cast<double>(seconds) / kSecondsPerDay;
  return day < 0 ? day - time : day + time;
}

}  // namespace com::internal
