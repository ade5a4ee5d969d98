// TransactionLog: the daily log file of one action type and merchant, shared by every
// transaction that runs them. One TransactionLog per Transaction, used by its thread only;
// many of them append to the same file at once without a lock, each line landing whole.
#pragma once

#include <string>
#include <string_view>

#include "sys/sys.h"

namespace orv {

enum class LogLevel { Info = 1, Debug = 2, Error = 3, DebugAlways = 4 };

class TransactionLog {
 public:
  // Returns 1 when the file is open, 0 when not. Never creates directories.
  int Open(const std::string& path, int handle);
  // Returns 1 when the line was written or a Debug line was skipped, 0 when writing failed
  // (also when the log is not open).
  int Write(LogLevel level, std::string_view message);
  void Close() { file_.Close(); }
  bool IsOpen() const { return file_.IsOpen(); }
  void SetDebugSwitch(int debugSwitch) { debugSwitch_ = debugSwitch; }

 private:
  sys::AppendFile file_;
  int handle_ = 0;
  int debugSwitch_ = 0;
};

// "<module directory>log/ORV<type>_<mid>_<YYMMDD>.log", or "" when type or mid could lead
// outside the log directory.
std::string TransactionLogPath(const std::string& moduleDirectory, const std::string& type,
                               const std::string& mid);

// One formatted line without its CR LF: level word, stamp, 8-digit handle, message.
std::string FormatLogLine(LogLevel level, std::string_view stamp, int handle,
                          std::string_view message);

}  // namespace orv
