// Sockets on loopback only; every test owns the addresses 127.96.<block>.x.
#include "net/net.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

namespace net {
namespace {

constexpr uint16_t kPort = 9102;

Endpoint At(int block, int host, uint16_t port = kPort) {
  return {*ParseIpv4("127.96." + std::to_string(block) + "." + std::to_string(host)), port};
}

class NetTest : public ::testing::Test {
  Session session_;
};

TEST(WinsockError, MapsErrnoToWinsockNumbers) {
  struct Case {
    int errnoValue;
    int winsock;
  };
  const Case cases[] = {
      {0, 0},
      {ECONNREFUSED, 10061},
      {ETIMEDOUT, 10060},
      {ECONNRESET, 10054},
      {EPIPE, 10054},
      {ENETUNREACH, 10051},
      {EHOSTUNREACH, 10065},
      {ECONNABORTED, 10053},
      {EADDRINUSE, 10048},
      {EADDRNOTAVAIL, 10049},
      {ENOTCONN, 10057},
      {EAGAIN, 10035},
      {EINPROGRESS, 10036},
      {EBADF, 10038},
      {ENOTSOCK, 10038},
      {EMFILE, 10024},
      {ENOBUFS, 10055},
      {EACCES, 10013},
      {EINVAL, 10022},
      {EINTR, 10004},
      {ENETDOWN, 10050},
      {EHOSTDOWN, 10064},
      {EDOM, WSASYSCALLFAILURE},
  };
  for (const Case& c : cases) EXPECT_EQ(WinsockError(c.errnoValue), c.winsock) << c.errnoValue;
}

TEST(Startup, CountsUsersLikeWinsock) {
  ASSERT_EQ(StartupCount(), 0);
  EXPECT_FALSE(TcpSocket().IsOpen());
  EXPECT_EQ(LastError(), WSANOTINITIALISED);

  EXPECT_EQ(Startup(), 0);
  EXPECT_EQ(Startup(), 0);
  EXPECT_TRUE(TcpSocket().IsOpen());
  EXPECT_EQ(Cleanup(), 0);
  EXPECT_TRUE(TcpSocket().IsOpen());
  EXPECT_EQ(Cleanup(), 0);
  EXPECT_FALSE(TcpSocket().IsOpen());
  SetLastError(0);
  EXPECT_EQ(Cleanup(), -1);
  EXPECT_EQ(LastError(), WSANOTINITIALISED);
  EXPECT_EQ(StartupCount(), 0);
}

TEST(Startup, CountIsSafeAcrossThreads) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([] {
      for (int i = 0; i < 10'000; ++i) {
        Startup();
        Cleanup();
      }
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(StartupCount(), 0);
}

TEST(LastError, BelongsToTheThread) {
  SetLastError(WSAECONNREFUSED);
  std::thread([] {
    EXPECT_EQ(LastError(), 0);
    SetLastError(WSAETIMEDOUT);
  }).join();
  EXPECT_EQ(LastError(), WSAECONNREFUSED);
}

TEST(Ipv4, StrictDottedDecimal) {
  EXPECT_EQ(ParseIpv4("127.0.0.1"), 0x7F000001u);
  EXPECT_EQ(ParseIpv4("255.255.255.255"), 0xFFFFFFFFu);
  for (const std::string_view bad :
       {"", "127.0.0", "127.0.0.1.", "127.0.0.256", " 127.0.0.1", "127.0.0.1 ", "127.1",
        "0x7f.0.0.1", "localhost", "1111.0.0.1"})
    EXPECT_EQ(ParseIpv4(bad), std::nullopt) << bad;
  EXPECT_EQ(ParseIpv4(std::string_view("127.0.0.1\0", 10)), std::nullopt);
  EXPECT_EQ(FormatIpv4(0x7F600102u), "127.96.1.2");
}

TEST_F(NetTest, ConnectRefused) {
  const Socket socket = TcpSocket();
  EXPECT_FALSE(Connect(socket, At(1, 1)));
  EXPECT_EQ(LastError(), WSAECONNREFUSED);
}

TEST_F(NetTest, ConnectToTheAnyOrBroadcastAddressFailsAtOnce) {
  // Linux would take 0.0.0.0 for this host; Winsock does not.
  const Socket listener = Listen(At(2, 1), 4);
  ASSERT_TRUE(listener.IsOpen());
  for (const uint32_t address : {0x00000000u, 0xFFFFFFFFu}) {
    const Socket socket = TcpSocket();
    EXPECT_FALSE(Connect(socket, {address, kPort}));
    EXPECT_EQ(LastError(), WSAEADDRNOTAVAIL);
  }
}

TEST_F(NetTest, ConnectGivesUpAfterItsTimeout) {
  EXPECT_EQ(kConnectTimeoutMs, 21'000);
  // A listener that never accepts and has no room in its queue lets SYNs go unanswered.
  const Socket listener = Listen(At(3, 1), 0);
  ASSERT_TRUE(listener.IsOpen());
  std::vector<Socket> queued;
  bool timedOut = false;
  for (int i = 0; i < 8 && !timedOut; ++i) {
    Socket socket = TcpSocket();
    if (Connect(socket, At(3, 1), 300)) {
      queued.push_back(std::move(socket));
    } else {
      EXPECT_EQ(LastError(), WSAETIMEDOUT);
      timedOut = true;
    }
  }
  EXPECT_TRUE(timedOut);
}

// Both ends of one connection on `block`.
struct Connected {
  explicit Connected(int block) : listener(Listen(At(block, 1), 4)), client(TcpSocket()) {
    if (listener.IsOpen() && Connect(client, At(block, 1))) server = Accept(listener);
  }
  Socket listener, client, server;
};

TEST_F(NetTest, ExchangeAndReadabilityWait) {
  Connected pair(4);
  const Socket& client = pair.client;
  Socket& server = pair.server;
  ASSERT_TRUE(server.IsOpen());

  SetLastError(WSAECONNRESET);
  EXPECT_EQ(WaitReadable(client, 50), WaitResult::TimedOut);
  EXPECT_EQ(LastError(), 0);

  EXPECT_EQ(Send(server, "hello"), 5);
  EXPECT_EQ(WaitReadable(client, 1000), WaitResult::Readable);
  char buffer[16];
  EXPECT_EQ(Receive(client, buffer, sizeof buffer), 5);
  EXPECT_EQ(std::string_view(buffer, 5), "hello");

  server.Close();
  EXPECT_EQ(WaitReadable(client, 1000), WaitResult::Readable);
  EXPECT_EQ(Receive(client, buffer, sizeof buffer), 0);
}

TEST_F(NetTest, ResetConnectionFailsWithoutSignal) {
  Connected pair(5);
  const Socket& client = pair.client;
  ASSERT_TRUE(pair.server.IsOpen());
  pair.server.Abort();
  ASSERT_EQ(WaitReadable(client, 1000), WaitResult::Readable);
  // No SIGPIPE may end the process: the send fails as Winsock's would.
  EXPECT_EQ(Send(client, "hello"), -1);
  EXPECT_EQ(LastError(), WSAECONNRESET);
  EXPECT_EQ(Send(client, "hello"), -1);
  EXPECT_EQ(LastError(), WSAECONNRESET);
}

TEST_F(NetTest, ClosedSocketIsNoSocket) {
  Socket socket = TcpSocket();
  socket.Close();
  char buffer[4];
  EXPECT_EQ(Receive(socket, buffer, sizeof buffer), -1);
  EXPECT_EQ(LastError(), WSAENOTSOCK);
  EXPECT_EQ(WaitReadable(socket, 10), WaitResult::Failed);
  EXPECT_EQ(LastError(), WSAENOTSOCK);
  EXPECT_FALSE(Connect(socket, At(6, 1)));
  EXPECT_EQ(LastError(), WSAENOTSOCK);
}

TEST_F(NetTest, ListenOnAPortInUseFails) {
  const Socket first = Listen(At(7, 1), 4);
  ASSERT_TRUE(first.IsOpen());
  EXPECT_FALSE(Listen(At(7, 1), 4).IsOpen());
  EXPECT_EQ(LastError(), WSAEADDRINUSE);
}

TEST_F(NetTest, ShutdownWakesABlockedAccept) {
  const Socket listener = Listen(At(8, 1), 4);
  ASSERT_TRUE(listener.IsOpen());
  std::thread acceptor([&] { EXPECT_FALSE(Accept(listener).IsOpen()); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(Shutdown(listener));
  acceptor.join();
  const Socket late = TcpSocket();
  EXPECT_FALSE(Connect(late, At(8, 1)));
  EXPECT_EQ(LastError(), WSAECONNREFUSED);
}

}  // namespace
}  // namespace net
