// The few operating-system services the components need: where a module's file lives, files
// that many writers append lines to, the clock, and the host's name.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sys {

// Directory of the loaded file (shared library or program) that contains `address`, ending
// with "/"; "" when the loader cannot say.
std::string ModuleDirectory(const void* address);

// One reading of the clock, broken into local date and time plus milliseconds, so that the
// milliseconds always belong to the second shown.
struct LocalTime {
  int year, month, day, hour, minute, second, millisecond;
};
LocalTime Now();

// A file opened for appending, shareable by any number of writers in this and other
// processes. Each Append lands as one piece at the current end of the file and reaches the
// disk before the call returns. Not thread-safe itself: one owner at a time.
class AppendFile {
 public:
  AppendFile() = default;
  ~AppendFile() { Close(); }
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // Creates the file when missing, keeps its contents otherwise; never creates directories.
  bool Open(const std::string& path);
  bool IsOpen() const { return fd_ >= 0; }
  bool Append(std::string_view bytes);
  void Close();

 private:
  int fd_ = -1;
};

// The host's name; nullopt when it cannot be read.
std::optional<std::string> HostName();

// The first IPv4 address the name resolves to, dotted; "" when it resolves to none.
std::string Ipv4AddressOf(const std::string& hostName);

}  // namespace sys
