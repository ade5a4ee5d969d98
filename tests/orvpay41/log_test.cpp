#include "log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "identifiers.h"
#include "transaction.h"

namespace orv {
namespace {

namespace fs = std::filesystem;

// A module directory of its own with a log directory in it.
class LogDirectory : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("orvlog-" + std::to_string(getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "log");
  }
  void TearDown() override { fs::remove_all(root_); }

  std::string ModuleDirectory() const { return root_.string() + "/"; }
  fs::path LogFile(const std::string& type, const std::string& mid) const {
    return root_ / "log" /
           ("ORV" + type + "_" + mid + "_" + GetTimeStamp(StampFormat::FileDate) + ".log");
  }
  static std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }
  std::unique_ptr<Transaction> NewTransaction(int handle, const std::string& type,
                                              const std::string& mid) const {
    auto t = std::make_unique<Transaction>(handle);
    t->fields.moduleDirectory = ModuleDirectory();
    t->fields.SetNamedField("type", type);
    t->fields.SetNamedField("mid", mid);
    return t;
  }

  fs::path root_;
};

const char kStamp[] = R"(\[\d{4}:\d\d:\d\d-\d\d:\d\d:\d\d:\d{3}\])";

TEST(LogLine, FormatByteForByte) {
  const char stamp[] = "2003:07:30-14:25:01:007";
  EXPECT_EQ(FormatLogLine(LogLevel::Info, stamp, 1234, "START securepay (V4.1B4108D030730)"),
            "INFO  [2003:07:30-14:25:01:007] <00001234> START securepay (V4.1B4108D030730)");
  EXPECT_EQ(FormatLogLine(LogLevel::Error, stamp, 7, "x"),
            "ERROR [2003:07:30-14:25:01:007] <00000007> x");
  EXPECT_EQ(FormatLogLine(LogLevel::Debug, stamp, -5, "x"),
            "DEBUG [2003:07:30-14:25:01:007] <-0000005> x");
  EXPECT_EQ(FormatLogLine(LogLevel::DebugAlways, stamp, 123456789, ""),
            "DEBUG [2003:07:30-14:25:01:007] <123456789> ");
}

TEST_F(LogDirectory, StartLineInTheFileOfTypeMerchantAndDay) {
  auto t = NewTransaction(1234, "securepay", "shop000001");
  OpenTransactionLog(*t);
  EXPECT_EQ(t->logFailed, 0);
  t->log.Write(LogLevel::Info, std::string("END securepay OK \n\n\n"));
  const std::string text = Read(LogFile("securepay", "shop000001"));
  EXPECT_TRUE(std::regex_match(
      text, std::regex(std::string("INFO  ") + kStamp +
                       R"( <00001234> START securepay \(V4\.1B4108D030730\)\r\n)" + "INFO  " +
                       kStamp + " <00001234> END securepay OK \n\n\n\r\n")))
      << text;
}

TEST_F(LogDirectory, DebugLinesOnlyWithTheSwitch) {
  TransactionLog log;
  ASSERT_EQ(log.Open(LogFile("t", "m").string(), 1), 1);
  EXPECT_EQ(log.Write(LogLevel::Debug, "hidden"), 1);
  log.Write(LogLevel::DebugAlways, "always");
  log.Write(LogLevel::Error, "error");
  log.SetDebugSwitch(1);
  log.Write(LogLevel::Debug, "shown");
  log.Close();
  EXPECT_EQ(log.Write(LogLevel::Info, "after close"), 0);
  const std::string text = Read(LogFile("t", "m"));
  EXPECT_EQ(text.find("hidden"), std::string::npos);
  EXPECT_NE(text.find("DEBUG ["), std::string::npos);
  EXPECT_NE(text.find("> always\r\n"), std::string::npos);
  EXPECT_NE(text.find("ERROR ["), std::string::npos);
  EXPECT_NE(text.find("> shown\r\n"), std::string::npos);
  EXPECT_EQ(text.find("after close"), std::string::npos);
}

TEST_F(LogDirectory, OpenFailuresAre9406WithTheLabel) {
  struct Case {
    std::string type, mid;
    bool removeLogDirectory;
    std::string message;
  };
  const Case cases[] = {
      {"", "shop", false, "[9406][실패|로그 초기화 오류]"},
      {"securepay", "shop", true, "[9406][지불실패|로그 초기화 오류]"},
      {"cancel", "../escape", false, "[9406][취소실패|로그 초기화 오류]"},
      {"cancel", "a/b", false, "[9406][취소실패|로그 초기화 오류]"},
      {"cancel", "a\\b", false, "[9406][취소실패|로그 초기화 오류]"},
      {"cancel", "", false, "[9406][취소실패|로그 초기화 오류]"},
      {"..", "shop", false, "[9406][실패|로그 초기화 오류]"},
      {std::string("secure\0pay", 10), "shop", false, "[9406][실패|로그 초기화 오류]"},
  };
  for (const Case& c : cases) {
    if (c.removeLogDirectory) fs::remove_all(root_ / "log");
    auto t = NewTransaction(1, c.type, c.mid);
    StartAction(*t);
    EXPECT_EQ(t->logFailed, 1) << c.type << "/" << c.mid;
    EXPECT_EQ(t->fields.resultcode, "01");
    EXPECT_EQ(t->fields.resultmsg, c.message);
    fs::create_directories(root_ / "log");
  }
  // Nothing was written anywhere: not in the log directory, not beside it.
  EXPECT_TRUE(fs::is_empty(root_ / "log"));
  EXPECT_FALSE(fs::exists(root_ / "escape"));
}

TEST_F(LogDirectory, StartLineThatCannotBeWrittenIs9407) {
  fs::create_symlink("/dev/full", LogFile("securepay", "shop"));
  auto t = NewTransaction(1, "securepay", "shop");
  StartAction(*t);
  EXPECT_EQ(t->logFailed, 1);
  EXPECT_EQ(t->fields.resultmsg, "[9407][지불실패|로그 초기화 오류]");
}

TEST_F(LogDirectory, ConcurrentWritersLoseAndTearNoLine) {
  constexpr int kThreads = 8;
  constexpr int kLines = 1000;
  const std::string path = LogFile("securepay", "shop").string();
  std::vector<std::thread> threads;
  for (int h = 1; h <= kThreads; ++h) {
    threads.emplace_back([&, h] {
      TransactionLog log;
      ASSERT_EQ(log.Open(path, h), 1);
      for (int i = 0; i < kLines; ++i)
        log.Write(LogLevel::Info, "line " + std::to_string(i) + std::string(100, 'x'));
    });
  }
  for (auto& t : threads) t.join();

  std::istringstream in(Read(path));
  const std::regex line(std::string("INFO  ") + kStamp + R"( <0000000(\d)> line (\d+)x{100}\r)");
  std::vector<int> next(kThreads + 1, 0);
  std::string text;
  int count = 0;
  while (std::getline(in, text)) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m, line)) << text;
    const int handle = std::stoi(m[1]);
    EXPECT_EQ(std::stoi(m[2]), next[handle]++);  // each writer's lines in its order
    ++count;
  }
  EXPECT_EQ(count, kThreads * kLines);
}

}  // namespace
}  // namespace orv
