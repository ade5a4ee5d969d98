#include "redaction.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

TEST(RedactedValue, SecretsCardNumbersAndItemLists) {
  struct Case {
    std::string_view name, value, shown;
  };
  const Case cases[] = {
      {"KEYPW", "key phrase", "******"},
      {"OCBPASSWD", "1234", "******"},
      {"OcbPasswd", "1234", "******"},
      {"PASSWD", "9876", "******"},
      {"AuthField1", "8001011234567", "******"},
      {"AUTHFIELD2", "12", "******"},
      {"CardPass", "12", "******"},
      {"CARDNUMBER", "4111111111111111", "4111111111******"},
      {"CardResultNumber", "4111111111111111", "4111111111******"},
      {"CardNumber", "41111", "41111******"},
      {"MERCHANTRESERVED3",
       "PayMethod=Card&PayOption=OCBpay&OcbCardnum=9430&OcbPasswd=1234&OCBCardType=1",
       "PayMethod=Card&PayOption=OCBpay&OcbCardnum=9430&OcbPasswd=******&OCBCardType=1"},
      {"MerchantReserved3", "BillKey=BK1&CardPass=12&CardKind=01",
       "BillKey=BK1&CardPass=******&CardKind=01"},
      {"MerchantReserved3", "free text & more=1", "free text & more=1"},
      // Nothing to hide in an empty value; the log then shows that it was empty.
      {"KEYPW", "", ""},
      {"MerchantReserved3", "Passwd=&x", "Passwd=&x"},
      // Everything else stays, sealed data and near-miss names included.
      {"AUTHFIELD3", "x", "x"},
      {"OcbCardnum", "9430", "9430"},
      {"SessionKey", "c2Vzc2lvbg==\n", "c2Vzc2lvbg==\n"},
      {"MerchantReserved1", "OcbPasswd=1234", "OcbPasswd=1234"},
      {"Passwd2", "x", "x"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(RedactedValue(c.name, c.value), c.shown) << c.name << " " << c.value;
}

TEST(RedactedMessage, MasksTheValuesOfSecretItemsOnly) {
  const std::string request =
      "TelmarCash: PayIt\r\n"
      "SessionKey: QUJD\nREVG\n\r\n"
      "Encrypted: R0hJ\n\r\n"
      "MerchantReserved2: Passwd=1\r\n"
      "MerchantReserved3: PayMethod=Card&OcbPasswd=4321&OCBCardType=1\r\n"
      "Tail: U0lH\n\r\n";
  EXPECT_EQ(RedactedMessage(request),
            "TelmarCash: PayIt\r\n"
            "SessionKey: QUJD\nREVG\n\r\n"
            "Encrypted: R0hJ\n\r\n"
            "MerchantReserved2: Passwd=1\r\n"
            "MerchantReserved3: PayMethod=Card&OcbPasswd=******&OCBCardType=1\r\n"
            "Tail: U0lH\n\r\n");

  const std::string decrypted =
      "ResultCode: 00\r\nCardResultNumber: 4111111111111111\r\nCardAuthCode: 12345678\r\n"
      "Passwd:9876\r\nCardPass: \r\nAuthField1:  8001011234567";
  EXPECT_EQ(RedactedMessage(decrypted),
            "ResultCode: 00\r\nCardResultNumber: 4111111111******\r\nCardAuthCode: 12345678\r\n"
            "Passwd:******\r\nCardPass: \r\nAuthField1:  ******");
}

TEST(RedactedMessage, NoLineBreakHidesASecretItem) {
  // Bare LF, bare CR at a line's end, no line end at all: the item is still found.
  EXPECT_EQ(RedactedMessage("ResultCode: 00\nCardPass: 12\n"),
            "ResultCode: 00\nCardPass: ******\n");
  EXPECT_EQ(RedactedMessage("CardPass: 12\r"), "CardPass: ******\r");
  EXPECT_EQ(RedactedMessage("OcbPasswd: 1234"), "OcbPasswd: ******");
  EXPECT_EQ(RedactedMessage(""), "");
  EXPECT_EQ(RedactedMessage("1000:shop:9430"), "1000:shop:9430");
}

}  // namespace
}  // namespace orv
