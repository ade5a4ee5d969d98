// testgateway [ADDRESS [REPLY]]: serves the gateway's five ports on ADDRESS (a loopback
// address, 127.0.0.1 when not given) until interrupted, printing every request. Each request
// is answered with REPLY when given, otherwise with its own bytes, which is also how the
// gateway answers an acknowledgement.
#include <csignal>
#include <cstdio>
#include <exception>
#include <mutex>
#include <string>

#include "test_gateway.h"

namespace {

void Print(const testgw::Request& request) {
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  std::printf("port %u connection %d request %d (%zu bytes):\n%s\n", request.port,
              request.connection, request.sequence, request.body.size(), request.body.c_str());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 3) {
    std::fprintf(stderr, "usage: testgateway [ADDRESS [REPLY]]\n");
    return 2;
  }
  const std::string address = argc > 1 ? argv[1] : "127.0.0.1";
  const bool fixedReply = argc > 2;
  const std::string reply = fixedReply ? argv[2] : "";

  // The signals are taken by sigwait below, so every thread the gateway starts must block them.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);

  try {
    testgw::TestGateway gateway(address, [&](const testgw::Request& request) {
      Print(request);
      return testgw::Reply(fixedReply ? reply : request.body);
    });
    std::printf("test gateway on %s, ports 9102 9004 9200 9400 36000\n", address.c_str());
    std::fflush(stdout);
    int signal = 0;
    sigwait(&stop, &signal);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
