#include <time.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "database.h"

namespace {

constexpr char kDefaultDateFormat[] = "%Y-%m-%d %H:%M:%S";

void DropTrailingZeros(std::string& number) {
  const size_t point = number.find('.');
  const size_t last = number.find_last_not_of('0');
  if (last >= point) number.erase(last + 1);
}

double DecimalValue(const DECIMAL& value) {
  const double mantissa = std::ldexp(static_cast<double>(value.Hi32), 64) +
                          static_cast<double>(value.Lo64);
  const double magnitude = mantissa / std::pow(10.0, value.scale);
  return value.sign & DECIMAL_NEG ? -magnitude : magnitude;
}

std::string DateText(DATE date, const std::string& dateFormat) {
  const std::optional<ado::DateTime> parts = ado::PartsOfDate(date);
  if (!parts) return {};
  std::tm broken{};
  broken.tm_year = parts->year - 1900;
  broken.tm_mon = parts->month - 1;
  broken.tm_mday = parts->day;
  broken.tm_hour = parts->hour;
  broken.tm_min = parts->minute;
  broken.tm_sec = parts->second;
  timegm(&broken);  // fills in the day of the week and of the year, for %a, %j and the like
  const std::string& format = dateFormat.empty() ? kDefaultDateFormat : dateFormat;
  // strftime answers 0 both for "no room" and for an empty result: grow up to a bound.
  for (size_t room = 64; room <= 64 * 1024; room *= 4) {
    std::string text(room, '\0');
    const size_t length = std::strftime(text.data(), room, format.c_str(), &broken);
    if (length > 0) return text.substr(0, length);
  }
  return {};
}

}  // namespace

std::string GeneralNumber(double value, int digits) {
  if (std::isnan(value)) return "1.#QNAN";
  if (std::isinf(value)) return value < 0 ? "-1.#INF" : "1.#INF";
  // The digits: the fewest that read back as the same double (never more than 17), or the
  // value rounded to `digits` when it needs more. Positions beyond them are zeros.
  char scientific[48];
  const auto shortest = std::to_chars(scientific, scientific + sizeof scientific,
                                      std::fabs(value), std::chars_format::scientific);
  *shortest.ptr = '\0';
  const char* exponentText = std::strchr(scientific, 'e');
  const bool fits = exponentText - scientific - (exponentText > scientific + 1 ? 1 : 0) <= digits;
  if (!fits) std::snprintf(scientific, sizeof scientific, "%.*e", digits - 1, std::fabs(value));
  exponentText = std::strchr(scientific, 'e');
  std::string mantissa(1, scientific[0]);
  for (const char* p = scientific + 2; p < exponentText; ++p) mantissa += *p;
  mantissa.resize(static_cast<size_t>(digits), '0');
  const int exponent = value == 0 ? 0 : std::atoi(exponentText + 1);

  const std::string sign = value < 0 ? "-" : "";
  if (exponent >= -1 && exponent <= digits - 1) {
    std::string fixed = exponent == -1 ? "0." + mantissa
                                       : mantissa.substr(0, exponent + 1) + "." +
                                             mantissa.substr(exponent + 1);
    DropTrailingZeros(fixed);
    return sign + fixed;
  }
  std::string fraction = mantissa.substr(0, 1) + "." + mantissa.substr(1);
  DropTrailingZeros(fraction);
  char power[16];
  std::snprintf(power, sizeof power, "e%c%03d", exponent < 0 ? '-' : '+', std::abs(exponent));
  return sign + fraction + power;
}

bool ValueToText(const VARIANT& value, const std::string& dateFormat, std::string& text) {
  switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL: text.clear(); return true;
    case VT_I2: text = std::to_string(value.iVal); return true;
    case VT_I4:
    case VT_INT: text = std::to_string(value.lVal); return true;
    case VT_UI1: text = std::to_string(unsigned{value.bVal}); return true;
    case VT_UI4: text = std::to_string(value.ulVal); return true;
    case VT_BOOL: text = value.boolVal ? "1" : "0"; return true;
    case VT_R4: text = GeneralNumber(value.fltVal, 10); return true;
    case VT_R8: text = GeneralNumber(value.dblVal, 20); return true;
    case VT_DECIMAL: text = GeneralNumber(DecimalValue(value.decVal), 20); return true;
    case VT_DATE: text = DateText(value.date, dateFormat); return true;
    case VT_BSTR: text = com::ToCp949(value.bstrVal); return true;
    default: return false;
  }
}
