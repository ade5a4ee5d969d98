#include "identifiers.h"

#include <gtest/gtest.h>

#include <regex>

#include "fields.h"

namespace orv {
namespace {

TEST(TimeStamp, ThreeFormats) {
  const sys::LocalTime t{2003, 7, 30, 14, 25, 1, 7};
  EXPECT_EQ(FormatTimeStamp(StampFormat::Tid, t), "20030730142501007");
  EXPECT_EQ(FormatTimeStamp(StampFormat::LogLine, t), "2003:07:30-14:25:01:007");
  EXPECT_EQ(FormatTimeStamp(StampFormat::FileDate, t), "030730");
  EXPECT_TRUE(std::regex_match(GetTimeStamp(StampFormat::LogLine),
                               std::regex(R"(\d{4}:\d\d:\d\d-\d\d:\d\d:\d\d:\d{3})")));
}

TEST(MakeTid, LengthsAndCuts) {
  struct Case {
    std::string pgid, mid;
    int handle;
    int result;
    std::string pattern;  // of the tid member afterwards
  };
  const Case cases[] = {
      // 20 + 17 + 3: all four pieces whole.
      {"PGID012345", "shop000001", 1234, 1, R"(PGID012345shop000001\d{17}234)"},
      // 19 + 17 + 3 = 39: too short, the short text stays.
      {"PGID01234", "shop000001", 1234, 0, R"(PGID01234shop000001\d{17}234)"},
      // 30 characters of ids: the stamp is cut after its hour.
      {"PGID0123456789", "shop000001000000", 5, 1, R"(PGID0123456789shop000001000000\d{10})"},
      {"PGID012345", "shop000001", 7, 0, R"(PGID012345shop000001\d{17}7)"},
      {"PGID012345", "shop00001", 42, 0, R"(PGID012345shop00001\d{17}42)"},
      {"PGID012345", "shop000001", -123456, 1, R"(PGID012345shop000001\d{17}456)"},
      {"PGID012345", "shop000001", -12, 1, R"(PGID012345shop000001\d{17}-12)"},
  };
  for (const Case& c : cases) {
    TransactionFields f;
    f.pgid = c.pgid;
    f.mid = c.mid;
    EXPECT_EQ(f.MakeTid(c.handle), c.result) << c.pgid << c.mid << c.handle;
    EXPECT_TRUE(std::regex_match(f.tid, std::regex(c.pattern))) << f.tid;
    if (c.result == 1) {
      EXPECT_EQ(f.tid.size(), 40u);
    }
  }
}

TEST(HostAddress, AnswersADottedAddress) {
  EXPECT_TRUE(std::regex_match(GetHostIpAddress(), std::regex(R"(\d+\.\d+\.\d+\.\d+)")));
}

}  // namespace
}  // namespace orv
