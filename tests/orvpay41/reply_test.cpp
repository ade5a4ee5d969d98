#include "reply.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace orv {
namespace {

TransactionFields Parsed(std::string_view type, std::string reply, std::string decrypted = "") {
  TransactionFields fields;
  fields.type = type;
  fields.replyMessage = std::move(reply);
  fields.decryptedReply = std::move(decrypted);
  ParseReply(fields);
  return fields;
}

using Entries = std::vector<std::pair<std::string, std::string>>;

Entries ExtraEntries(const TransactionFields& fields) {
  Entries entries;
  for (const ExtraResults::Entry& entry : fields.extraResults.Entries())
    entries.emplace_back(entry.name, entry.value);
  return entries;
}

TEST(ParseReply, TwoLineReplyWithoutSealedBlock) {
  TransactionFields fields;
  fields.type = "securepay";
  fields.price1 = "1000";
  fields.price2 = "500";
  fields.replyMessage = "ResultCode: 00\r\nResultMsg: OK\r\n";
  ParseReply(fields);
  EXPECT_EQ(fields.resultcode, "00");
  EXPECT_EQ(fields.resultmsg, "OK");
  EXPECT_EQ(fields.price1, "");  // absent items empty their fields
  EXPECT_EQ(fields.price2, "");
  EXPECT_EQ(ExtraEntries(fields), (Entries{{"ResultCode", "00"}, {"ResultMsg", "OK"}}));
  EXPECT_EQ(fields.GetNamedResult("ResultCode"), fields.GetNamedResult("resultcode"));
}

TEST(ParseReply, ResultFallsBackOnTheSealedBlock) {
  TransactionFields fields = Parsed("formpay", "ResultCode: \r\nResultMsg: \r\n",
                                    "ResultCode: 01\r\nResultMsg: declined\r\n");
  EXPECT_EQ(fields.resultcode, "01");
  EXPECT_EQ(fields.resultmsg, "declined");

  fields = Parsed("formpay", "ResultCode: 00\r\n", "ResultCode: 01\r\nResultMsg: m\r\n");
  EXPECT_EQ(fields.resultcode, "00");
  EXPECT_EQ(fields.resultmsg, "m");
}

TEST(ParseReply, FirstOccurrenceWins) {
  const TransactionFields fields =
      Parsed("cancel", "MTID: m1\r\nTID: t1\r\nResultCode: 00\r\nResultCode: 01\r\n");
  EXPECT_EQ(fields.tid, "m1");
  EXPECT_EQ(fields.resultcode, "00");
}

TEST(ParseReply, ConfirmCutsTheMessageAtItsFirstComma) {
  struct Case {
    std::string_view type, message, expected;
  };
  const Case cases[] = {
      {"confirm", "Approved,1234", "Approved"},
      {"CONFIRM", "a,b,c", "a"},
      {"confirm", ",1234", ",1234"},  // a leading comma stays
      {"confirm", "Approved", "Approved"},
      {"capture", "Approved,1234", "Approved,1234"},
  };
  for (const Case& c : cases) {
    const TransactionFields fields =
        Parsed(c.type, "ResultMsg: " + std::string(c.message) + "\r\n");
    EXPECT_EQ(fields.resultmsg, c.expected) << c.type << " " << c.message;
  }
}

TEST(ParseReply, ItemsOfTheReplyAndTheSealedBlock) {
  const TransactionFields fields = Parsed(
      "formpay",
      "TID: T1\r\nMOID: O1\r\nCodeGW: G1\r\nParentEmail: p@x\r\n",
      "CMSBankCode: 11\r\nCMSBankAccount: 12\r\nCMSSerial: 13\r\nCMSCMSNo: 14\r\n"
      "PayOption: OCBpay\r\nCardResultCode: 06\r\nCardResultQuota: 03\r\n"
      "CardResultNumber: 4111\r\nCardResultExpire: 2712\r\nPrice1: 100\r\nPrice2: 200\r\n"
      "CardAuthCode: 777\r\nMerchantReserved2: r2\r\nMerchantReserved3: r3\r\n"
      "EventFlag: E\r\n");
  const std::pair<std::string_view, std::string_view> expected[] = {
      {"tid", "T1"},          {"moid", "O1"},          {"codegw", "G1"},
      {"parentemail", "p@x"}, {"cmsbankcode", "11"},   {"cmsbankaccount", "12"},
      {"cmsserial", "13"},    {"cmscmsno", "14"},      {"payoption", "OCBpay"},
      {"cardcode", "06"},     {"cardquota", "03"},     {"cardnumber", "4111"},
      {"cardexpire", "2712"}, {"price1", "100"},       {"price2", "200"},
      {"authcode", "777"},    {"merchantreserved2", "r2"}, {"merchantreserved3", "r3"},
      {"eventflag", "E"},
  };
  for (const auto& [name, value] : expected) EXPECT_EQ(fields.GetNamedResult(name), value) << name;
}

TEST(ParseReply, CardAuthCodeErrorMeansNoApproval) {
  EXPECT_EQ(Parsed("securepay", "", "CardAuthCode: ERROR\r\n").authcode, "");
  EXPECT_EQ(Parsed("securepay", "", "CardAuthCode: ERRORS\r\n").authcode, "ERRORS");
  EXPECT_EQ(Parsed("securepay", "", "CardAuthCode: error\r\n").authcode, "error");
}

TEST(ParseReply, BracketedMerchantReservedItems) {
  const TransactionFields fields = Parsed(
      "securepay",
      "MerchantReserved: PayMethod[Card], CardAuthCode[12345678], Detailcode[0412], "
      "CardCode[01X], \r\n",
      "CardAuthCode: 999\r\nCardResultCode: 77\r\n");
  EXPECT_EQ(fields.paymethod, "Card");
  EXPECT_EQ(fields.authcode, "12345678");
  EXPECT_EQ(fields.cardissuercode, "04");
  EXPECT_EQ(fields.cardcode, "01");
}

TEST(ParseReply, ApprovalNumberFollowsThePayMethod) {
  struct Case {
    std::string_view paymethod, item, expected;
  };
  const Case cases[] = {
      {"Card", "CardAuthCode[c1], ", "c1"},
      {"VCard", "VCardAuthCode[v1], ", "v1"},
      {"NetiMoney", "AuthCode[n1], ", "n1"},
      {"card", "CardAuthCode[c1], ", "sealed"},  // exact comparison
      {"Bank", "AuthCode[n1], ", "sealed"},      // the sealed block's number stays
  };
  for (const Case& c : cases) {
    const TransactionFields fields = Parsed(
        "securepay",
        "MerchantReserved: PayMethod[" + std::string(c.paymethod) + "], " + std::string(c.item) +
            "\r\n",
        "CardAuthCode: sealed\r\n");
    EXPECT_EQ(fields.authcode, c.expected) << c.paymethod;
  }
}

TEST(ParseReply, ListedMerchantReservedItems) {
  TransactionFields fields;
  fields.type = "cancel";
  fields.paymethod = "card";
  fields.replyMessage =
      "MerchantReserved: PGcanceldate=20240101&PGcanceltime=235959&Rcash_cancel_noappl=77\r\n";
  ParseReply(fields);
  EXPECT_EQ(fields.pgcanceldate, "20240101");
  EXPECT_EQ(fields.pgcanceltime, "235959");
  EXPECT_EQ(fields.rcash_cancel_noappl, "77");
  EXPECT_EQ(fields.paymethod, "");  // present list, absent bracketed item

  fields.replyMessage = "MerchantReserved: \r\n";
  fields.paymethod = "card";
  ParseReply(fields);
  EXPECT_EQ(fields.paymethod, "card");  // an empty list assigns nothing
  EXPECT_EQ(fields.pgcanceldate, "20240101");
}

TEST(ParseReply, MerchantReserved1Items) {
  const std::string decrypted =
      "ResultCode: 00\r\n"
      "MerchantReserved1: Authentification=Y&Detailcode=0412&TID_org=T0&PR_remains=500"
      "&flg_partcancel=1&cnt_partcancel=2&RCR_Price=1000&Rcash_noappl=N1&remain_price=300\r\n";
  TransactionFields fields = Parsed("repay", "", decrypted);
  EXPECT_EQ(fields.authcertain, "Y");
  EXPECT_EQ(fields.cardissuercode, "0412");  // whole value here
  EXPECT_EQ(fields.tidOrg, "T0");
  EXPECT_EQ(fields.prRemains, "500");
  EXPECT_EQ(fields.flgPartcancel, "1");
  EXPECT_EQ(fields.cntPartcancel, "2");
  EXPECT_EQ(fields.remain_price, "300");
  EXPECT_EQ(fields.resultpcrpice, "");  // receipt only
  EXPECT_EQ(fields.GetNamedResult("TID_org"), "T0");

  fields = Parsed("receipt", "", decrypted);
  EXPECT_EQ(fields.resultpcrpice, "1000");
  EXPECT_EQ(fields.resultcashnoappl, "N1");
  EXPECT_EQ(fields.tidOrg, "");  // repay only
}

TEST(ParseReply, ExtraResultsInReplyOrder) {
  const TransactionFields fields =
      Parsed("receipt",
             "ResultCode: 00\r\nNoColonLine\r\nBare:x\r\nEmpty:\r\nKey: a:b\r\nlast: unended",
             "Sealed: s\nt\r\nMerchantReserved1: A=1&B=&C&D=2=3\r\n");
  EXPECT_EQ(ExtraEntries(fields), (Entries{
                                      {"ResultCode", "00"},
                                      {"NoColonLine", ""},
                                      {"Bare", ""},  // the character after the colon goes
                                      {"Empty", ""},
                                      {"Key", "a:b"},
                                      {"Sealed", "s\nt"},
                                      {"MerchantReserved1", "A=1&B=&C&D=2=3"},
                                      {"A", "1"},
                                      {"B", ""},
                                      {"C", ""},
                                      {"D", "2=3"},
                                  }));
}

TEST(ParseReply, ExtraResultsKeepTheFirst200) {
  std::string reply;
  for (int i = 0; i < 250; ++i) reply += "N" + std::to_string(i) + ": " + std::to_string(i) + "\r\n";
  const TransactionFields fields = Parsed("cancel", reply, "Sealed: s\r\n");
  ASSERT_EQ(fields.extraResults.Count(), 200);
  EXPECT_EQ(fields.extraResults.Entries().front().name, "N0");
  EXPECT_EQ(fields.extraResults.Entries().back().name, "N199");
  EXPECT_EQ(fields.GetNamedResult("n199"), "199");
  EXPECT_EQ(fields.GetNamedResult("n200"), "");
}

TEST(ParseReply, BillingRegistrationItems) {
  const std::string decrypted = "MerchantReserved3: BillKey=BK1&CardPass=12&CardKind=K\r\n";
  TransactionFields fields = Parsed("AUTH_BILL", "", decrypted);
  EXPECT_EQ(fields.billkey, "BK1");
  EXPECT_EQ(fields.cardpass, "12");
  EXPECT_EQ(fields.cardkind, "K");
  EXPECT_EQ(fields.merchantreserved3, "BillKey=BK1&CardPass=12&CardKind=K");

  fields = Parsed("auth", "", decrypted);
  EXPECT_EQ(fields.billkey, "");
}

TEST(ParseReply, OcbQueryForm) {
  struct Case {
    std::string_view reply, resultcode, point, resultmsg;
  };
  const Case cases[] = {
      {"00:abc:000150:msg", "00", "150", "msg"},
      {"00:abc:0:msg", "00", "0", "msg"},
      {"00:abc:-5x:a:b", "00", "-5x", "b"},
      {"00:abc", "00", "", "abc"},
      {"declined", "", "", "declined"},  // an earlier result does not survive
  };
  for (const Case& c : cases) {
    TransactionFields fields;
    fields.type = "OcbQuery";
    fields.resultcode = "00";
    fields.point = "99";
    fields.replyMessage = c.reply;
    ParseReply(fields);
    EXPECT_EQ(fields.resultcode, c.resultcode) << c.reply;
    EXPECT_EQ(fields.point, c.point) << c.reply;
    EXPECT_EQ(fields.resultmsg, c.resultmsg) << c.reply;
    EXPECT_EQ(fields.replyMessage, c.resultmsg) << c.reply;
  }
}

TEST(ParseReply, EscrowForm) {
  struct Case {
    std::string_view reply, resultcode, resultmsg;
  };
  const Case cases[] = {
      {"abcd0000|done", "0000", "done"},
      {"done", "4567", "done"},
      {"12|x|y", "12", "x|y"},
      {"|", "", ""},
  };
  for (const Case& c : cases) {
    const TransactionFields fields = Parsed("Escrow", std::string(c.reply));
    EXPECT_EQ(fields.resultcode, c.resultcode) << c.reply;
    EXPECT_EQ(fields.resultmsg, c.resultmsg) << c.reply;
  }
}

}  // namespace
}  // namespace orv
