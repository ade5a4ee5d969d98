#include "log.h"

#include <cstdio>

#include "identifiers.h"

namespace orv {

namespace {

// type and mid become parts of a file name: refuse anything that could climb out of the
// log directory or cut the name short.
bool IsSafeNamePart(std::string_view part) {
  return !part.empty() && part.find_first_of(std::string_view("/\\\0", 3)) == part.npos &&
         part.find("..") == part.npos;
}

std::string_view LevelWord(LogLevel level) {
  switch (level) {
    case LogLevel::Info: return "INFO ";
    case LogLevel::Error: return "ERROR";
    case LogLevel::Debug:
    case LogLevel::DebugAlways: return "DEBUG";
  }
  return "DEBUG";
}

}  // namespace

std::string TransactionLogPath(const std::string& moduleDirectory, const std::string& type,
                               const std::string& mid) {
  if (!IsSafeNamePart(type) || !IsSafeNamePart(mid)) return {};
  return moduleDirectory + "log/ORV" + type + "_" + mid + "_" +
         GetTimeStamp(StampFormat::FileDate) + ".log";
}

std::string FormatLogLine(LogLevel level, std::string_view stamp, int handle,
                          std::string_view message) {
  char prefix[64];
  std::snprintf(prefix, sizeof prefix, " [%.*s] <%08d> ", static_cast<int>(stamp.size()),
                stamp.data(), handle);
  std::string line(LevelWord(level));
  line += prefix;
  line += message;
  return line;
}

int TransactionLog::Open(const std::string& path, int handle) {
  handle_ = handle;
  if (path.empty()) return 0;
  return file_.Open(path) ? 1 : 0;
}

int TransactionLog::Write(LogLevel level, std::string_view message) {
  if (level == LogLevel::Debug && debugSwitch_ == 0) return 1;
  std::string line = FormatLogLine(level, GetTimeStamp(StampFormat::LogLine), handle_, message);
  line += "\r\n";
  return file_.Append(line) ? 1 : 0;
}

}  // namespace orv
