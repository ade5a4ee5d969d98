#include <cmath>

#include "ado/ado.h"

namespace ado {

namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kDaysBeforeDateZero = 693899;  // 0000-03-01 to 1899-12-30

// Days since 0000-03-01 in the proleptic Gregorian calendar (H. Hinnant's algorithms).
int64_t DaysFromCivil(int year, int month, int day) {
  const int64_t y = year - (month <= 2);
  const int64_t era = y / 400;
  const int64_t yearOfEra = y - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  return era * 146097 + yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
}

void CivilFromDays(int64_t days, DateTime& parts) {
  const int64_t era = days / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t mp = (5 * dayOfYear + 2) / 153;
  parts.day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
  parts.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  parts.year = static_cast<int>(yearOfEra + era * 400 + (parts.month <= 2));
}

}  // namespace

std::optional<DATE> DateFromParts(const DateTime& p) {
  if (p.year < 100 || p.year > 9999 || p.month < 1 || p.month > 12 || p.day < 1 ||
      p.hour < 0 || p.hour > 23 || p.minute < 0 || p.minute > 59 || p.second < 0 ||
      p.second > 59) {
    return std::nullopt;
  }
  DateTime check{};
  const int64_t days = DaysFromCivil(p.year, p.month, p.day);
  CivilFromDays(days, check);
  if (check.day != p.day) return std::nullopt;  // 02-30 and the like
  const double day = static_cast<double>(days - kDaysBeforeDateZero);
  const double time = (p.hour * 3600 + p.minute * 60 + p.second) / double(kSecondsPerDay);
  return day < 0 ? day - time : day + time;
}

std::optional<DateTime> PartsOfDate(DATE date) {
  if (!std::isfinite(date) || date < -657434.0 || date >= 2958466.0) return std::nullopt;
  // The whole days and the time of day, which runs away from zero on either side.
  int64_t day = static_cast<int64_t>(date);
  int64_t seconds = std::llround(std::fabs(date - static_cast<double>(day)) * kSecondsPerDay);
  if (seconds == kSecondsPerDay) {
    seconds = 0;
    day += date < 0 ? -1 : 1;
  }
  if (day >= 2958466) return std::nullopt;
  DateTime parts{};
  CivilFromDays(day + kDaysBeforeDateZero, parts);
  parts.hour = static_cast<int>(seconds / 3600);
  parts.minute = static_cast<int>(seconds / 60 % 60);
  parts.second = static_cast<int>(seconds % 60);
  return parts;
}

}  // namespace ado
