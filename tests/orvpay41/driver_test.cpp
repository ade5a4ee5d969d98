// The transaction driver end to end: Transaction, StartAction and RunAcknowledgement against
// the payment gateway on loopback. Each test owns the gateway address 127.97.<block>.1.
#include "driver.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "acknowledgement.h"
#include "action_types.h"
#include "payment_world.h"
#include "redaction.h"

namespace orv {
namespace {

using test::PaymentWorld;
using testgw::PriceOf;
using testgw::Scenario;
using testgw::Standing;
using Lines = std::vector<std::string>;

// The last `count` lines of a log.
Lines Tail(const Lines& lines, size_t count) {
  return Lines(lines.end() - static_cast<std::ptrdiff_t>(std::min(count, lines.size())),
               lines.end());
}

bool Contains(const Lines& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string EndLine(const std::string& type, const std::string& message) {
  return "INFO  END " + type + " " + message + " \n\n\n";
}

TEST(Driver, SecurepayApprovedAndAcknowledged) {
  PaymentWorld world(1);
  const auto t = world.NewTransaction("securepay");
  world.SetPayment(*t, "1000");
  const int startups = net::StartupCount();

  StartAction(*t);
  const TransactionFields& f = t->fields;
  EXPECT_EQ(f.resultcode, "00");
  EXPECT_EQ(f.resultmsg, "Approved");
  ASSERT_EQ(f.tid.size(), 40u);
  EXPECT_EQ(f.tid.substr(0, 20), test::PgidFor(world.mid()) + world.mid());
  EXPECT_EQ(f.authcode.size(), 8u);
  EXPECT_EQ(f.cardnumber, "4111111111111111");
  EXPECT_EQ(f.cardexpire, "0312");
  EXPECT_EQ(f.pgauthdate.size(), 8u);
  EXPECT_TRUE(t->awaitingAck);
  EXPECT_TRUE(t->connection.IsOpen());
  EXPECT_EQ(net::StartupCount(), startups + 1);  // kept for the Ack
  const std::string tid = f.tid, authcode = f.authcode;

  EXPECT_EQ(RunAcknowledgement(*t), 1);
  EXPECT_EQ(f.resultcode, "00");
  EXPECT_EQ(f.resultmsg, "Approved");
  EXPECT_EQ(f.tid, tid);
  EXPECT_EQ(f.authcode, authcode);
  EXPECT_FALSE(t->connection.IsOpen());
  EXPECT_FALSE(t->awaitingAck);
  EXPECT_EQ(net::StartupCount(), startups);

  EXPECT_EQ(world.Log("securepay", t->handle), world.AcknowledgedPaymentLog(tid));

  // The gateway checked the merchant's signature, opened the card data and saw the Ack.
  const std::vector<testgw::Exchange> exchanges = world.gateway.Exchanges();
  ASSERT_EQ(exchanges.size(), 2u);
  EXPECT_EQ(exchanges[0].kind, "PayIt");
  EXPECT_EQ(exchanges[0].port, 9102);
  EXPECT_TRUE(exchanges[0].signatureVerified);
  EXPECT_EQ(exchanges[0].plainBlock, test::kCardBlock);
  EXPECT_EQ(exchanges[1].kind, "Ack");
  EXPECT_EQ(exchanges[1].connection, exchanges[0].connection);
  EXPECT_EQ(world.gateway.StandingOf(tid), Standing::Acknowledged);
}

TEST(Driver, DeclineEndsTheRun) {
  PaymentWorld world(2);
  const auto t = world.NewTransaction("securepay");
  world.SetPayment(*t, PriceOf(Scenario::Decline));
  const int startups = net::StartupCount();
  StartAction(*t);
  EXPECT_EQ(t->fields.resultcode, "05");
  EXPECT_EQ(t->fields.resultmsg, "Declined");
  EXPECT_EQ(t->fields.authcode, "");  // the sealed block's "ERROR"
  EXPECT_FALSE(t->connection.IsOpen());
  EXPECT_EQ(net::StartupCount(), startups);
  EXPECT_EQ(Tail(world.Log("securepay", t->handle), 3),
            (Lines{"INFO  DECRYPT OK", "INFO  PARSE OK", EndLine("securepay", "Declined")}));
}

TEST(Driver, FailuresBeforeTheRequestLeaves) {
  PaymentWorld world(3);
  const std::string unlocked = test::UniqueMerchantId("nopriv");
  world.keys.AddMerchant(unlocked, test::kKeyPhrase);
  std::filesystem::remove(world.moduleDirectory() + "key/" + unlocked + "/mpriv.pem");
  const std::string locked = test::UniqueMerchantId("locked");
  world.keys.AddMerchant(locked, "the right phrase");

  struct Case {
    const char* what;
    std::string type;
    std::function<void(TransactionFields&)> fault;
    std::string message;
    std::string error;
    std::string mid;  // the merchant whose log it is, when not the world's
  };
  const auto merchant = [](const std::string& mid) {
    return [mid](TransactionFields& f) {
      f.SetNamedField("mid", mid);
      f.SetNamedField("pgid", test::PgidFor(mid));
    };
  };
  const std::vector<Case> cases = {
      {"missing field", "securepay", [](TransactionFields& f) { f.price.clear(); },
       "[9207][지불실패|금액(price) 항목 누락]", "ERROR CHECK FIELD FAIL (9207)", ""},
      {"TID too short", "securepay", [](TransactionFields& f) { f.SetNamedField("pgid", "P"); },
       "[9401][지불실패|TID 생성 오류]", "ERROR MAKE TID FAIL", ""},
      {"missing key file", "securepay", merchant(unlocked),
       "[9301][지불실패|상점 개인키 로드 오류]",
       "ERROR GET " + unlocked + "'s PRIV KEY FAIL (9301)", unlocked},
      {"wrong key phrase", "securepay", merchant(locked), "[9109][지불실패|상점 개인키 로드 오류]",
       "ERROR GET " + locked + "'s PRIV KEY FAIL (9109)", locked},
      {"nothing to seal", "formpay",
       [](TransactionFields& f) { f.SetNamedField("paymethod", "gift"); },
       "[9116][지불실패|암호화 오류]", "ERROR ENCRYPT FAIL (9116)", ""},
  };
  const int startups = net::StartupCount();
  for (const Case& c : cases) {
    const auto t = world.NewTransaction(c.type);
    world.SetPayment(*t, "1000");
    c.fault(t->fields);
    StartAction(*t);
    EXPECT_EQ(t->fields.resultcode, "01") << c.what;
    EXPECT_EQ(t->fields.resultmsg, c.message) << c.what;
    EXPECT_EQ(Tail(world.Log(c.type, t->handle, c.mid), 2),
              (Lines{c.error, EndLine(c.type, c.message)}))
        << c.what;
    EXPECT_EQ(net::StartupCount(), startups) << c.what;
  }
  EXPECT_TRUE(world.gateway.Exchanges().empty());
}

TEST(Driver, RefusedConnectionIs9502) {
  PaymentWorld world(4);
  world.server.StopListening();
  struct Case {
    std::string type, message, error;
  };
  const Case cases[] = {
      {"securepay", "[9502][지불실패|소켓 연결 오류]",
       "ERROR CONNECT PG FAIL (RTV:9502 WSA:10061)"},
      // Only a billing registration names its port.
      {"auth_bill", "[9502][실시간빌링등록실패|소켓 연결 오류]",
       "ERROR CONNECT PG FAIL (RTV:9502 WSA:10061 port:9400 )"},
  };
  for (const Case& c : cases) {
    const auto t = world.NewTransaction(c.type);
    world.SetPayment(*t, "1000");
    t->fields.SetNamedField("spgip", world.address());  // the fourth attempt is refused too
    StartAction(*t);
    EXPECT_EQ(t->fields.resultcode, "01");
    EXPECT_EQ(t->fields.resultmsg, c.message);
    EXPECT_EQ(Tail(world.Log(c.type, t->handle), 3),
              (Lines{"INFO  PG 소켓 create 시작", c.error, EndLine(c.type, c.message)}));
  }
}

TEST(Driver, FailuresAfterSendingAreCancelled) {
  PaymentWorld world(5);
  struct Case {
    Scenario scenario;
    std::string message;
    Lines tail;  // after "RECV OK" or "SEND OK"; "<request>" and "<reply>" stand for dumps
  };
  const Case cases[] = {
      {Scenario::CloseWithoutReply, "[9505][지불실패|소켓 수신 오류]",
       {"INFO  SEND OK", "ERROR RECV FAIL (RTV:9505 WSA:0)", "<request>",
        "INFO  NET CANCEL OK(CANCELED)"}},
      {Scenario::BadSignature, "[9121][지불실패|서명 확인 오류]",
       {"INFO  RECV OK", "ERROR CHECK SIGN FAIL (9121)", "<request>", "<reply>",
        "INFO  NET CANCEL OK(CANCELED)"}},
      {Scenario::Undecryptable, "[9115][지불실패|복호화 오류]",
       {"INFO  RECV OK", "INFO  CHECK SIGN OK", "ERROR DECRYPT FAIL (9115)", "<request>",
        "<reply>", "INFO  NET CANCEL OK(CANCELED)"}},
  };
  for (const Case& c : cases) {
    const auto t = world.NewTransaction("securepay");
    world.SetPayment(*t, PriceOf(c.scenario));
    StartAction(*t);
    const TransactionFields& f = t->fields;
    EXPECT_EQ(f.resultcode, "01");
    EXPECT_EQ(f.resultmsg, c.message);
    EXPECT_FALSE(t->connection.IsOpen());
    // With the debug lines off, the messages exchanged still reach the log on this path.
    Lines expected;
    for (const std::string& line : c.tail) {
      if (line == "<request>")
        expected.push_back("DEBUG MSG_TO_PG:[" + RedactedMessage(f.requestMessage) + "]");
      else if (line == "<reply>")
        expected.push_back("DEBUG MSG_FROM_PG:[" + RedactedMessage(f.replyMessage) + "]");
      else
        expected.push_back(line);
    }
    expected.push_back(EndLine("securepay", c.message));
    EXPECT_EQ(Tail(world.Log("securepay", t->handle), expected.size()), expected);

    // The gateway had approved: the network cancel, signed, undid it.
    const std::vector<testgw::Exchange> cancels = world.gateway.ExchangesOf("TXNetCancel");
    ASSERT_FALSE(cancels.empty());
    EXPECT_EQ(cancels.back().tid, f.tid);
    EXPECT_EQ(cancels.back().port, 9102);
    EXPECT_TRUE(cancels.back().signatureVerified);
    EXPECT_EQ(world.gateway.StandingOf(f.tid), Standing::Cancelled);
  }
}

TEST(Driver, NetworkCancelAfterABillingApprovalGoesToTheBillingPort) {
  PaymentWorld world(6);
  const auto t = world.NewTransaction("reqrealbill");
  world.SetMerchant(*t);
  t->fields.SetNamedField("billkey", "BK00000001");
  t->fields.SetNamedField("price", PriceOf(Scenario::BadSignature));
  StartAction(*t);
  EXPECT_EQ(t->fields.resultmsg, "[9121][실시간빌링승인실패|서명 확인 오류]");
  const std::vector<testgw::Exchange> requests = world.gateway.ExchangesOf("ReqRealBill");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].port, 9400);
  EXPECT_TRUE(requests[0].plainBlock.starts_with("BillKey: BK00000001\r\n"));
  const std::vector<testgw::Exchange> cancels = world.gateway.ExchangesOf("TXNetCancel");
  ASSERT_EQ(cancels.size(), 1u);
  EXPECT_EQ(cancels[0].port, 9400);
  EXPECT_EQ(cancels[0].resultCode, "00");
}

TEST(Driver, ARepayWithABadReplySignatureIsNotCancelled) {
  PaymentWorld world(7);
  const auto t = world.NewTransaction("repay");
  world.SetMerchant(*t);
  t->fields.SetNamedField("oldtid", "an earlier TID");
  t->fields.SetNamedField("confirm_price", "500");
  t->fields.SetNamedField("price", PriceOf(Scenario::BadSignature));
  StartAction(*t);
  EXPECT_EQ(t->fields.resultmsg, "[9121][재승인실패|서명 확인 오류]");
  EXPECT_EQ(Tail(world.Log("repay", t->handle), 2)[0], "DEBUG MSG_FROM_PG:[" +
                                                           RedactedMessage(t->fields.replyMessage) +
                                                           "]");
  EXPECT_TRUE(world.gateway.ExchangesOf("TXNetCancel").empty());
  EXPECT_EQ(world.gateway.StandingOf(t->fields.tid), Standing::Approved);
}

TEST(Driver, AReceiptAwaitsItsAckWhileACancelEnds) {
  PaymentWorld world(8);
  const auto receipt = world.NewTransaction("receipt");
  world.SetMerchant(*receipt);
  for (const auto& [name, value] :
       {std::pair{"currency", "WON"}, {"paymethod", "cash"}, {"price", "1100"},
        {"goodname", "책"}, {"buyername", "홍길동"}, {"cr_price", "1100"}, {"sup_price", "1000"},
        {"tax", "100"}, {"srvc_price", "0"}, {"reg_num", "0100001234"}, {"useopt", "0"}})
    receipt->fields.SetNamedField(name, value);
  StartAction(*receipt);
  EXPECT_EQ(receipt->fields.resultcode, "00");
  EXPECT_EQ(receipt->fields.resultcashnoappl, receipt->fields.authcode);
  EXPECT_EQ(Tail(world.Log("receipt", receipt->handle), 1), Lines{"INFO  WAIT ACK INVOKING"});
  EXPECT_TRUE(receipt->connection.IsOpen());
  EXPECT_EQ(RunAcknowledgement(*receipt), 1);

  const auto cancel = world.NewTransaction("cancel");
  world.SetMerchant(*cancel);
  cancel->fields.SetNamedField("tid", receipt->fields.tid);
  StartAction(*cancel);
  EXPECT_EQ(cancel->fields.resultcode, "00");
  EXPECT_EQ(cancel->fields.resultmsg, "Cancelled");
  EXPECT_EQ(cancel->fields.pgcanceldate.size(), 8u);
  EXPECT_FALSE(cancel->connection.IsOpen());
  // A cancel neither checks nor opens the reply, and still says the signature is fine.
  EXPECT_EQ(Tail(world.Log("cancel", cancel->handle), 4),
            (Lines{"INFO  RECV OK", "INFO  CHECK SIGN OK", "INFO  PARSE OK",
                   EndLine("cancel", "Cancelled")}));
  EXPECT_EQ(world.gateway.StandingOf(receipt->fields.tid), Standing::Cancelled);
}

TEST(Driver, AnUnknownTypeTakesTheDefaultProfile) {
  PaymentWorld world(9);
  const auto t = world.NewTransaction("refund");
  world.SetMerchant(*t);
  t->fields.SetNamedField("tid", "the script's TID");
  StartAction(*t);
  // Signed and sent on the standard port with no message of its own; the reply's signature
  // is checked, nothing is opened, and nothing waits for an Ack.
  const std::vector<testgw::Exchange> exchanges = world.gateway.Exchanges();
  ASSERT_EQ(exchanges.size(), 1u);
  EXPECT_EQ(exchanges[0].port, 9102);
  EXPECT_TRUE(world.server.Requests()[0].body.starts_with("Tail: "));
  EXPECT_EQ(t->fields.resultcode, testgw::kRefused);
  EXPECT_EQ(world.Log("refund", t->handle),
            (Lines{"INFO  START refund (V4.1B4108D030730)",
                   "INFO  CHECK FIELD OK",
                   "INFO  GET PGPUB KEY OK",
                   "INFO  GET " + world.mid() + "'s PRIV KEY OK",
                   "INFO  MAKE MSG OK",
                   "INFO  SIGN OK",
                   "INFO  PG 소켓 연결 시작",
                   "INFO  PG 소켓 create 시작",
                   "INFO  PG 소켓 create 끝",
                   "INFO  CONNECT PG(" + world.address() + ") OK",
                   "INFO  메시지 송신 시작",
                   "INFO  SEND OK",
                   "INFO  RECV OK",
                   "INFO  CHECK SIGN OK",
                   "INFO  PARSE OK",
                   EndLine("refund", t->fields.resultmsg)}));
}

TEST(Driver, OcbQueriesAndEscrowNoticesTravelInTheirOneLineForms) {
  PaymentWorld world(11);
  const auto query = world.NewTransaction("ocbquery");
  query->fields.SetNamedField("mid", world.mid());
  query->fields.SetNamedField("ocbnumber", "9430123456789012");
  StartAction(*query);
  EXPECT_EQ(query->fields.resultcode, "00");
  EXPECT_EQ(query->fields.point, "150");
  EXPECT_EQ(query->fields.resultmsg, "OK");
  EXPECT_EQ(world.server.Requests().back().wire, "1000:" + world.mid() + ":9430123456789012");

  struct Case {
    const char* escrowType;
    const char* resultcode;
  };
  for (const Case& c : {Case{"dr", "0000"}, Case{"xx", "9999"}}) {
    const auto notice = world.NewTransaction("escrow");
    notice->fields.SetNamedField("mid", world.mid());
    notice->fields.SetNamedField("escrowtype", c.escrowType);
    notice->fields.SetNamedField("escrowmsg", "delivery registered for order 1");
    StartAction(*notice);
    EXPECT_EQ(notice->fields.resultcode, c.resultcode) << c.escrowType;
    EXPECT_EQ(world.server.Requests().back().port, 36000);
    EXPECT_EQ(world.Log("escrow", notice->handle),
              (Lines{"INFO  START escrow (V4.1B4108D030730)", "INFO  CHECK FIELD OK",
                     "INFO  SYMMETRIC ENCRYPT OK", "INFO  MAKE MSG OK", "INFO  PG 소켓 연결 시작",
                     "INFO  PG 소켓 create 시작", "INFO  PG 소켓 create 끝",
                     "INFO  CONNECT PG(" + world.address() + ") OK", "INFO  메시지 송신 시작",
                     "INFO  SEND OK", "INFO  RECV OK", "INFO  CHECK SIGN OK", "INFO  PARSE OK",
                     EndLine("escrow", notice->fields.resultmsg)}));
  }
  const std::vector<testgw::Exchange> notices = world.gateway.ExchangesOf("Escrow");
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_EQ(notices[0].resultCode, "0000");
  EXPECT_EQ(notices[1].resultCode, "9999");  // the module sent "error"
}

// A formpay by card with an OK Cashbag part carries every kind of secret: the key phrase, the
// card number, the card's authentication fields and password, the OCB password (sent in clear
// in MerchantReserved3).
void SetFormPayWithSecrets(const PaymentWorld& world, Transaction& t, const std::string& price) {
  world.SetPayment(t, price);
  for (const auto& [name, value] :
       {std::pair{"cardnumber", "4111111111111111"}, {"cardexpy", "03"}, {"cardexpm", "12"},
        {"cardquota", "00"}, {"quotainterest", "0"}, {"authentification", "00"},
        {"authfield1", "af1-secret"}, {"authfield2", "af2-secret"}, {"passwd", "pw-card"},
        {"ocbnumber", "9430123456789012"}, {"price1", "1000"}, {"price2", "500"},
        {"ocbpasswd", "pw-ocb"}})
    t.fields.SetNamedField(name, value);
}

TEST(Driver, SecretsNeverReachTheLog) {
  PaymentWorld world(10);
  const auto debugging = world.NewTransaction("formpay");
  SetFormPayWithSecrets(world, *debugging, "1000");
  debugging->fields.SetNamedField("debug", "true");
  StartAction(*debugging);
  EXPECT_EQ(RunAcknowledgement(*debugging), 1);
  const auto failing = world.NewTransaction("formpay");
  SetFormPayWithSecrets(world, *failing, PriceOf(Scenario::BadSignature));
  StartAction(*failing);
  EXPECT_EQ(failing->fields.resultmsg, "[9121][지불실패|서명 확인 오류]");

  // The wire carries them as they are.
  const std::string wire = world.server.Requests()[0].body;
  EXPECT_NE(wire.find("&OcbPasswd=pw-ocb&"), std::string::npos);
  EXPECT_NE(world.gateway.Exchanges()[0].plainBlock.find("AuthField1: af1-secret\r\n"),
            std::string::npos);

  const std::string log = world.LogText("formpay");
  for (const char* secret : {test::kKeyPhrase, "4111111111111111", "af1-secret", "af2-secret",
                             "pw-card", "pw-ocb"})
    EXPECT_EQ(log.find(secret), std::string::npos) << secret;
  const Lines lines = world.Log("formpay", debugging->handle);
  for (const char* line : {"DEBUG KEYPW:******", "DEBUG CARDNUMBER:4111111111******",
                           "DEBUG AUTHFIELD1:******", "DEBUG AUTHFIELD2:******",
                           "DEBUG OCBPASSWD:******", "DEBUG PASSWD:******",
                           "DEBUG OCBNUMBER:9430123456789012", "DEBUG PRICE:1000"})
    EXPECT_TRUE(Contains(lines, line)) << line;
  // Each message is dumped once per run: at Debug level, or on a failure path at DebugAlways
  // level when the debug lines are off.
  for (const int handle : {debugging->handle, failing->handle}) {
    int requests = 0;
    for (const std::string& line : world.Log("formpay", handle)) {
      if (!line.starts_with("DEBUG MSG_TO_PG:[")) continue;
      ++requests;
      EXPECT_NE(line.find("&OcbPasswd=******&"), std::string::npos);
    }
    EXPECT_EQ(requests, 1);
  }
  bool decryptedShown = false;
  for (const std::string& line : lines)
    if (line.starts_with("DEBUG DECRYPTED_MSG:[")) {
      decryptedShown = true;
      EXPECT_NE(line.find("CardResultNumber: 4111111111******\r\n"), std::string::npos);
    }
  EXPECT_TRUE(decryptedShown);
}

}  // namespace
}  // namespace orv
