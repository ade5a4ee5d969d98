// The gateway connection against the test gateway: real TCP on loopback. Every test owns the
// addresses 127.95.<block>.x, so that tests running in parallel never share the fixed ports.
#include "connection.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "testgateway/test_gateway.h"
#include "transaction.h"

namespace orv {
namespace {

using testgw::Answer;
using testgw::Raw;
using testgw::Reply;
using testgw::Silence;
using testgw::TestGateway;
using testgw::Then;

std::string Loopback(int block, int host) {
  return "127.95." + std::to_string(block) + "." + std::to_string(host);
}

std::string Prefix(uint32_t length) {
  return {static_cast<char>(length >> 24), static_cast<char>(length >> 16),
          static_cast<char>(length >> 8), static_cast<char>(length)};
}

// A connection whose four gateway addresses all point at one test gateway.
GatewayConnection ConnectionTo(const std::string& address, ConnectionKind kind) {
  GatewayConnection connection;
  connection.gateways = {address, address, address, address};
  connection.kind = kind;
  return connection;
}

class ConnectionTest : public ::testing::Test {
  net::Session session_;
};

TEST(ConnectionKinds, PortsAndFraming) {
  struct Case {
    ConnectionKind kind;
    uint16_t port;
    bool framed;
  };
  const Case cases[] = {
      {ConnectionKind::Standard, 9102, true},  {ConnectionKind::Confirm, 9004, true},
      {ConnectionKind::NetCancel, 9102, true}, {ConnectionKind::OcbQuery, 9200, false},
      {ConnectionKind::Billing, 9400, true},   {ConnectionKind::Escrow, 36000, false},
      {static_cast<ConnectionKind>(0), 9102, true},
      {static_cast<ConnectionKind>(7), 9102, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PortOf(c.kind), c.port) << static_cast<int>(c.kind);
    EXPECT_EQ(IsFramed(c.kind), c.framed) << static_cast<int>(c.kind);
  }
}

// Hosts of block 1: which gateway a connection reaches shows the order of the attempts.
enum Host { kPrimary = 1, kFirstBackup = 2, kSecondBackup = 3, kTest = 4, kSubGateway = 5 };

TEST_F(ConnectionTest, TriesTheAddressesInOrder) {
  struct Case {
    const char* what;
    std::vector<Host> up;  // hosts with a gateway listening
    int testMode;
    int escrowMode;
    bool subGatewaySet;
    Host reached;  // 0: Connect fails with 9502
    int lastError;
  };
  const std::vector<Case> cases = {
      {"primary first", {kPrimary, kFirstBackup, kSecondBackup, kTest, kSubGateway}, 0, 0, true,
       kPrimary, 0},
      {"then first backup", {kFirstBackup, kSecondBackup, kTest, kSubGateway}, 0, 0, true,
       kFirstBackup, 0},
      {"then second backup", {kSecondBackup, kTest, kSubGateway}, 0, 0, true, kSecondBackup, 0},
      {"then sub-gateway", {kTest, kSubGateway}, 0, 0, true, kSubGateway, 0},
      {"empty sub-gateway fails at once", {kTest}, 0, 0, false, Host{}, net::WSAEADDRNOTAVAIL},
      {"test mode: test address", {kPrimary, kFirstBackup, kSecondBackup, kTest, kSubGateway}, 1,
       0, true, kTest, 0},
      {"test mode: only the test address", {kPrimary, kFirstBackup, kSecondBackup, kSubGateway},
       1, 0, true, Host{}, net::WSAECONNREFUSED},
      {"test mode wins over escrow", {kPrimary, kTest}, 1, 1, true, kTest, 0},
      {"escrow: primary", {kPrimary, kFirstBackup, kSecondBackup, kSubGateway}, 0, 1, true,
       kPrimary, 0},
      {"escrow: only the primary", {kFirstBackup, kSecondBackup, kTest, kSubGateway}, 0, 1, true,
       Host{}, net::WSAECONNREFUSED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::unique_ptr<TestGateway>> gateways;
    for (const Host host : c.up) {
      const std::string address = Loopback(1, host);
      gateways.push_back(std::make_unique<TestGateway>(
          address, [address](const testgw::Request&) { return Reply(address); }));
    }
    GatewayConnection connection;
    connection.gateways = {Loopback(1, kPrimary), Loopback(1, kFirstBackup),
                           Loopback(1, kSecondBackup), Loopback(1, kTest)};
    connection.subPgAddress = c.subGatewaySet ? Loopback(1, kSubGateway) : "";
    connection.testMode = c.testMode;
    connection.escrowMode = c.escrowMode;
    connection.kind = c.escrowMode ? ConnectionKind::Escrow : ConnectionKind::Standard;

    if (!c.reached) {
      EXPECT_EQ(connection.Connect(), kConnectFailed);
      EXPECT_EQ(connection.lastError, c.lastError);
      EXPECT_FALSE(connection.IsOpen());
      continue;
    }
    ASSERT_EQ(connection.Connect(), 1);
    EXPECT_EQ(connection.PeerAddress(), Loopback(1, c.reached));
    ASSERT_EQ(connection.SendFrame("hello"), 1);
    std::string reply;
    ASSERT_EQ(connection.ReceiveFrame(reply), 1);
    EXPECT_EQ(reply, Loopback(1, c.reached));  // the gateway that answered names itself
    for (const auto& gateway : gateways) {
      const std::vector<testgw::Request> requests = gateway->Requests();
      if (gateway->Address() != Loopback(1, c.reached)) {
        EXPECT_TRUE(requests.empty()) << gateway->Address();
      } else {
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].port, c.escrowMode ? 36000 : 9102);
      }
    }
  }
}

TEST_F(ConnectionTest, FramesEveryKindButOcbQueryAndEscrow) {
  const std::string address = Loopback(2, 1);
  TestGateway gateway(address, [](const testgw::Request&) { return Reply("ok"); });
  const std::string framed = Prefix(5) + "hello";
  const std::string bytes = std::string("\0\0\0\5", 4) + "hello";
  ASSERT_EQ(framed, bytes);
  struct Case {
    ConnectionKind kind;
    std::string wire;
  };
  const Case cases[] = {
      {ConnectionKind::Standard, bytes}, {ConnectionKind::Confirm, bytes},
      {ConnectionKind::NetCancel, bytes}, {ConnectionKind::Billing, bytes},
      {ConnectionKind::OcbQuery, "hello"}, {ConnectionKind::Escrow, "hello"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.kind));
    GatewayConnection connection = ConnectionTo(address, c.kind);
    ASSERT_EQ(connection.Connect(), 1);
    ASSERT_EQ(connection.SendFrame("hello"), 1);
    std::string reply;
    ASSERT_EQ(connection.ReceiveFrame(reply), 1);
    EXPECT_EQ(reply, "ok");
    const testgw::Request request = gateway.Requests().back();
    EXPECT_EQ(request.port, PortOf(c.kind));
    EXPECT_EQ(request.wire, c.wire);
    EXPECT_EQ(request.body, "hello");
  }
}

