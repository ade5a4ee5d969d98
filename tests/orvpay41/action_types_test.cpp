#include "action_types.h"

#include <gtest/gtest.h>

#include <vector>

namespace orv {
namespace {

TEST(TypeProfile, EveryTypeAndTheDefault) {
  // Flags in column order: TID, keys, field encryption, escrow encryption, signing | reply
  // signature, decryption, awaits Ack, net cancel after receive / after reply failure.
  struct Case {
    std::string_view type;
    std::string_view before;
    ConnectionKind kind;
    std::string_view after;
  };
  using K = ConnectionKind;
  const Case cases[] = {
      {"securepay", "YY--Y", K::Standard, "YYYYY"},
      {"SecurePay", "YY--Y", K::Standard, "YYYYY"},
      {"secure_pay", "YY--Y", K::Standard, "YYYYY"},
      {"formpay", "YYY-Y", K::Standard, "YYYYY"},
      {"ocbsave", "YY--Y", K::Standard, "YYYYY"},
      {"receipt", "YYY-Y", K::Standard, "YYY-Y"},
      {"auth", "YY--Y", K::Standard, "YY--Y"},
      {"formauth", "YYY-Y", K::Standard, "YY-YY"},
      {"auth_bill", "YY--Y", K::Billing, "YY--Y"},
      {"formauth_bill", "YYY-Y", K::Billing, "YY--Y"},
      {"reqrealbill", "YYY-Y", K::Billing, "YY-YY"},
      {"repay", "YYY-Y", K::Standard, "YY---"},
      {"cancel", "-Y--Y", K::Standard, "-----"},
      {"capture", "-Y--Y", K::Standard, "-----"},
      {"confirm", "-Y--Y", K::Confirm, "-----"},
      {"ocbquery", "-----", K::OcbQuery, "-----"},
      {"ESCROW", "---Y-", K::Escrow, "-----"},
      {"refund", "-Y--Y", K::Standard, "Y--YY"},
      {"", "-Y--Y", K::Standard, "Y--YY"},
  };
  for (const Case& c : cases) {
    const TypeProfile& p = ProfileOf(c.type);
    const auto flags = [](std::initializer_list<bool> values) {
      std::string text;
      for (const bool v : values) text += v ? 'Y' : '-';
      return text;
    };
    EXPECT_EQ(flags({p.makesTid, p.loadsKeys, p.encryptsFields, p.encryptsEscrow, p.signsRequest}),
              c.before)
        << c.type;
    EXPECT_EQ(p.connectionKind, c.kind) << c.type;
    EXPECT_EQ(flags({p.checksReplySignature, p.decryptsReply, p.awaitsAck,
                     p.netCancelAfterReceiveFailure, p.netCancelAfterReplyFailure}),
              c.after)
        << c.type;
  }
}

TEST(TypeLabel, LabelsByType) {
  EXPECT_EQ(TypeLabel("FormPay"), "지불");
  EXPECT_EQ(TypeLabel("receipt"), "현금영수증발행");
  EXPECT_EQ(TypeLabel("formauth_bill"), "");
  EXPECT_EQ(TypeLabel("refund"), std::nullopt);
}

// Checking a type walks its members in order: with every member empty the first one's code
// comes back; setting it brings the next one's code, and so on until the check passes.
struct Step {
  std::string_view name;
  std::string_view value;
  int code;
};
struct Walk {
  std::string_view type;
  std::vector<std::pair<std::string_view, std::string_view>> preset;
  std::vector<Step> steps;
};

void ExpectWalk(const Walk& walk) {
  SCOPED_TRACE(std::string(walk.type) + " " +
               (walk.preset.empty() ? "" : std::string(walk.preset.front().second)));
  TransactionFields fields;
  fields.SetNamedField("type", std::string(walk.type));
  for (const auto& [name, value] : walk.preset) fields.SetNamedField(name, std::string(value));
  for (const Step& step : walk.steps) {
    EXPECT_EQ(CheckRequiredFields(fields), step.code) << "before " << step.name;
    fields.SetNamedField(step.name, std::string(step.value));
  }
  EXPECT_EQ(CheckRequiredFields(fields), 1);
}

const std::vector<Step> kMerchant = {
    {"admin", "pw", 9201}, {"mid", "m1", 9202}, {"pgid", "p1", 9203}};

std::vector<Step> Join(std::vector<Step> first, const std::vector<Step>& then) {
  first.insert(first.end(), then.begin(), then.end());
  return first;
}

TEST(CheckRequiredFields, ListTypesInOrder) {
  const std::vector<Step> authSteps = Join(
      kMerchant, {{"uip", "1", 9205}, {"buyername", "b", 9227}, {"sessionkey", "s", 9230},
                  {"encrypted", "e", 9212}, {"url", "u", 9206}, {"goodname", "g", 9226}});
  const std::vector<Step> formauthSteps = Join(
      kMerchant, {{"uip", "1", 9205}, {"buyername", "b", 9227}, {"cardnumber", "1", 9210},
                  {"cardexpy", "27", 9211}, {"cardexpm", "01", 9211}, {"authfield1", "1", 9216},
                  {"authfield2", "2", 9217}});
  const std::vector<Step> confirmSteps = Join(kMerchant, {{"tid", "t", 9204}});
  const Walk walks[] = {
      {"ocbquery", {}, {{"mid", "m1", 9202}, {"ocbnumber", "1", 9221}}},
      {"cancel", {}, Join(kMerchant, {{"tid", "t", 9204}, {"uip", "1", 9205}})},
      {"confirm", {}, confirmSteps},
      {"capture", {}, confirmSteps},
      {"auth", {}, authSteps},
      {"auth_bill", {}, authSteps},
      {"formauth", {}, formauthSteps},
      {"formauth_bill", {}, formauthSteps},
      {"SECUREPAY", {},
       Join(kMerchant, {{"uip", "1", 9205}, {"url", "u", 9206}, {"price", "100", 9207},
                        {"currency", "WON", 9224}, {"paymethod", "card", 9225},
                        {"goodname", "g", 9226}, {"buyername", "b", 9227},
                        {"buyertel", "t", 9228}, {"buyeremail", "e", 9229},
                        {"sessionkey", "s", 9230}, {"encrypted", "e", 9212}})},
      {"repay", {},
       Join(kMerchant, {{"uip", "1", 9205}, {"url", "u", 9206}, {"oldtid", "t", 9204},
                        {"confirm_price", "100", 9260}})},
      {"reqrealbill", {},
       Join(kMerchant, {{"uip", "1", 9205}, {"url", "u", 9206}, {"billkey", "k", 9240}})},
      {"ocbsave", {},
       Join(kMerchant, {{"uip", "1", 9205}, {"url", "u", 9206}, {"currency", "WON", 9224},
                        {"paymethod", "ocb", 9225}, {"goodname", "g", 9226},
                        {"buyername", "b", 9227}, {"sessionkey", "s", 9230},
                        {"encrypted", "e", 9212}, {"price", "100", 9207}})},
      {"receipt", {},
       Join(kMerchant, {{"uip", "1", 9205}, {"currency", "WON", 9224},
                        {"paymethod", "cash", 9225}, {"goodname", "g", 9226},
                        {"buyername", "b", 9227}, {"cr_price", "110", 9270},
                        {"sup_price", "100", 9271}, {"tax", "10", 9272},
                        {"srvc_price", "0", 9273}, {"reg_num", "1", 9274},
                        {"useopt", "1", 9275}})},
      {"secure_pay", {}, {}},
      {"escrow", {}, {}},
      {"refund", {}, {}},
  };
  for (const Walk& walk : walks) ExpectWalk(walk);
}

// The members every formpay needs before its payment method is looked at.
std::vector<Step> FormpaySteps(std::string_view paymethod) {
  return Join(kMerchant, {{"uip", "1", 9205}, {"url", "u", 9206}, {"currency", "WON", 9224},
                          {"paymethod", paymethod, 9225}, {"buyername", "b", 9227},
                          {"price", "100", 9207}, {"goodname", "g", 9226},
                          {"buyertel", "t", 9228}, {"buyeremail", "e", 9229}});
}

TEST(CheckRequiredFields, FormpayByPaymethod) {
  const Walk walks[] = {
      {"formpay", {},
       Join(FormpaySteps("card"),
            {{"cardnumber", "1", 9210}, {"cardexpy", "27", 9211}, {"cardexpm", "01", 9211},
             {"cardquota", "00", 9213}, {"quotainterest", "0", 9214},
             {"authentification", "00", 9215}, {"authfield1", "123456", 9216},
             {"authfield2", "12", 9217}})},
      {"formpay", {{"ocbnumber", "5"}},  // a card payment combined with OCB points
       Join(FormpaySteps("Card"),
            {{"cardnumber", "1", 9210}, {"cardexpy", "27", 9211}, {"cardexpm", "01", 9211},
             {"cardquota", "00", 9213}, {"quotainterest", "0", 9214},
             {"authentification", "01", 9215}, {"price1", "1", 9208}, {"price2", "2", 9209},
             {"ocbpasswd", "pw", 9222}})},
      {"formpay", {{"cmstype", "1"}},
       Join(FormpaySteps("cms"),
            {{"bankcode", "1", 9218}, {"bankaccount", "2", 9219}, {"regnumber", "3", 9220},
             {"cmsday", "1", 9251}, {"cmsdatefrom", "1", 9252}, {"cmsdateto", "1", 9253},
             {"price_org", "1", 9254}})},
      {"formpay", {{"cmstype", "3"}},
       Join(FormpaySteps("CMS"),
            {{"bankcode", "1", 9218}, {"bankaccount", "2", 9219}, {"regnumber", "3", 9220}})},
      {"formpay", {{"price1", "0"}},
       Join(FormpaySteps("ocbpoint"),
            {{"price2", "5", 9209}, {"ocbnumber", "1", 9221}, {"ocbpasswd", "pw", 9222}})},
      {"formpay", {{"price1", " 5"}},  // read as atoi reads it
       Join(FormpaySteps("OcbPoint"), {{"price2", "0", 9209}, {"ocbnumber", "1", 9221}})},
      {"formpay", {{"price1", "5"}},
       Join(FormpaySteps("ocbpoint"), {{"price2", "5", 9209}})},
      {"formpay", {},
       Join(FormpaySteps("orvcard"), {{"price1", "1", 9208}, {"price2", "2", 9209},
                                      {"cardnumber", "1", 9210}, {"passwd", "pw", 9223}})},
      {"formpay", {},
       Join(FormpaySteps("vbank"), {{"perno", "1", 9235}, {"void", "1", 9236},
                                    {"vcdbank", "1", 9210}, {"dtinput", "1", 9210},
                                    {"nminput", "1", 9210}})},
      {"formpay", {}, FormpaySteps("bank")},
  };
  for (const Walk& walk : walks) ExpectWalk(walk);
}

// A formpay by card whose members up to the card number are all set.
TransactionFields CardFormpay() {
  TransactionFields f;
  for (const auto& [name, value] :
       std::vector<std::pair<std::string_view, std::string_view>>{
           {"type", "formpay"}, {"admin", "pw"}, {"mid", "m1"}, {"pgid", "p1"}, {"uip", "1"},
           {"url", "u"}, {"currency", "WON"}, {"paymethod", "card"}, {"buyername", "b"},
           {"price", "100"}, {"goodname", "g"}, {"buyertel", "t"}, {"buyeremail", "e"},
           {"cardnumber", "4000"}})
    f.SetNamedField(name, std::string(value));
  return f;
}

TEST(CheckRequiredFields, SecureCardFillsTheExpiry) {
  struct Case {
    const char* what;
    std::string_view cardexpy, cardexpm, cardquota;
    int code;
    std::string_view cardexpyAfter, cardexpmAfter;
  };
  const Case cases[] = {
      {"no expiry: year 49, month stays empty", "", "", "", 1, "49", ""},
      {"no month: month 12", "27", "", "", 1, "27", "12"},
      {"full expiry: instalments needed", "27", "01", "", 9213, "27", "01"},
      {"full expiry and instalments", "27", "01", "00", 9214, "27", "01"},
  };
  for (const Case& c : cases) {
    TransactionFields f = CardFormpay();
    f.cavv = "cavv";
    f.cardexpy = c.cardexpy;
    f.cardexpm = c.cardexpm;
    f.cardquota = c.cardquota;
    EXPECT_EQ(CheckRequiredFields(f), c.code) << c.what;
    EXPECT_EQ(f.cardexpy, c.cardexpyAfter) << c.what;
    EXPECT_EQ(f.cardexpm, c.cardexpmAfter) << c.what;
  }

  TransactionFields noCard = CardFormpay();
  noCard.cavv = "cavv";
  noCard.cardnumber.clear();
  EXPECT_EQ(CheckRequiredFields(noCard), 9210);
  EXPECT_EQ(noCard.cardexpy, "");

  TransactionFields withOcb = CardFormpay();  // the OCB check follows the filled-in expiry
  withOcb.cavv = "cavv";
  withOcb.ocbnumber = "5";
  EXPECT_EQ(CheckRequiredFields(withOcb), 9208);
}

TEST(CheckRequiredFields, CardRules) {
  const auto card = [](std::string_view authentification, std::string_view authfield1) {
    TransactionFields f = CardFormpay();
    f.cardexpy = "27";
    f.cardexpm = "01";
    f.cardquota = "00";
    f.quotainterest = "0";
    f.authentification = authentification;
    f.authfield1 = authfield1;
    return f;
  };
  struct Case {
    const char* what;
    TransactionFields fields;
    int code;
  };
  Case cases[] = {
      {"a 10-byte authfield1 needs no authfield2", card("00", "1234567890"), 1},
      {"a 9-byte authfield1 needs authfield2", card("00", "123456789"), 9217},
      {"\"00\" is compared exactly", card("0", ""), 1},
      {"other authentication needs no authfield1", card("01", ""), 1},
  };
  for (Case& c : cases) EXPECT_EQ(CheckRequiredFields(c.fields), c.code) << c.what;

  // Card with OCB: the password only when both amounts are positive.
  struct Amounts {
    std::string_view price1, price2;
    int code;
  };
  const Amounts amounts[] = {{"1", "2", 9222}, {"0", "2", 1}, {"2", "0", 1}, {"x", "2", 1},
                             {"-1", "2", 1}};
  for (const Amounts& a : amounts) {
    TransactionFields f = card("01", "");
    f.ocbnumber = "5";
    f.price1 = a.price1;
    f.price2 = a.price2;
    EXPECT_EQ(CheckRequiredFields(f), a.code) << a.price1 << "/" << a.price2;
  }
}

TEST(CheckRequiredFields, WhatSpecialCasesLeaveOut) {
  TransactionFields cms;
  for (const auto& [name, value] : std::vector<std::pair<std::string_view, std::string_view>>{
           {"type", "formpay"}, {"admin", "pw"}, {"mid", "m1"}, {"pgid", "p1"}, {"uip", "1"},
           {"url", "u"}, {"currency", "WON"}, {"paymethod", "bank"}, {"buyername", "b"},
           {"buyertel", "t"}, {"buyeremail", "e"}, {"cmstype", "2"}})
    cms.SetNamedField(name, std::string(value));
  EXPECT_EQ(CheckRequiredFields(cms), 1) << "cmstype 2 needs neither price nor goodname";

  TransactionFields ocbpoint;
  for (const auto& [name, value] : std::vector<std::pair<std::string_view, std::string_view>>{
           {"type", "FORMPAY"}, {"admin", "pw"}, {"mid", "m1"}, {"pgid", "p1"}, {"uip", "1"},
           {"url", "u"}, {"currency", "WON"}, {"paymethod", "OCBPOINT"}, {"buyername", "b"},
           {"price", "100"}, {"goodname", "g"}, {"price1", "0"}, {"price2", "0"}})
    ocbpoint.SetNamedField(name, std::string(value));
  EXPECT_EQ(CheckRequiredFields(ocbpoint), 1) << "ocbpoint with price2 0 needs no contact";

  TransactionFields receipt;
  for (const auto& [name, value] : std::vector<std::pair<std::string_view, std::string_view>>{
           {"type", "receipt"}, {"admin", "pw"}, {"mid", "m1"}, {"pgid", "p1"}, {"uip", "1"},
           {"currency", "WON"}, {"paymethod", "cash"}, {"ocbnumber", "5"}})
    receipt.SetNamedField(name, std::string(value));
  EXPECT_EQ(CheckRequiredFields(receipt), 1) << "a receipt with OCB needs no amounts";
}

TEST(FieldCheckMessage, EveryCodeWithTheLabel) {
  struct Case {
    int code;
    std::string_view message;
  };
  const Case cases[] = {
      {9201, "[9201][지불실패|키패스워드 항목 누락]"},
      {9202, "[9202][지불실패|상점ID(MID) 항목 누락]"},
      {9203, "[9203][지불실패|PGID 항목 누락]"},
      {9204, "[9204][지불실패|거래번호(TID) 항목 누락]"},
      {9205, "[9205][지불실패|구매자 IP(UIP) 항목 누락]"},
      {9206, "[9206][지불실패|상점 URL(URL) 항목 누락]"},
      {9207, "[9207][지불실패|금액(price) 항목 누락]"},
      {9208, "[9208][지불실패|복합결제시에 금액1(price1) 항목 누락]"},
      {9209, "[9209][지불실패|복합결제시에 금액2(price2) 항목 누락]"},
      {9210, "[9210][지불실패|신용카드번호(cardnumber) 항목 누락]"},
      {9211, "[9211][지불실패|신용카드 유효기간(cardexpm,cardexpy) 항목 누락]"},
      {9212, "[9212][지불실패|ENCRYPTED필드 항목 누락]"},
      {9213, "[9213][지불실패|신용카드 할부기간(cardquota) 항목 누락]"},
      {9214, "[9214][지불실패|신용카드 무이자(quotainterest) 항목 누락]"},
      {9215, "[9215][지불실패|신용카드 인증설정(authentification) 항목 누락]"},
      {9216, "[9216][지불실패|신용카드 인증관련 주민등록번호(authfield1)  항목 누락]"},
      {9217, "[9217][지불실패|신용카드 인증관련 카드비밀번호(authfield2)  항목 누락]"},
      {9218, "[9218][지불실패|은행CODE(bankcode) 항목 누락]"},
      {9219, "[9219][지불실패|은행계좌번호(bankaccount) 항목 누락]"},
      {9220, "[9220][지불실패|주민등록번호(regnumber) 항목 누락]"},
      {9221, "[9221][지불실패|OK CASH BAG 카드번호(ocbcardnum) 항목 누락]"},
      {9222, "[9222][지불실패|OK CASH BAG 비밀번호(ocbpasswd) 항목 누락]"},
      {9223, "[9223][지불실패|네티머니 비밀번호(passwd) 항목 누락]"},
      {9224, "[9224][지불실패|통화(currency) 항목 누락]"},
      {9225, "[9225][지불실패|지불방법(paymethod) 항목 누락]"},
      {9226, "[9226][지불실패|상품명(goodname) 항목 누락]"},
      {9227, "[9227][지불실패|구매자명(buyername) 항목 누락]"},
      {9228, "[9228][지불실패|구매자 전화번호(buyertel) 항목 누락]"},
      {9229, "[9229][지불실패|구매자 이메일(buyeremail) 항목 누락]"},
      {9230, "[9230][지불실패|SESSIONKEY필드 항목 누락]"},
      {9235, "[9235][지불실패|필수항목 누락]"},
      {9236, "[9236][지불실패|필수항목 누락]"},
      {9240, "[9240][지불실패|BILLKEY 항목 누락]"},
      {9251, "[9251][지불실패|CMS출금예정일(cmsday) 항목 누락]"},
      {9252, "[9252][지불실패|CMS출금시작월(cmsdatefrom) 항목 누락]"},
      {9253, "[9253][지불실패|CMS출금종료월(cmsdateto) 항목 누락]"},
      {9254, "[9254][지불실패|CMS총출금금액(price_org) 항목 누락]"},
      {9260, "[9260][지불실패|필수항목 누락]"},
      {9270, "[9270][지불실패|필수항목 누락]"},
      {9271, "[9271][지불실패|필수항목 누락]"},
      {9272, "[9272][지불실패|필수항목 누락]"},
      {9273, "[9273][지불실패|필수항목 누락]"},
      {9274, "[9274][지불실패|필수항목 누락]"},
      {9275, "[9275][지불실패|필수항목 누락]"},
      {9231, "[9231][지불실패|필수항목 누락]"},  // codes the table does not name
      {42, "[  42][지불실패|필수항목 누락]"},
  };
  for (const Case& c : cases) EXPECT_EQ(FieldCheckMessage(c.code, "지불"), c.message);
}

TEST(FieldCheckMessage, LabelOfTheTransactionsType) {
  struct Case {
    std::string_view type;
    std::string_view message;
  };
  const Case cases[] = {
      {"Cancel", "[9201][취소실패|키패스워드 항목 누락]"},
      {"repay", "[9201][재승인실패|키패스워드 항목 누락]"},
      {"formauth_bill", "[9201][실패|키패스워드 항목 누락]"},
  };
  for (const Case& c : cases) {
    TransactionFields f;
    f.SetNamedField("type", std::string(c.type));
    const int code = CheckRequiredFields(f);
    EXPECT_EQ(FieldCheckMessage(code, f.typeLabel), c.message) << c.type;
  }

  TransactionFields repay;
  for (const auto& [name, value] : std::vector<std::pair<std::string_view, std::string_view>>{
           {"type", "repay"}, {"admin", "pw"}, {"mid", "m1"}, {"pgid", "p1"}, {"uip", "1"},
           {"url", "u"}, {"tid", "t"}})
    repay.SetNamedField(name, std::string(value));
  EXPECT_EQ(FieldCheckMessage(CheckRequiredFields(repay), repay.typeLabel),
            "[9204][재승인실패|거래번호(TID) 항목 누락]");

  TransactionFields unknown;  // passes the check; a later failure message has no label
  unknown.SetNamedField("type", "refund");
  EXPECT_EQ(CheckRequiredFields(unknown), 1);
  EXPECT_EQ(FieldCheckMessage(9502, unknown.typeLabel), "[9502][실패|필수항목 누락]");
}

}  // namespace
}  // namespace orv
