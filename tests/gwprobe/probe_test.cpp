// The connection test in-process, for what the program cannot show: the socket library's
// start-up count and a socket that cannot be made. Nothing listens on 127.0.4.2.
#include "probe.h"

#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "net/net.h"

namespace gwprobe {
namespace {

const uint32_t kNobody = *net::ParseIpv4("127.0.4.2");

TEST(ConnectivityTest, ReleasesItsStartupOfTheSocketLibrary) {
  const net::Session program;
  EXPECT_EQ(RunConnectionTest(kNobody), "connect() fail (port 9102, LastError:10061)");
  EXPECT_EQ(net::StartupCount(), 1);
}

TEST(ConnectivityTest, NamesTheSocketThatCannotBeMade) {
  // The lowest free descriptor becomes the limit, so the next socket finds no room.
  const int free = ::dup(STDIN_FILENO);
  ASSERT_GE(free, 0);
  ::close(free);
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit tight = saved;
  tight.rlim_cur = static_cast<rlim_t>(free);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
  const std::string message = RunConnectionTest(kNobody);
  ::setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_EQ(message, "socket() fail (LastError:10024)");
}

}  // namespace
}  // namespace gwprobe
