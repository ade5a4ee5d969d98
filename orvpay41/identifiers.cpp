#include "identifiers.h"

#include <cstdio>
#include <string_view>

#include "fields.h"

namespace orv {

namespace {

constexpr size_t kTidLength = 40;

}  // namespace

std::string FormatTimeStamp(StampFormat format, const sys::LocalTime& t) {
  char text[64];
  switch (format) {
    case StampFormat::Tid:
      std::snprintf(text, sizeof text, "%d%02d%02d%02d%02d%02d%03d", t.year, t.month, t.day,
                    t.hour, t.minute, t.second, t.millisecond);
      break;
    case StampFormat::LogLine:
      std::snprintf(text, sizeof text, "%d:%02d:%02d-%02d:%02d:%02d:%03d", t.year, t.month,
                    t.day, t.hour, t.minute, t.second, t.millisecond);
      break;
    case StampFormat::FileDate:
      std::snprintf(text, sizeof text, "%02d%02d%02d", t.year % 100, t.month, t.day);
      break;
  }
  return text;
}

std::string GetTimeStamp(StampFormat format) { return FormatTimeStamp(format, sys::Now()); }

int TransactionFields::MakeTid(int handle) {
  const std::string digits = std::to_string(handle);
  const std::string_view last3 =
      std::string_view(digits).substr(digits.size() > 3 ? digits.size() - 3 : 0);
  tid = pgid + mid + GetTimeStamp(StampFormat::Tid) + std::string(last3);
  if (tid.size() < kTidLength) return 0;
  tid.resize(kTidLength);
  return 1;
}

std::string GetHostIpAddress() {
  const std::optional<std::string> name = sys::HostName();
  if (!name) return "127.0.0.2";
  if (name->empty()) return "127.0.0.3";
  const std::string address = sys::Ipv4AddressOf(*name);
  return address.empty() ? "127.0.0.4" : address;
}

}  // namespace orv
