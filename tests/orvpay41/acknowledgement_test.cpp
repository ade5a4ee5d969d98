// The acknowledgement and the network cancel against the payment gateway on loopback. Each
// test owns the gateway address 127.97.<block>.1.
#include "acknowledgement.h"

#include <gtest/gtest.h>

#include "payment_world.h"
#include "security.h"

namespace orv {
namespace {

using test::PaymentWorld;
using testgw::PriceOf;
using testgw::Scenario;
using testgw::Standing;
using Lines = std::vector<std::string>;

Lines From(const Lines& lines, const std::string& first) {
  const auto at = std::find(lines.begin(), lines.end(), first);
  return Lines(at, lines.end());
}

TEST(Acknowledgement, AFailedAcknowledgementWithdrawsAndCancels) {
  PaymentWorld world(21);
  struct Case {
    Scenario scenario;
    std::string message;
    Lines lines;  // from "ACK STARTING" up to the network cancel
  };
  const Case cases[] = {
      {Scenario::WrongEcho, "[9402][지불실패|ACK CHECKSUM FAIL]",
       {"INFO  ACK STARTING", "INFO  ACK SEND OK", "INFO  ACK RECV OK", "ERROR ACK CHECKSUM FAIL"}},
      {Scenario::NoEcho, "[9505][지불실패|ACK 수신 오류(ACK)]",
       {"INFO  ACK STARTING", "INFO  ACK SEND OK", "ERROR ACK RECV FAIL (RTV:9505 WSA:0)"}},
      {Scenario::ResetAfterReply, "[9503][지불실패|ACK 송신 오류]",
       {"INFO  ACK STARTING", "ERROR ACK SEND FAIL (RTV:9503 WSA:10054)"}},
  };
  for (const Case& c : cases) {
    const auto t = world.NewTransaction("securepay");
    world.SetPayment(*t, PriceOf(c.scenario));
    const int startups = net::StartupCount();
    StartAction(*t);
    ASSERT_EQ(t->fields.resultcode, "00");
    ASSERT_FALSE(t->fields.authcode.empty());
    if (c.scenario == Scenario::ResetAfterReply) {
      // The reset has arrived once the socket turns readable again after the reply.
      ASSERT_TRUE(world.server.AwaitOpenConnections(0, 5000));
      ASSERT_EQ(t->connection.WaitReadable(5000), 1);
    }

    EXPECT_EQ(RunAcknowledgement(*t), 0);
    const TransactionFields& f = t->fields;
    EXPECT_EQ(f.resultcode, "01");
    EXPECT_EQ(f.resultmsg, c.message);
    EXPECT_EQ(f.authcode, "");
    EXPECT_FALSE(t->connection.IsOpen());
    EXPECT_EQ(net::StartupCount(), startups);
    Lines expected = c.lines;
    expected.push_back("INFO  NET CANCEL OK(CANCELED)");
    expected.push_back("INFO  END securepay " + c.message + " \n\n\n");
    EXPECT_EQ(From(world.Log("securepay", t->handle), "INFO  ACK STARTING"), expected);
    const std::vector<testgw::Exchange> cancels = world.gateway.ExchangesOf("TXNetCancel");
    ASSERT_FALSE(cancels.empty());
    EXPECT_EQ(cancels.back().tid, f.tid);
    EXPECT_TRUE(cancels.back().signatureVerified);
    EXPECT_EQ(world.gateway.StandingOf(f.tid), Standing::Cancelled);
  }
}

TEST(Acknowledgement, ASecondAckTouchesNothing) {
  PaymentWorld world(22);
  const auto t = world.NewTransaction("securepay");
  world.SetPayment(*t, "1000");
  StartAction(*t);
  ASSERT_EQ(RunAcknowledgement(*t), 1);
  const std::string authcode = t->fields.authcode;
  const size_t exchanges = world.gateway.Exchanges().size();
  const std::string log = world.LogText("securepay");

  EXPECT_EQ(RunAcknowledgement(*t), 0);
  EXPECT_EQ(t->fields.resultcode, "00");
  EXPECT_EQ(t->fields.authcode, authcode);
  EXPECT_EQ(world.gateway.Exchanges().size(), exchanges);
  EXPECT_EQ(world.LogText("securepay"), log);  // the run's log is closed
  EXPECT_EQ(world.gateway.StandingOf(t->fields.tid), Standing::Acknowledged);
}

TEST(Acknowledgement, OnlyAnApprovedRunOfAnAcknowledgedTypeIsAcknowledged) {
  PaymentWorld world(23);
  struct Case {
    const char* type;
    std::string price;
    const char* resultcode;
  };
  const Case cases[] = {
      {"securepay", PriceOf(Scenario::Decline), "05"},
      {"auth", "1000", "00"},  // approved, but not an acknowledged type
  };
  for (const Case& c : cases) {
    const auto t = world.NewTransaction(c.type);
    world.SetPayment(*t, c.price);
    StartAction(*t);
    ASSERT_EQ(t->fields.resultcode, c.resultcode);
    const size_t exchanges = world.gateway.Exchanges().size();
    EXPECT_EQ(RunAcknowledgement(*t), 0) << c.type;
    EXPECT_EQ(t->fields.resultcode, c.resultcode) << c.type;
    EXPECT_EQ(world.gateway.Exchanges().size(), exchanges) << c.type;
  }
  const auto never = world.NewTransaction("securepay");
  EXPECT_EQ(RunAcknowledgement(*never), 0);
  EXPECT_EQ(never->fields.resultcode, "");
}

TEST(Acknowledgement, ATransactionDestroyedWhileAwaitingAckLetsGo) {
  PaymentWorld world(24);
  auto t = world.NewTransaction("securepay");
  world.SetPayment(*t, "1000");
  const int startups = net::StartupCount();
  StartAction(*t);
  ASSERT_TRUE(t->awaitingAck);
  ASSERT_TRUE(world.server.AwaitOpenConnections(1, 5000));
  const std::string tid = t->fields.tid;
  t.reset();
  EXPECT_TRUE(world.server.AwaitOpenConnections(0, 5000));
  EXPECT_EQ(net::StartupCount(), startups);
  EXPECT_EQ(world.gateway.StandingOf(tid), Standing::Approved);  // the gateway decides
}

TEST(Acknowledgement, StartingAgainWhileAwaitingAckLetsTheFirstRunGo) {
  PaymentWorld world(25);
  const auto t = world.NewTransaction("securepay");
  world.SetPayment(*t, "1000");
  const int startups = net::StartupCount();
  StartAction(*t);
  ASSERT_TRUE(t->awaitingAck);
  t->fields.SetNamedField("price", "");
  StartAction(*t);  // fails its field check
  EXPECT_EQ(t->fields.resultcode, "01");
  EXPECT_FALSE(t->awaitingAck);
  EXPECT_TRUE(world.server.AwaitOpenConnections(0, 5000));
  EXPECT_EQ(net::StartupCount(), startups);
}

TEST(NetCancel, AnswersConnectionFailureAndUnknownTransactions) {
  PaymentWorld world(26);
  TransactionFields f = world.keys.Fields(world.mid(), test::kKeyPhrase);
  f.type = "securepay";
  f.tid = "a TID the gateway never approved";
  ASSERT_EQ(GetMerchantKey(f), 1);
  const net::Session session;
  EXPECT_EQ(SendNetCancel(f), 1);  // NO_SUCH_TRANSACTION
  const std::vector<testgw::Exchange> cancels = world.gateway.ExchangesOf("TXNetCancel");
  ASSERT_EQ(cancels.size(), 1u);
  EXPECT_TRUE(cancels[0].signatureVerified);
  EXPECT_EQ(cancels[0].resultCode, "01");
  world.server.StopListening();
  EXPECT_EQ(SendNetCancel(f), kNetCancelConnectFailed);
}

}  // namespace
}  // namespace orv
