// The sending engine without a database: the reservation rule, the fixed connection string and
// the paths that fail before anything reaches a server.
#include <gtest/gtest.h>

#include "sms_sender.h"
#include "text/cp949.h"

void PrintTo(const Reservation& r, std::ostream* out) {
  *out << r.year << "-" << r.month << "-" << r.day << " " << r.hour << ":" << r.minute;
}

namespace {

TEST(Reservation, TwelveCharactersAreReadWithoutChecks) {
  const sys::LocalTime now{2024, 3, 9, 17, 5, 44, 123};
  const Reservation kNow{2024, 3, 9, 17, 5};
  const struct {
    const char* reserve;
    Reservation expected;
  } kCases[] = {
      {"200612251030", {2006, 12, 25, 10, 30}},
      {"2006-12-2510", {2006, -1, 2, 25, 10}},
      {"abcd12251030", {0, 12, 25, 10, 30}},
      {" 12 1 2 3 4 ", {12, 1, 2, 3, 4}},
      {"", kNow},
      {"20061225", kNow},
      {"2006122510300", kNow},
  };
  for (const auto& c : kCases) EXPECT_EQ(ReservationFrom(c.reserve, now), c.expected) << c.reserve;
}

TEST(Sender, FixedConnectionString) {
  EXPECT_EQ(SmsConnectionString(),
            "Provider=SQLOLEDB;Data Source= 127.0.0.1,2433;Initial Catalog= SMS;User ID= "
            "SMSUser;Password= tulipmoss7;port=2433;");
}

TEST(Sender, SendWithoutConnectionSendsNothing) {
  CSMSSender sender;
  const Reservation when{2006, 12, 25, 10, 30};
  EXPECT_EQ(sender.SendMessage("0212345678", "01012345678", "hello", when, 0), "");
  EXPECT_EQ(sender.SendMessageWithPolling("0212345678", "01012345678", "hello", when, 0, "url"),
            "");
  sender.Disconnect();  // nothing open: nothing happens
  EXPECT_FALSE(sender.Database().IsOpen());
}

TEST(Sender, EmptySpreadsheetPathTellsStandardError) {
  CSMSSender sender;
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(sender.OpenExcel(""));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            text::Cp949ToUtf8(kNoSpreadsheetMessage) + "\n");
  EXPECT_STREQ(kNoSpreadsheetMessage,
               "에러: 데이터를 저장한 엑세스 파일이 설정되지 않았습니다!\n"
               "메뉴의 환경설정=>엑세스경로설정에서 엑세스 파일을 지정해주세요.");
}

TEST(Sender, SpreadsheetSendWithoutSheet) {
  CSMSSender sender;
  std::string sendPhone = "in";
  std::string receivePhone = "in";
  const Reservation when{2006, 12, 25, 10, 30};
  EXPECT_EQ(sender.SendExcelMessageWithPolling(sendPhone, receivePhone, "m", when, 0, ""), "");
  EXPECT_EQ(sendPhone, "in");
  EXPECT_EQ(receivePhone, "in");
  sender.CloseExcel();  // nothing open: nothing happens
  EXPECT_FALSE(sender.OpenExcel(std::string(SHEETS_DIR) + "/not_a_workbook.xls"));
  EXPECT_EQ(sender.SendExcelMessageWithPolling(sendPhone, receivePhone, "m", when, 0, ""), "");
}

}  // namespace
