#include "request.h"

#include <gtest/gtest.h>

#include <array>

namespace orv {
namespace {

// Every SetField name; Filled() gives each field the value "v_" + its name, so an expected
// line shows at a glance which field it carries.
constexpr std::array kSetFieldNames = {
    "pgid", "admin", "spgip", "mid", "goodname", "currency", "price", "confirm_price",
    "price1", "price2", "buyername", "buyertel", "buyeremail", "recvname", "recvtel",
    "recvaddr", "recvpostnum", "recvmsg", "cardcode", "quotainterest", "paymethod",
    "merchantreserved", "merchantreserved1", "merchantreserved2", "merchantreserved3",
    "encrypted", "sessionkey", "uid", "uip", "url", "cardnumber", "cardquota", "bankcode",
    "bankaccount", "regnumber", "cmsday", "cmsdatefrom", "cmsdateto", "cmstype", "price_org",
    "ocbnumber", "ocbpasswd", "authentification", "authfield1", "authfield2", "authfield3",
    "cardexpy", "cardexpm", "tid", "oldtid", "msg", "ocbcardtype", "passwd", "billkey",
    "cardpass", "perno", "void", "vacct", "vcdbank", "dtinput", "nminput", "hpptype",
    "hppnumber", "hppregnumber", "hppauthnumber", "hppcotype", "hppauthserial", "hppcorp",
    "hppphoneid", "hppoid", "hppsid", "pid", "oid", "cavv", "xid", "eci", "mtid", "escrowtype",
    "escrowmsg", "parentemail", "cr_price", "sup_price", "tax", "srvc_price", "reg_num",
    "useopt", "companynumber"};

TransactionFields Filled(std::string_view type) {
  TransactionFields fields;
  for (std::string_view name : kSetFieldNames) fields.SetNamedField(name, "v_" + std::string(name));
  fields.SetNamedField("type", std::string(type));
  return fields;
}

std::string Composed(TransactionFields& fields) {
  MakeRequestMessage(fields);
  return fields.requestMessage;
}

constexpr std::string_view kPlainHead =
    "Version: 4.1\r\n"
    "EncryptionAlgorithm: NO_ENCRYPTION\r\n"
    "SignAlgorithm: SIGN_SHA\r\n";

constexpr std::string_view kSealedHead =
    "Version: 4.1\r\n"
    "EncryptionAlgorithm: SEED_CBC\r\n"
    "SignAlgorithm: SIGN_SHA\r\n"
    "RsaKeyNum: 1\r\n"
    "MPGID: v_pgid\r\n";

const std::string kCancel = "TelmarCash: ReqCancel\r\n" + std::string(kPlainHead) +
                            "MID: v_mid\r\n"
                            "Msg: v_msg\r\n"
                            "TID: v_tid\r\n"
                            "UIP: v_uip\r\n"
                            "MerchantReserved: v_merchantreserved\r\n";

const std::string kConfirmBody =
    "MID: v_mid\r\n"
    "TID: v_tid\r\n"
    "MerchantReserved: v_merchantreserved\r\n";

const std::string kRepay = "TelmarCash: RePay\r\n" + std::string(kSealedHead) +
                           "MID: v_mid\r\n"
                           "TID: v_tid\r\n"
                           "UID: v_mid\r\n"
                           "UIP: v_uip\r\n"
                           "URL: v_url\r\n"
                           "GoodName: v_goodname\r\n"
                           "Price: v_price\r\n"
                           "Currency: v_currency\r\n"
                           "BuyerName: v_buyername\r\n"
                           "BuyerTel: v_buyertel\r\n"
                           "BuyerEmail: v_buyeremail\r\n"
                           "SessionKey: v_sessionkey\r\n"
                           "Encrypted: v_encrypted\r\n"
                           "MerchantReserved1: v_merchantreserved1\r\n"
                           "MerchantReserved2: v_merchantreserved2\r\n"
                           "MerchantReserved3: v_merchantreserved3\r\n";

const std::string kRealBill = "TelmarCash: ReqRealBill\r\n" + std::string(kSealedHead) +
                              "MID: v_mid\r\n"
                              "TID: v_tid\r\n"
                              "UID: v_mid\r\n"
                              "UIP: v_uip\r\n"
                              "URL: v_url\r\n"
                              "PayMethod: v_paymethod\r\n"
                              "GoodName: v_goodname\r\n"
                              "Price: v_price\r\n"
                              "Currency: v_currency\r\n"
                              "BuyerName: v_buyername\r\n"
                              "BuyerTel: v_buyertel\r\n"
                              "BuyerEmail: v_buyeremail\r\n"
                              "SessionKey: v_sessionkey\r\n"
                              "Encrypted: v_encrypted\r\n"
                              "MerchantReserved1: v_merchantreserved1\r\n"
                              "MerchantReserved2: v_merchantreserved2\r\n"
                              "MerchantReserved3: v_merchantreserved3\r\n";

const std::string kReceipt = "TelmarCash: PayIt\r\n" + std::string(kSealedHead) +
                             "Ack: 1\r\n"
                             "MID: v_mid\r\n"
                             "TID: v_tid\r\n"
                             "UID: v_mid\r\n"
                             "UIP: v_uip\r\n"
                             "URL: v_url\r\n"
                             "GoodName: v_goodname\r\n"
                             "Price: v_price\r\n"
                             "Currency: v_currency\r\n"
                             "BuyerName: v_buyername\r\n"
                             "BuyerTel: v_buyertel\r\n"
                             "BuyerEmail: v_buyeremail\r\n"
                             "PayMethod: v_paymethod\r\n"
                             "Language: \r\n"
                             "SessionKey: v_sessionkey\r\n"
                             "Encrypted: v_encrypted\r\n"
                             "MerchantReserved1: v_merchantreserved1\r\n"
                             "MerchantReserved2: v_merchantreserved2\r\n"
                             "CR_Price: v_cr_price\r\n"
                             "Sup_Price: v_sup_price\r\n"
                             "Tax: v_tax\r\n"
                             "Srvc_Price: v_srvc_price\r\n"
                             "reg_num: v_reg_num\r\n"
                             "UseOpt: v_useopt\r\n"
                             "CompanyNumber: v_companynumber\r\n";

// Up to MerchantReserved2; the tail follows.
const std::string kFormpayBody = "TelmarCash: PayIt\r\n" + std::string(kSealedHead) +
                                 "Ack: 1\r\n"
                                 "MID: v_mid\r\n"
                                 "TID: v_tid\r\n"
                                 "UID: v_mid\r\n"
                                 "UIP: v_uip\r\n"
                                 "URL: v_url\r\n"
                                 "GoodName: v_goodname\r\n"
                                 "Price: v_price\r\n"
                                 "Currency: v_currency\r\n"
                                 "BuyerName: v_buyername\r\n"
                                 "BuyerTel: v_buyertel\r\n"
                                 "BuyerEmail: v_buyeremail\r\n"
                                 "RecvName: v_recvname\r\n"
                                 "RecvTel: v_recvtel\r\n"
                                 "RecvMsg: v_recvmsg\r\n"
                                 "RecvAddr: v_recvaddr\r\n"
                                 "RecvPostNum: v_recvpostnum\r\n"
                                 "PayMethod: v_paymethod\r\n"
                                 "Language: \r\n"
                                 "SessionKey: v_sessionkey\r\n"
                                 "Encrypted: v_encrypted\r\n"
                                 "MerchantReserved1: v_merchantreserved1\r\n"
                                 "MerchantReserved2: v_merchantreserved2\r\n";

const std::string kFormpay = kFormpayBody +
                             "cmstype: v_cmstype\r\n"
                             "MerchantReserved3: PayMethod=v_paymethod&PayOption=&Price1=v_price1"
                             "&Price2=v_price2&OcbCardnum=v_ocbnumber&OcbPasswd=v_ocbpasswd"
                             "&OCBCardType=v_ocbcardtype\r\n";

const std::string kSecurepay = "TelmarCash: PayIt\r\n" + std::string(kSealedHead) +
                               "Ack: 1\r\n"
                               "MID: v_mid\r\n"
                               "TID: v_tid\r\n"
                               "UID: v_uid\r\n"
                               "UIP: v_uip\r\n"
                               "URL: v_url\r\n"
                               "CardCode: v_cardcode\r\n"
                               "GoodName: v_goodname\r\n"
                               "Price: v_price\r\n"
                               "Currency: v_currency\r\n"
                               "BuyerName: v_buyername\r\n"
                               "BuyerTel: v_buyertel\r\n"
                               "BuyerEmail: v_buyeremail\r\n"
                               "ParentEmail: v_parentemail\r\n"
                               "RecvName: v_recvname\r\n"
                               "RecvTel: v_recvtel\r\n"
                               "RecvMsg: v_recvmsg\r\n"
                               "RecvAddr: v_recvaddr\r\n"
                               "RecvPostNum: v_recvpostnum\r\n"
                               "PayMethod: v_paymethod\r\n"
                               "Language: \r\n"
                               "SessionKey: v_sessionkey\r\n"
                               "Encrypted: v_encrypted\r\n"
                               "MerchantReserved1: v_merchantreserved1\r\n"
                               "MerchantReserved2: v_merchantreserved2\r\n"
                               "MerchantReserved3: v_merchantreserved3\r\n";

const std::string kFormauth = "TelmarCash: PayIt\r\n" + std::string(kSealedHead) +
                              "MID: v_mid\r\n"
                              "TID: v_tid\r\n"
                              "UID: v_mid\r\n"
                              "UIP: v_uip\r\n"
                              "GoodName: v_goodname\r\n"
                              "Price: 1000\r\n"
                              "Currency: WON\r\n"
                              "BuyerName: v_buyername\r\n"
                              "PayMethod: Auth\r\n"
                              "Language: \r\n"
                              "SessionKey: v_sessionkey\r\n"
                              "Encrypted: v_encrypted\r\n"
                              "MerchantReserved1: v_merchantreserved1\r\n"
                              "MerchantReserved2: v_merchantreserved2\r\n"
                              "MerchantReserved3: v_merchantreserved3\r\n";

const std::string kAuth = "TelmarCash: PayIt\r\n" + std::string(kSealedHead) +
                          "MID: v_mid\r\n"
                          "TID: v_tid\r\n"
                          "UID: v_uid\r\n"
                          "URL: v_url\r\n"
                          "UIP: v_uip\r\n"
                          "CardCode: v_cardcode\r\n"
                          "GoodName: v_goodname\r\n"
                          "Price: 1000\r\n"
                          "Currency: WON\r\n"
                          "BuyerName: v_buyername\r\n"
                          "PayMethod: Auth\r\n"
                          "Language: \r\n"
                          "SessionKey: v_sessionkey\r\n"
                          "Encrypted: v_encrypted\r\n"
                          "MerchantReserved1: v_merchantreserved1\r\n"
                          "MerchantReserved2: v_merchantreserved2\r\n"
                          "MerchantReserved3: v_merchantreserved3\r\n";

TEST(MakeRequestMessage, EveryKindHasItsLinesInOrder) {
  struct Case {
    std::string_view type;
    std::string expected;
  };
  const Case cases[] = {
      {"cancel", kCancel},
      {"CANCEL", kCancel},
      {"confirm", "TelmarCash: ReqConfirm\r\n" + std::string(kPlainHead) + kConfirmBody},
      {"capture", "TelmarCash: ReqCapture\r\n" + std::string(kPlainHead) + kConfirmBody},
      {"repay", kRepay},
      {"reqrealbill", kRealBill},
      {"receipt", kReceipt},
      {"formpay", kFormpay},
      {"securepay", kSecurepay},
      {"secure_pay", kSecurepay},
      {"OcbSave", kSecurepay},
      {"formauth", kFormauth},
      {"formauth_bill", kFormauth},
      {"auth", kAuth},
      {"auth_bill", kAuth},
      {"ocbquery", "1000:v_mid:v_ocbnumber"},
      {"escrow", "0018PG4030Cv_encrypted"},  // with escrowtype "rr"
      {"", ""},
      {"inquiry", ""},
  };
  for (const Case& c : cases) {
    TransactionFields fields = Filled(c.type);
    if (c.type == "escrow") fields.escrowtype = "rr";
    EXPECT_EQ(Composed(fields), c.expected) << c.type;
  }
}

TEST(MakeRequestMessage, ChangesFieldsWhileComposing) {
  struct Case {
    std::string_view type;
    std::string uidBefore;
    std::string uidAfter;
  };
  const Case cases[] = {
      {"repay", "u1", "v_mid"},       {"reqrealbill", "u1", "v_mid"},
      {"receipt", "u1", "v_mid"},     {"formpay", "u1", "v_mid"},
      {"securepay", "", "DEFAULTUSR"}, {"secure_pay", "u1", "u1"},
      {"ocbsave", "", "DEFAULTUSR"},  {"auth", "", "DEFAULTUSR"},
      {"auth_bill", "u1", "u1"},      {"formauth", "", ""},
      {"cancel", "", ""},
  };
  for (const Case& c : cases) {
    TransactionFields fields = Filled(c.type);
    fields.uid = c.uidBefore;
    MakeRequestMessage(fields);
    EXPECT_EQ(fields.uid, c.uidAfter) << c.type;
  }
}

TEST(MakeRequestMessage, ForwardedSealedDataLosesItsCarriageReturns) {
  for (std::string_view type : {"securepay", "secure_pay", "ocbsave", "auth", "auth_bill"}) {
    TransactionFields fields = Filled(type);
    fields.sessionkey = "QUJD\r\nREVG\r\n";
    fields.encrypted = "R0hJ\r\n";
    fields.uid.clear();
    const std::string message = Composed(fields);
    EXPECT_NE(message.find("UID: DEFAULTUSR\r\n"), std::string::npos) << type;
    EXPECT_NE(message.find("\r\nSessionKey: QUJD\nREVG\n\r\nEncrypted: R0hJ\n\r\n"),
              std::string::npos)
        << type;
    EXPECT_EQ(fields.sessionkey, "QUJD\nREVG\n");
    EXPECT_EQ(fields.encrypted, "R0hJ\n");
  }
}

TEST(MakeRequestMessage, ValuesGoOutAsTheyStand) {
  TransactionFields fields;
  fields.SetNamedField("type", "cancel");
  fields.SetNamedField("mid", "M1");
  fields.SetNamedField("tid", "T1");
  fields.SetNamedField("merchantreserved", "상품");
  EXPECT_EQ(Composed(fields),
            "TelmarCash: ReqCancel\r\n"
            "Version: 4.1\r\n"
            "EncryptionAlgorithm: NO_ENCRYPTION\r\n"
            "SignAlgorithm: SIGN_SHA\r\n"
            "MID: M1\r\n"
            "Msg: \r\n"
            "TID: T1\r\n"
            "UIP: \r\n"
            "MerchantReserved: \xBB\xF3\xC7\xB0\r\n");  // CP949 bytes

  // A sealed block of the module's own keeps its Base64 line breaks: the line ends LF CR LF.
  fields = Filled("repay");
  fields.sessionkey = "QUJD\nREVG\n";
  fields.encrypted = "R0hJ\n";
  fields.goodname = "상품";
  const std::string message = Composed(fields);
  EXPECT_NE(message.find("\r\nGoodName: 상품\r\n"), std::string::npos);
  EXPECT_NE(message.find("\r\nSessionKey: QUJD\nREVG\n\r\nEncrypted: R0hJ\n\r\n"),
            std::string::npos);
}

TEST(MakeRequestMessage, ReplacesAnEarlierMessage) {
  TransactionFields fields = Filled("capture");
  fields.requestMessage = "old request\r\nTail: x\r\n";
  EXPECT_EQ(Composed(fields), "TelmarCash: ReqCapture\r\n" + std::string(kPlainHead) + kConfirmBody);
  fields.type = "unknown";
  EXPECT_EQ(Composed(fields), "");
}

TEST(MakeRequestMessage, FormpayTail) {
  struct Case {
    std::string cmstype, paymethod, price1, price2, ocbnumber;
    std::string tail;
  };
  const std::string kOwnReserved3 = "MerchantReserved3: v_merchantreserved3\r\n";
  auto ocb = [](std::string_view paymethod, std::string_view option, std::string_view price1,
                std::string_view price2) {
    return "MerchantReserved3: PayMethod=" + std::string(paymethod) + "&PayOption=" +
           std::string(option) + "&Price1=" + std::string(price1) + "&Price2=" +
           std::string(price2) + "&OcbCardnum=9430&OcbPasswd=v_ocbpasswd" +
           "&OCBCardType=v_ocbcardtype\r\n";
  };
  const Case cases[] = {
      {"1", "vbank", "", "", "",
       "cmsday: v_cmsday\r\n"
       "cmsdatefrom: v_cmsdatefrom\r\n"
       "cmsdateto: v_cmsdateto\r\n"
       "price_org: v_price_org\r\n"
       "cmstype: 1\r\n" +
           kOwnReserved3},
      {"2", "cms", "", "", "", "cmstype: 2\r\n" + kOwnReserved3},
      {"", "cms", "", "", "", kOwnReserved3},
      {"", "Card", "1000", "500", "9430", ocb("Card", "OCBpay", "1000", "500")},
      {"", "Card", "1000", "0", "9430", ocb("Card", "OCBplus", "1000", "0")},
      {"", "Card", " 12abc", "0", "9430", ocb("Card", "OCBplus", " 12abc", "0")},
      {"", "Card", "1000", "00", "9430", ocb("Card", "", "1000", "00")},
      {"", "Card", "0", "500", "9430", ocb("Card", "", "0", "500")},
      {"", "card", "1000", "500", "9430", ocb("card", "", "1000", "500")},
      {"", "OCBPoint", "0", "500", "9430", ocb("OCBPoint", "", "0", "500")},
      {"", "OCBPoint", "1000", "0", "9430", ocb("OCBPoint", "OCBplus", "1000", "0")},
      {"", "OCBPoint", "1000", "500", "9430", ocb("OCBPoint", "", "1000", "500")},
      {"", "orvcard", "1000", "500", "9430", ocb("orvcard", "", "1000", "500")},
      {"", "ORVcard", "1000", "500", "",
       "MerchantReserved3: PayMethod=ORVcard&Price1=1000&Price2=500\r\n"},
      {"2", "orvcard", "", "", "", "cmstype: 2\r\nMerchantReserved3: PayMethod=orvcard&Price1=&Price2=\r\n"},
  };
  for (const Case& c : cases) {
    TransactionFields fields = Filled("formpay");
    fields.cmstype = c.cmstype;
    fields.paymethod = c.paymethod;
    fields.price1 = c.price1;
    fields.price2 = c.price2;
    fields.ocbnumber = c.ocbnumber;
    const std::string message = Composed(fields);
    const std::string_view kBeforeTail = "MerchantReserved2: v_merchantreserved2\r\n";
    const size_t tail = message.find(kBeforeTail);
    ASSERT_NE(tail, std::string::npos);
    EXPECT_EQ(message.substr(tail + kBeforeTail.size()), c.tail)
        << c.paymethod << " " << c.price1 << " " << c.price2;
  }
}

TEST(MakeRequestMessage, OcbQuery) {
  TransactionFields fields;
  fields.type = "OCBQuery";
  fields.mid = "M1";
  fields.ocbnumber = "9430";
  fields.requestMessage = "stale";
  EXPECT_EQ(Composed(fields), "1000:M1:9430");
}

TEST(MakeRequestMessage, EscrowLengthAndCode) {
  // 44 bytes of escrow text give 60 Base64 characters and one LF.
  const std::string encrypted = std::string(60, 'A') + "\n";
  struct Case {
    std::string_view escrowtype, expected;
  };
  const Case cases[] = {
      {"dr", "0068PG4010C"}, {"du", "0068PG4020U"}, {"rr", "0068PG4030C"},
      {"ru", "0068PG4040U"}, {"DR", "error"},       {"", "error"},
  };
  for (const Case& c : cases) {
    TransactionFields fields;
    fields.type = "escrow";
    fields.escrowtype = c.escrowtype;
    fields.encrypted = encrypted;
    const std::string expected =
        c.expected == "error" ? std::string("error") : std::string(c.expected) + encrypted;
    EXPECT_EQ(Composed(fields), expected) << c.escrowtype;
  }
  TransactionFields fields;
  fields.type = "escrow";
  fields.escrowtype = "dr";
  EXPECT_EQ(Composed(fields), "0007PG4010C");
  fields.encrypted = std::string(9993, 'A');
  EXPECT_EQ(Composed(fields).substr(0, 12), "10000PG4010C");
}

TEST(MakePlainBlock, ByTypeThenByPayMethod) {
  const std::string kCard =
      "CardNumber: v_cardnumber\r\n"
      "CardExpire: v_cardexpyv_cardexpm\r\n"
      "CardQuota: v_cardquota\r\n"
      "CompanyNumber: v_companynumber\r\n"
      "QuotaInterest: v_quotainterest\r\n"
      "Authentification: v_authentification\r\n"
      "AuthField1: v_authfield1\r\n"
      "AuthField2: v_authfield2\r\n"
      "AuthField3: v_authfield3\r\n"
      "moid: v_oid\r\n"
      "CAVV: v_cavv\r\n"
      "XID: v_xid\r\n"
      "ECI: v_eci\r\n"
      "MTID: v_mtid\r\n"
      "Passwd: v_passwd\r\n";
  const std::string kCash =
      "CR_Price: v_cr_price\r\n"
      "Sup_Price: v_sup_price\r\n"
      "Tax: v_tax\r\n"
      "Srvc_Price: v_srvc_price\r\n"
      "reg_num: v_reg_num\r\n"
      "UseOpt: v_useopt\r\n"
      "CompanyNumber: v_companynumber\r\n";
  const std::string kFormauthBlock =
      "CardNumber: v_cardnumber\r\n"
      "CardExpire: v_cardexpyv_cardexpm\r\n"
      "CardQuota: 00\r\n"
      "QuotaInterest: 0\r\n"
      "Authentification: 00\r\n"
      "AuthField1: v_authfield1\r\n"
      "AuthField2: v_authfield2\r\n";
  const std::string kRepayBlock =
      "OldTID: v_oldtid\r\n"
      "Price: v_price\r\n"
      "confirm_price: v_confirm_price\r\n"
      "CardQuota: v_cardquota\r\n"
      "QuotaInterest: v_quotainterest\r\n";
  struct Case {
    std::string_view type, paymethod;
    std::string expected;
  };
  const Case cases[] = {
      {"repay", "card", kRepayBlock},
      {"RePay", "v_paymethod", kRepayBlock},
      {"reqrealbill", "card",
       "BillKey: v_billkey\r\n"
       "Price: v_price\r\n"
       "CardQuota: v_cardquota\r\n"
       "Authentification: 00\r\n"
       "QuotaInterest: v_quotainterest\r\n"
       "RegNumber: v_regnumber\r\n"
       "CardPass: v_cardpass\r\n"},
      {"formauth", "cash", kFormauthBlock},
      {"formauth_bill", "", kFormauthBlock},
      {"formpay", "card", kCard},
      {"formpay", "OrvCard", kCard},
      {"formpay", "cms",
       "BankCode: v_bankcode\r\n"
       "BankAccount: v_bankaccount\r\n"
       "CMSSerial: v_regnumber\r\n"
       "price: v_price\r\n"
       "price_org: v_price_org\r\n"
       "Authentification: v_authentification\r\n"
       "AuthField1: v_authfield1\r\n"
       "AuthField2: v_authfield2\r\n"
       "AuthField3: v_authfield3\r\n"
       "Passwd: v_passwd\r\n"},
      {"formpay", "VBank",
       "perno: v_perno\r\n"
       "void: v_void\r\n"
       "vcdbank: v_vcdbank\r\n"
       "dtinput: v_dtinput\r\n"
       "nminput: v_nminput\r\n"
       "Authentification: v_authentification\r\n"
       "AuthField1: v_authfield1\r\n"
       "AuthField2: v_authfield2\r\n"
       "AuthField3: v_authfield3\r\n"
       "Passwd: v_passwd\r\n"},
      {"formpay", "hpp",
       "htype: v_hpptype\r\n"
       "hnumber: v_hppnumber\r\n"
       "hregnumber: v_hppregnumber\r\n"
       "authnumber: v_hppauthnumber\r\n"
       "hcotype: v_hppcotype\r\n"
       "auth_serial: v_hppauthserial\r\n"
       "hcorp: v_hppcorp\r\n"
       "mtid: v_hppauthserial\r\n"
       "phoneid: v_hppphoneid\r\n"
       "hflgars: 0\r\n"
       "hoid: v_hppoid\r\n"
       "hsid: v_hppsid\r\n"},
      {"formpay", "OCBPoint",
       "PayMethod: OCBPoint\r\n"
       "PayOption: \r\n"
       "CompanyNumber: v_companynumber\r\n"
       "Price1: v_price1\r\n"
       "Price2: v_price2\r\n"
       "OcbCardnum: v_ocbnumber\r\n"
       "OcbPasswd: v_ocbpasswd\r\n"
       "OCBCardType: v_ocbcardtype\r\n"},
      {"receipt", "cash", kCash},
      {"formpay", "Cash", kCash},
      {"formpay", "bank", ""},
      {"receipt", "", ""},
  };
  for (const Case& c : cases) {
    TransactionFields fields = Filled(c.type);
    fields.paymethod = c.paymethod;
    EXPECT_EQ(MakePlainBlock(fields), c.expected) << c.type << " " << c.paymethod;
  }
}

TEST(MakeAckMessage, AckAndTid) {
  TransactionFields fields;
  fields.tid = "T1";
  EXPECT_EQ(MakeAckMessage(fields), "Ack:T1");
}

TEST(MakeNetCancelMessage, SignsItsLines) {
  TransactionFields fields = Filled("securepay");
  const std::string lines =
      "TelmarCash: TXNetCancel\r\n"
      "Version: 4.1\r\n"
      "EncryptionAlgorithm: NO_ENCRYPTION\r\n"
      "SignAlgorithm: SIGN_SHA\r\n"
      "MID: v_mid\r\n"
      "TID: v_tid\r\n"
      "Msg: Net Cancel\r\n";
  std::string signedText;
  const TextSigner sign = [&](std::string_view text, std::string& signature) {
    signedText = text;
    signature = "c2ln\nbmVk\n";
    return 1;
  };
  EXPECT_EQ(MakeNetCancelMessage(fields, sign), lines + "Tail: c2ln\nbmVk\n\r\n");
  EXPECT_EQ(signedText, lines);

  const TextSigner failing = [](std::string_view, std::string& signature) {
    signature = "partial";
    return 9120;
  };
  EXPECT_EQ(MakeNetCancelMessage(fields, failing), lines + "Tail: TAIL\r\n");
  EXPECT_EQ(MakeNetCancelMessage(fields, nullptr), lines + "Tail: TAIL\r\n");
  EXPECT_EQ(fields.signature, "");
  EXPECT_EQ(fields.requestMessage, "");
}

}  // namespace
}  // namespace orv