TEST_F(ConnectionTest, RefusedEverywhereReports10061) {
  GatewayConnection connection = ConnectionTo(Loopback(3, 1), ConnectionKind::Standard);
  connection.subPgAddress = Loopback(3, 1);
  EXPECT_EQ(connection.Connect(), kConnectFailed);
  EXPECT_EQ(connection.lastError, net::WSAECONNREFUSED);
  EXPECT_EQ(connection.lastError, 10061);
}

TEST(ConnectionWithoutStartup, CannotCreateASocket) {
  ASSERT_EQ(net::StartupCount(), 0);
  GatewayConnection connection = ConnectionTo(Loopback(4, 1), ConnectionKind::Standard);
  EXPECT_EQ(connection.Connect(), kSocketCreateFailed);
  EXPECT_EQ(connection.lastError, net::WSANOTINITIALISED);
}

TEST_F(ConnectionTest, ReceiveOutcomesFollowThePeer) {
  const std::string address = Loopback(5, 1);
  TestGateway gateway(address);
  const std::string twoMiB(2 << 20, 'x');
  const std::string oneMiB(1 << 20, 'x');
  struct Case {
    const char* what;
    ConnectionKind kind;
    Answer answer;
    int code;
    int lastError;
    std::string text;  // what the reply text holds afterwards
  };
  const Case cases[] = {
      {"a reply", ConnectionKind::Standard, Reply("ResultCode:00"), 1, 0, "ResultCode:00"},
      {"cut at a zero byte", ConnectionKind::Standard, Reply(std::string("ab\0cd", 5)), 1, 0,
       "ab"},
      {"a body of exactly 1 MiB", ConnectionKind::Standard, Reply(oneMiB), 1, 0, oneMiB},
      {"closed without a reply", ConnectionKind::Standard, Silence(), kPeerClosed, 0, "before"},
      {"closed after two prefix bytes", ConnectionKind::Standard, Raw(Prefix(5).substr(0, 2)),
       kPeerClosed, 0, "before"},
      {"closed inside the body", ConnectionKind::Standard, Raw(Prefix(5) + "ab"), kPeerClosed, 0,
       "before"},
      {"reset before a reply", ConnectionKind::Standard, Silence(Then::Reset),
       kReceivePrefixFailed, net::WSAECONNRESET, "before"},
      {"reset inside the prefix", ConnectionKind::Standard,
       Raw(Prefix(5).substr(0, 2), Then::Reset), kReceivePrefixFailed, net::WSAECONNRESET,
       "before"},
      {"reset inside the body", ConnectionKind::Standard, Raw(Prefix(100) + "abc", Then::Reset),
       kReceiveBodyFailed, net::WSAECONNRESET, "before"},
      {"a body over 1 MiB", ConnectionKind::Standard, Reply(twoMiB), kReceiveBodyFailed,
       net::WSAEMSGSIZE, "before"},
      {"announced length 0", ConnectionKind::Standard, Raw(Prefix(0)), kEmptyReply, 0, ""},
      {"a body starting with a zero byte", ConnectionKind::Standard,
       Reply(std::string("\0abc", 4)), kEmptyReply, 0, ""},
      {"late", ConnectionKind::Standard, testgw::Late(2000, Reply("late")), kWaitTimedOut, 0,
       "before"},
      {"unframed reply", ConnectionKind::OcbQuery, Reply("OCB:1"), 1, 0, "OCB:1"},
      {"unframed over 1024 bytes", ConnectionKind::OcbQuery, Reply(std::string(3000, 'y')), 1, 0,
       std::string(1024, 'y')},
      {"unframed cut at a zero byte", ConnectionKind::Escrow, Reply(std::string("ok\0no", 5)), 1,
       0, "ok"},
      {"unframed closed", ConnectionKind::Escrow, Silence(), kPeerClosed, 0, "before"},
      {"unframed reset", ConnectionKind::Escrow, Silence(Then::Reset), kReceiveBodyFailed,
       net::WSAECONNRESET, "before"},
      {"unframed empty", ConnectionKind::OcbQuery, Reply(std::string("\0x", 2)), kEmptyReply, 0,
       ""},
      {"unframed late", ConnectionKind::Escrow, testgw::Late(2000, Reply("late")), kWaitTimedOut,
       0, "before"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gateway.SetHandler([&c](const testgw::Request&) { return c.answer; });
    GatewayConnection connection = ConnectionTo(address, c.kind);
    ASSERT_EQ(connection.Connect(), 1);
    ASSERT_EQ(connection.SendFrame("request"), 1);
    connection.lastError = -1;
    std::string text = "before";
    EXPECT_EQ(connection.ReceiveFrame(text, 300), c.code);
    EXPECT_EQ(text, c.text);
    if (c.code != 1) {
      EXPECT_EQ(connection.lastError, c.lastError);
    }
  }
}

TEST_F(ConnectionTest, ALongAnnouncedBodyIsLeftUnread) {
  const std::string address = Loopback(6, 1);
  // The announced body never comes: what follows the prefix is a frame of its own.
  TestGateway gateway(address, [](const testgw::Request&) {
    return Raw(Prefix((1 << 20) + 1) + Prefix(4) + "next", Then::ReadNext);
  });
  GatewayConnection connection = ConnectionTo(address, ConnectionKind::Standard);
  ASSERT_EQ(connection.Connect(), 1);
  ASSERT_EQ(connection.SendFrame("request"), 1);
  std::string text;
  EXPECT_EQ(connection.ReceiveFrame(text, 1000), kReceiveBodyFailed);
  EXPECT_EQ(connection.lastError, net::WSAEMSGSIZE);
  EXPECT_EQ(connection.ReceiveFrame(text, 1000), 1);
  EXPECT_EQ(text, "next");
}

TEST_F(ConnectionTest, AcceptedAndClosedAtOnce) {
  const std::string address = Loopback(7, 1);
  TestGateway gateway(address);
  gateway.SetOnAccept(testgw::OnAccept::Close);
  GatewayConnection connection = ConnectionTo(address, ConnectionKind::Standard);
  ASSERT_EQ(connection.Connect(), 1);
  std::string text;
  EXPECT_EQ(connection.ReceiveFrame(text, 1000), kPeerClosed);
}

TEST_F(ConnectionTest, SendToAResetConnectionFailsAtThePrefix) {
  const std::string address = Loopback(8, 1);
  TestGateway gateway(address);
  gateway.SetOnAccept(testgw::OnAccept::Reset);
  GatewayConnection connection = ConnectionTo(address, ConnectionKind::Standard);
  ASSERT_EQ(connection.Connect(), 1);
  ASSERT_EQ(connection.WaitReadable(1000), 1);  // the reset has arrived
  EXPECT_EQ(connection.SendFrame("hello"), kSendPrefixFailed);
  EXPECT_EQ(connection.lastError, net::WSAECONNRESET);
}

TEST_F(ConnectionTest, ResetWhileTheBodyIsSentFailsTheBody) {
  const std::string address = Loopback(9, 1);
  // The gateway resets a request announcing more than it takes, after reading the prefix
  // only; the body is larger than the socket buffers, so its send is still going on.
  TestGateway gateway(address);
  GatewayConnection connection = ConnectionTo(address, ConnectionKind::Standard);
  ASSERT_EQ(connection.Connect(), 1);
  EXPECT_EQ(connection.SendFrame(std::string(32 << 20, 'x')), kSendBodyFailed);
  EXPECT_EQ(connection.lastError, net::WSAECONNRESET);
}

TEST_F(ConnectionTest, WaitOnAClosedConnectionFails) {
  const std::string address = Loopback(10, 1);
  TestGateway gateway(address);
  GatewayConnection connection = ConnectionTo(address, ConnectionKind::Standard);
  ASSERT_EQ(connection.Connect(), 1);
  connection.Close();
  EXPECT_EQ(connection.WaitReadable(100), kWaitFailed);
  EXPECT_EQ(connection.lastError, net::WSAENOTSOCK);
  std::string text;
  EXPECT_EQ(connection.ReceiveFrame(text, 100), kWaitFailed);
  EXPECT_EQ(connection.SendFrame("x"), kSendPrefixFailed);
  EXPECT_EQ(connection.lastError, net::WSAENOTSOCK);
}

// The production wait is the default argument; a reply later than a short wait but well
// inside 20 seconds arrives when the default is used.
TEST_F(ConnectionTest, ProductionReadWaitIsTwentySeconds) {
  EXPECT_EQ(kReadWaitMs, 20'000);
  const std::string address = Loopback(11, 1);
  TestGateway gateway(address,
                      [](const testgw::Request&) { return testgw::Late(1500, Reply("late")); });
  std::string text;
  GatewayConnection hurried = ConnectionTo(address, ConnectionKind::Standard);
  ASSERT_EQ(hurried.Connect(), 1);
  ASSERT_EQ(hurried.SendFrame("request"), 1);
  EXPECT_EQ(hurried.ReceiveFrame(text, 500), kWaitTimedOut);

  GatewayConnection patient = ConnectionTo(address, ConnectionKind::Standard);
  ASSERT_EQ(patient.Connect(), 1);
  ASSERT_EQ(patient.SendFrame("request"), 1);
  EXPECT_EQ(patient.ReceiveFrame(text), 1);
  EXPECT_EQ(text, "late");
}

TEST_F(ConnectionTest, ConnectAgainClosesTheEarlierSocket) {
  const std::string address = Loopback(12, 1);
  TestGateway gateway(address,
                      [](const testgw::Request&) { return Reply("ok", Then::ReadNext); });
  GatewayConnection connection = ConnectionTo(address, ConnectionKind::Standard);
  ASSERT_EQ(connection.Connect(), 1);
  ASSERT_EQ(connection.Connect(), 1);
  ASSERT_EQ(connection.SendFrame("request"), 1);
  std::string text;
  ASSERT_EQ(connection.ReceiveFrame(text), 1);
  EXPECT_EQ(gateway.Accepted(9102), 2);
  EXPECT_TRUE(gateway.AwaitOpenConnections(1, 5000));
}

TEST_F(ConnectionTest, DestroyClosesAConnectionLeftOpen) {
  const std::string address = Loopback(13, 1);
  TestGateway gateway(address,
                      [](const testgw::Request&) { return Reply("ok", Then::ReadNext); });
  const int handle = Transactions().Initialize();
  {
    const std::shared_ptr<Transaction> transaction = Transactions().Find(handle);
    GatewayConnection& connection = transaction->connection;
    connection.gateways = {address, address, address, address};
    ASSERT_EQ(connection.Connect(), 1);
    ASSERT_EQ(connection.SendFrame("request"), 1);
    std::string text;
    ASSERT_EQ(connection.ReceiveFrame(text), 1);  // now awaiting the acknowledgement
  }
  ASSERT_TRUE(gateway.AwaitOpenConnections(1, 5000));
  Transactions().Destroy(handle);
  EXPECT_TRUE(gateway.AwaitOpenConnections(0, 5000));
}

}  // namespace
}  // namespace orv
