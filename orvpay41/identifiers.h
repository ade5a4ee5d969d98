// Time stamps, transaction identifiers and the host's address.
#pragma once

#include <string>

#include "sys/sys.h"

namespace orv {

// 1: "YYYYMMDDhhmmssmmm" (transaction identifier), 2: "YYYY:MM:DD-hh:mm:ss:mmm" (log lines),
// 3: "YYMMDD" (log file name).
enum class StampFormat { Tid = 1, LogLine = 2, FileDate = 3 };

std::string GetTimeStamp(StampFormat format);
std::string FormatTimeStamp(StampFormat format, const sys::LocalTime& time);

// The host's IPv4 address as text; never fails: "127.0.0.2" when the host name cannot be
// read, "127.0.0.3" when it is empty, "127.0.0.4" when it resolves to no address.
std::string GetHostIpAddress();

}  // namespace orv
