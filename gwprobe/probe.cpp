#include "probe.h"

#include <array>
#include <cstdio>

#include "net/net.h"

namespace gwprobe {

namespace {

constexpr char kStartupFailed[] = "WSAStartup() fail (LastError:%d)";
constexpr char kSocketFailed[] = "socket() fail (LastError:%d)";

struct Step {
  uint16_t port;
  const char* connectFailed;
};

constexpr std::array kSteps = {
    Step{9102, "connect() fail (port 9102, LastError:%d)"},
    Step{9004, "connect() fail (port 9004, LastError:%d)"},
};

// `pattern` with its one %d replaced by the calling thread's last socket error.
std::string WithLastError(const char* pattern) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, net::LastError());
  return text;
}

std::string TryPorts(uint32_t address) {
  for (const Step& step : kSteps) {
    const net::Socket socket = net::TcpSocket();
    if (!socket.IsOpen()) return WithLastError(kSocketFailed);
    if (!net::Connect(socket, {address, step.port})) return WithLastError(step.connectFailed);
  }
  return std::string(kTestPassed);
}

}  // namespace

std::string RunConnectionTest(uint32_t address) {
  if (net::Startup() != 0) return WithLastError(kStartupFailed);
  std::string message = TryPorts(address);
  net::Cleanup();
  return message;
}

}  // namespace gwprobe
