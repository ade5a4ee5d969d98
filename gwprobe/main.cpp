// gwprobe: tells an operator whether this machine reaches the payment gateway's ports 9102
// and 9004. With a display it shows dialog 102 and answers in a message box; without one
// (over SSH, in scripts) it runs the test at once, prints the answer on standard output and
// exits 0 for "TEST PASSED", 1 otherwise. Command-line arguments are not read.
#include <cstdio>
#include <string>

#include "dialog.h"
#include "net/net.h"
#include "probe.h"

namespace {

// The gateway's primary address, compiled in. A value that is no address becomes
// 255.255.255.255, as the platform's address parser answered, and no connect takes it.
uint32_t PrimaryAddress() {
  return net::ParseIpv4(GATEWAY_PRIMARY_ADDRESS).value_or(0xFFFFFFFF);
}

// The program's own start-up of the socket support, held while it runs.
class SocketSupport {
 public:
  SocketSupport() : ready_(net::Startup() == 0) {}
  ~SocketSupport() {
    if (ready_) net::Cleanup();
  }
  SocketSupport(const SocketSupport&) = delete;
  SocketSupport& operator=(const SocketSupport&) = delete;
  bool ready() const { return ready_; }

 private:
  bool ready_;
};

int RunInConsole(const SocketSupport& sockets) {
  const std::string message = sockets.ready()
                                  ? gwprobe::RunConnectionTest(PrimaryAddress())
                                  : std::string(gwprobe::kSocketsInitFailed);
  std::printf("%s\n", message.c_str());
  return message == gwprobe::kTestPassed ? 0 : 1;
}

int RunWindowed(const SocketSupport& sockets) {
  if (!sockets.ready()) {
    gwprobe::ShowMessageBox(nullptr, gwprobe::kSocketsInitFailed);
    return 0;
  }
  gwprobe::RunDialog([] { return gwprobe::RunConnectionTest(PrimaryAddress()); });
  return 0;
}

}  // namespace

int main() {
  g_set_prgname(gwprobe::kProgramName);
  const bool windowed = gtk_init_check(nullptr, nullptr);
  const SocketSupport sockets;
  return windowed ? RunWindowed(sockets) : RunInConsole(sockets);
}
