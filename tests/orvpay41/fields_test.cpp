#include "fields.h"

#include <gtest/gtest.h>


namespace orv {
namespace {

using Member = std::string TransactionFields::*;
using F = TransactionFields;

// Rows of the field table that SetField writes: SetField name, GetResult name ("" when the
// member cannot be read by name) and the member.
struct Row {
  const char* set;
  const char* get;
  Member member;
};
const Row kRows[] = {
    {"pgid", "pgid", &F::pgid},
    {"admin", "", &F::admin},
    {"spgip", "subpgip", &F::spgip},
    {"mid", "mid", &F::mid},
    {"tid", "tid", &F::tid},
    {"oldtid", "", &F::oldtid},
    {"goodname", "goodname", &F::goodname},
    {"currency", "currency", &F::currency},
    {"price", "price", &F::price},
    {"buyername", "buyername", &F::buyername},
    {"buyertel", "buyertel", &F::buyertel},
    {"buyeremail", "buyeremail", &F::buyeremail},
    {"recvname", "", &F::recvname},
    {"recvtel", "", &F::recvtel},
    {"recvaddr", "", &F::recvaddr},
    {"recvpostnum", "", &F::recvpostnum},
    {"recvmsg", "", &F::recvmsg},
    {"cardcode", "cardcode", &F::cardcode},
    {"paymethod", "paymethod", &F::paymethod},
    {"merchantreserved1", "merchantreserved1", &F::merchantreserved1},
    {"merchantreserved2", "merchantreserved2", &F::merchantreserved2},
    {"merchantreserved3", "merchantreserved3", &F::merchantreserved3},
    {"uip", "uip", &F::uip},
    {"url", "url", &F::url},
    {"encrypted", "encrypted", &F::encrypted},
    {"sessionkey", "sessionkey", &F::sessionkey},
    {"uid", "uid", &F::uid},
    {"quotainterest", "quotainterest", &F::quotainterest},
    {"cardnumber", "cardnumber", &F::cardnumber},
    {"price1", "price1", &F::price1},
    {"price2", "price2", &F::price2},
    {"cardquota", "cardquota", &F::cardquota},
    {"bankcode", "bankcode", &F::bankcode},
    {"bankaccount", "bankaccount", &F::bankaccount},
    {"regnumber", "regnumber", &F::regnumber},
    {"cmsday", "cmsday", &F::cmsday},
    {"cmsdatefrom", "cmsdatefrom", &F::cmsdatefrom},
    {"cmsdateto", "cmsdateto", &F::cmsdateto},
    {"cmstype", "cmstype", &F::cmstype},
    {"price_org", "price_org", &F::price_org},
    {"ocbnumber", "ocbnumber", &F::ocbnumber},
    {"ocbpasswd", "ocbpasswd", &F::ocbpasswd},
    {"authentification", "authentification", &F::authentification},
    {"authfield1", "authfield1", &F::authfield1},
    {"authfield2", "authfield2", &F::authfield2},
    {"authfield3", "", &F::authfield3},
    {"passwd", "passwd", &F::passwd},
    {"cardexpy", "cardexpy", &F::cardexpy},
    {"cardexpm", "cardexpm", &F::cardexpm},
    {"ocbcardtype", "", &F::ocbcardtype},
    {"merchantreserved", "merchantreserved", &F::merchantreserved},
    {"msg", "msg", &F::msg},
    {"companynumber", "", &F::companynumber},
    {"billkey", "billkey", &F::billkey},
    {"cardpass", "cardpass", &F::cardpass},
    {"perno", "perno", &F::perno},
    {"void", "void", &F::void_},
    {"vacct", "vacct", &F::vacct},
    {"vcdbank", "vcdbank", &F::vcdbank},
    {"dtinput", "dtinput", &F::dtinput},
    {"nminput", "nminput", &F::nminput},
    {"hpptype", "", &F::hpptype},
    {"hppnumber", "", &F::hppnumber},
    {"hppregnumber", "", &F::hppregnumber},
    {"hppauthnumber", "", &F::hppauthnumber},
    {"hppcotype", "", &F::hppcotype},
    {"hppauthserial", "", &F::hppauthserial},
    {"hppcorp", "", &F::hppcorp},
    {"hppphoneid", "", &F::hppphoneid},
    {"hppoid", "", &F::hppoid},
    {"hppsid", "", &F::hppsid},
    {"pid", "", &F::pid},
    {"cavv", "", &F::cavv},
    {"xid", "", &F::xid},
    {"eci", "", &F::eci},
    {"mtid", "", &F::mtid},
    {"escrowtype", "", &F::escrowtype},
    {"escrowmsg", "", &F::escrowmsg},
    {"oid", "", &F::oid},
    {"parentemail", "parentemail", &F::parentemail},
    {"confirm_price", "", &F::confirm_price},
    {"cr_price", "", &F::cr_price},
    {"sup_price", "", &F::sup_price},
    {"tax", "", &F::tax},
    {"srvc_price", "", &F::srvc_price},
    {"reg_num", "", &F::reg_num},
    {"useopt", "", &F::useopt},
};

TEST(Fields, EverySetFieldNameStoresItsMemberAndGetResultReadsIt) {
  TransactionFields f;
  for (const Row& row : kRows) f.SetNamedField(row.set, std::string("v:") + row.set);
  for (const Row& row : kRows) {
    EXPECT_EQ(f.*row.member, std::string("v:") + row.set) << row.set;
    const std::string read = f.GetNamedResult(row.get[0] ? row.get : row.set);
    EXPECT_EQ(read, row.get[0] ? std::string("v:") + row.set : "") << row.set;
  }
}

// Members that only the reply fills: GetResult reads them by these names.
TEST(Fields, ResultOnlyNamesReadTheirMembers) {
  struct ResultRow {
    const char* name;
    Member member;
  };
  const ResultRow rows[] = {
      {"point", &F::point}, {"ocbpoint", &F::point}, {"moid", &F::moid},
      {"codegw", &F::codegw}, {"resultcode", &F::resultcode}, {"resultmsg", &F::resultmsg},
      {"cmsbankcode", &F::cmsbankcode}, {"cmsbankaccount", &F::cmsbankaccount},
      {"cmsserial", &F::cmsserial}, {"cmscmsno", &F::cmscmsno}, {"authcode", &F::authcode},
      {"payoption", &F::payoption}, {"authcertain", &F::authcertain},
      {"billingperiod", &F::billingperiod}, {"cardexpire", &F::cardexpire},
      {"language", &F::language}, {"type", &F::type},
      {"ocbsaveauthcode", &F::ocbsaveauthcode}, {"ocbuseauthcode", &F::ocbuseauthcode},
      {"ocbauthdate", &F::ocbauthdate}, {"pgauthdate", &F::pgauthdate},
      {"pgauthtime", &F::pgauthtime}, {"pgcanceldate", &F::pgcanceldate},
      {"pgcanceltime", &F::pgcanceltime}, {"cardissuercode", &F::cardissuercode},
      {"eventflag", &F::eventflag}, {"cardkind", &F::cardkind}, {"nmvacct", &F::nmvacct},
      {"nohpp", &F::nohpp}, {"noars", &F::noars}, {"ocbcardnumber", &F::ocbcardnumber},
      {"cultureid", &F::cultureid}, {"directbankacc", &F::directbankacc},
      {"directbankcode", &F::directbankcode}, {"resultpcrpice", &F::resultpcrpice},
      {"resultsupplyprice", &F::resultsupplyprice}, {"resulttax", &F::resulttax},
      {"resultserviceprice", &F::resultserviceprice}, {"resultuseopt", &F::resultuseopt},
      {"resultcashnoappl", &F::resultcashnoappl}, {"rcash_rslt", &F::rcash_rslt},
      {"rcash_cancel_noappl", &F::rcash_cancel_noappl}, {"remain_price", &F::remain_price},
  };
  for (const ResultRow& row : rows) {
    TransactionFields f;
    f.*row.member = std::string("r:") + row.name;
    EXPECT_EQ(f.GetNamedResult(row.name), std::string("r:") + row.name) << row.name;
  }
}

TEST(Fields, NamesAreCaseInsensitiveAndUnknownNamesIgnored) {
  TransactionFields f;
  f.SetNamedField("PRICE", "1000");
  EXPECT_EQ(f.GetNamedResult("Price"), "1000");
  f.SetNamedField("language", "x");
  f.SetNamedField("nosuchname", "x");
  EXPECT_EQ(f.GetNamedResult("language"), "");
  EXPECT_EQ(f.GetNamedResult("nosuchname"), "");
}

TEST(Fields, ByteLimitsCutBytesThenLineBreaksBecomeBlanks) {
  struct Case {
    const char* name;
    Member member;
    size_t limit;
  };
  const Case cases[] = {
      {"goodname", &F::goodname, 80},     {"buyername", &F::buyername, 30},
      {"buyertel", &F::buyertel, 30},     {"buyeremail", &F::buyeremail, 60},
      {"recvname", &F::recvname, 30},     {"recvtel", &F::recvtel, 30},
      {"recvaddr", &F::recvaddr, 100},    {"recvmsg", &F::recvmsg, 100},
      {"msg", &F::msg, 100},              {"merchantreserved", &F::merchantreserved, 512},
      {"merchantreserved1", &F::merchantreserved1, 512},
      {"merchantreserved2", &F::merchantreserved2, 512},
      {"merchantreserved3", &F::merchantreserved3, 512},
      {"mid", &F::mid, 5000},  // no limit
  };
  for (const Case& c : cases) {
    TransactionFields f;
    f.SetNamedField(c.name, std::string(c.limit, 'x'));
    EXPECT_EQ((f.*c.member).size(), c.limit) << c.name;
    f.SetNamedField(c.name, std::string(c.limit + 1, 'y'));
    EXPECT_EQ(f.*c.member, c.name == std::string("mid") ? std::string(c.limit + 1, 'y')
                                                        : std::string(c.limit, 'y'))
        << c.name;
  }
  TransactionFields f;
  f.SetNamedField("buyername", std::string(31, 'b'));
  EXPECT_EQ(f.buyername, std::string(30, 'b'));
  f.SetNamedField("buyername", std::string(30, 'c'));
  EXPECT_EQ(f.buyername, std::string(30, 'c'));

  // The cut counts bytes and may split a double-byte character.
  const std::string korean = "가나다라마바사아자차카타파하가나";  // 32 bytes of code page 949
  f.SetNamedField("buyername", korean);
  EXPECT_EQ(f.buyername, korean.substr(0, 30));
  f.SetNamedField("buyername", korean.substr(0, 31));
  EXPECT_EQ(f.buyername, korean.substr(0, 30));

  f.SetNamedField("recvaddr", "a\r\nb");
  EXPECT_EQ(f.recvaddr, "a b");
  f.SetNamedField("recvaddr", "a\rb");
  EXPECT_EQ(f.recvaddr, "ab");
  f.SetNamedField("buyername", "a\r\nb");  // not a +LB name
  EXPECT_EQ(f.buyername, "a\r\nb");

  // 600 bytes: 512 kept, then the 40 line breaks in them become blanks (512 - 40 bytes).
  std::string reserved;
  for (int i = 0; i < 100; ++i) reserved += "abcd\r\n";
  f.SetNamedField("merchantreserved", reserved);
  std::string expected;
  for (int i = 0; i < 85; ++i) expected += "abcd ";
  expected += "ab";
  EXPECT_EQ(f.merchantreserved, expected);
}

TEST(Fields, TestAndDebugFlagsCannotBeCleared) {
  TransactionFields f;
  f.SetNamedField("test", "yes");
  EXPECT_EQ(f.testMode, 0);
  f.SetNamedField("TEST", "TRUE");
  f.SetNamedField("test", "false");
  EXPECT_EQ(f.testMode, 1);
  f.SetNamedField("Debug", "tRuE");
  f.SetNamedField("debug", "");
  EXPECT_EQ(f.debugMode, 1);
  EXPECT_EQ(f.GetNamedResult("test"), "");
}

TEST(Fields, TypeSetsTheKoreanLabelAndUnknownTypesKeepIt) {
  TransactionFields f;
  f.SetNamedField("type", "SecurePay");
  EXPECT_EQ(f.typeLabel, "지불");
  f.SetNamedField("type", "nosuchtype");
  EXPECT_EQ(f.type, "nosuchtype");
  EXPECT_EQ(f.typeLabel, "지불");
  f.SetNamedField("type", "formauth_bill");
  EXPECT_EQ(f.typeLabel, "");
  f.SetNamedField("type", "receipt");
  EXPECT_EQ(f.typeLabel, "현금영수증발행");
}

TEST(Fields, FixedNamesWinOverExtraResults) {
  TransactionFields f;
  f.extraResults.Add("ResultCode", "99");
  f.extraResults.Add("TID_org", "T0");
  f.extraResults.Add("tid_ORG", "T1");
  f.extraResults.Add("admin", "shown");
  EXPECT_EQ(f.GetNamedResult("resultcode"), "");  // the member is empty and still wins
  EXPECT_EQ(f.GetNamedResult("tid_org"), "T0");   // the first equal entry
  EXPECT_EQ(f.GetNamedResult("ADMIN"), "shown");
}

TEST(Fields, ExtraResultsKeepTheFirst200) {
  ExtraResults extra;
  for (int i = 0; i < 250; ++i) extra.Add("n" + std::to_string(i), "v");
  EXPECT_EQ(extra.Count(), 200);
  EXPECT_EQ(extra.Entries().back().name, "n199");
  EXPECT_FALSE(extra.Add("late", "v"));
}

}  // namespace
}  // namespace orv
