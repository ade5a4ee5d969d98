#include "sys.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <netdb.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace sys {

std::string ModuleDirectory(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || !info.dli_fname) return {};
  std::string path = info.dli_fname;
  if (path.find('/') == std::string::npos) {
    // A program started through PATH reports its bare name: ask the kernel instead.
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return {};
    path.assign(self, static_cast<size_t>(n));
  }
  return path.substr(0, path.rfind('/') + 1);
}

LocalTime Now() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm local{};
  localtime_r(&ts.tv_sec, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
          local.tm_min,         local.tm_sec,     static_cast<int>(ts.tv_nsec / 1000000)};
}

bool AppendFile::Open(const std::string& path) {
  Close();
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  return fd_ >= 0;
}

bool AppendFile::Append(std::string_view bytes) {
  if (fd_ < 0) return false;
  // O_APPEND places each write at the end atomically, so lines of concurrent writers
  // interleave whole. Local file systems complete a regular-file write in one call; a short
  // write (disk full) continues where it stopped.
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return ::fdatasync(fd_) == 0;
}

void AppendFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::optional<std::string> HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return std::nullopt;
  return name;
}

std::string Ipv4AddressOf(const std::string& hostName) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(hostName.c_str(), nullptr, &hints, &found) != 0 || !found) return {};
  char dotted[INET_ADDRSTRLEN] = {};
  const auto* in = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
  inet_ntop(AF_INET, &in->sin_addr, dotted, sizeof dotted);
  freeaddrinfo(found);
  return dotted;
}

}  // namespace sys
