#include "payment_world.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <filesystem>

#include "security.h"

namespace orv::test {

namespace fs = std::filesystem;

namespace {

constexpr size_t kLevelSize = 5;
constexpr size_t kStampSize = 23;  // YYYY:MM:DD-hh:mm:ss:mmm

bool IsDigits(std::string_view text) {
  for (char c : text)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return !text.empty();
}

// The length of the record header at the start of `text` ("INFO  [stamp] <00001234> "), or 0.
size_t HeaderSize(std::string_view text, int& handle) {
  const std::string_view level = text.substr(0, kLevelSize);
  if (level != "INFO " && level != "DEBUG" && level != "ERROR") return 0;
  if (text.substr(kLevelSize, 2) != " [") return 0;
  const std::string_view stamp = text.substr(kLevelSize + 2, kStampSize);
  static constexpr std::string_view kShape = "dddd:dd:dd-dd:dd:dd:ddd";
  if (stamp.size() != kShape.size()) return 0;
  for (size_t i = 0; i < kShape.size(); ++i)
    if (kShape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(stamp[i]))
                         : stamp[i] != kShape[i])
      return 0;
  const size_t open = kLevelSize + 2 + kStampSize;
  if (text.substr(open, 3) != "] <") return 0;
  const size_t close = text.find("> ", open + 3);
  if (close == std::string_view::npos) return 0;
  std::string_view number = text.substr(open + 3, close - open - 3);
  const bool negative = number.starts_with('-');
  if (negative) number.remove_prefix(1);
  const size_t minimumDigits = negative ? 7 : 8;
  if (!IsDigits(number) || number.size() < minimumDigits) return 0;
  handle = std::stoi(std::string(number)) * (negative ? -1 : 1);
  return close + 2;
}

std::atomic<int> nextHandle = 1000;

}  // namespace

std::string PgidFor(const std::string& mid) {
  return "PG" + std::string(mid.size() < 18 ? 18 - mid.size() : 0, '0');
}

std::vector<LogRecord> ParseLog(std::string_view text, bool& wellFormed) {
  std::vector<LogRecord> records;
  wellFormed = true;
  size_t at = 0;
  while (at < text.size()) {
    LogRecord record;
    const size_t header = HeaderSize(text.substr(at), record.handle);
    if (header == 0) {
      wellFormed = false;
      return records;
    }
    record.level = std::string(text.substr(at, kLevelSize));
    // A message may hold line breaks of its own: it ends at the CR LF before the next record.
    size_t end = text.find("\r\n", at + header);
    int ignored = 0;
    while (end != std::string_view::npos && end + 2 < text.size() &&
           HeaderSize(text.substr(end + 2), ignored) == 0)
      end = text.find("\r\n", end + 2);
    if (end == std::string_view::npos) {
      wellFormed = false;
      return records;
    }
    record.message = std::string(text.substr(at + header, end - at - header));
    records.push_back(std::move(record));
    at = end + 2;
  }
  return records;
}

PaymentWorld::PaymentWorld(int block, const std::string& logDirectory)
    : gateway(keys.path()),
      server("127.97." + std::to_string(block) + ".1", gateway.AsHandler()),
      mid_(UniqueMerchantId("shop")),
      address_(server.Address()) {
  keys.AddMerchant(mid_, kKeyPhrase);
  if (logDirectory.empty()) {
    fs::create_directory(keys.path() + "log");
  } else {
    fs::create_directory_symlink(logDirectory, keys.path() + "log");
  }
  WriteFile(keys.path() + kGatewayOverrideFile,
            "primary = " + address_ + "\nfirst_backup = " + address_ +
                "\nsecond_backup = " + address_ + "\ntest = " + address_ + "\n");
}

std::unique_ptr<Transaction> PaymentWorld::NewTransaction(std::string_view type) const {
  auto transaction = std::make_unique<Transaction>(nextHandle++);
  transaction->fields.moduleDirectory = keys.path();
  transaction->fields.SetNamedField("type", std::string(type));
  return transaction;
}

Fields PaymentWorld::MerchantFields() const {
  return {{"mid", mid_},
          {"pgid", PgidFor(mid_)},
          {"admin", kKeyPhrase},
          {"uip", "127.0.0.1"},
          {"url", "http://127.0.0.1/shop"}};
}

Fields PaymentWorld::PaymentFields(const std::string& price) const {
  Fields fields = MerchantFields();
  std::string sessionKey, encrypted;
  EXPECT_EQ(SealRequestData(KeyDirectory::GatewayPublicKey().get(), kCardBlock, sessionKey,
                            encrypted),
            1);
  fields.insert(fields.end(), {{"price", price},
                               {"currency", "WON"},
                               {"paymethod", "Card"},
                               {"goodname", "책"},
                               {"buyername", "홍길동"},
                               {"buyertel", "010-0000-0000"},
                               {"buyeremail", "buyer@example.com"},
                               {"sessionkey", sessionKey},
                               {"encrypted", encrypted}});
  return fields;
}

void PaymentWorld::SetMerchant(Transaction& t) const {
  for (const auto& [name, value] : MerchantFields()) t.fields.SetNamedField(name, value);
}

void PaymentWorld::SetPayment(Transaction& t, const std::string& price) const {
  for (const auto& [name, value] : PaymentFields(price)) t.fields.SetNamedField(name, value);
}

std::string PaymentWorld::LogText(std::string_view type, const std::string& mid) const {
  const std::string prefix = "ORV" + std::string(type) + "_" + (mid.empty() ? mid_ : mid) + "_";
  std::string text;
  for (const fs::directory_entry& entry : fs::directory_iterator(keys.path() + "log"))
    if (entry.path().filename().string().starts_with(prefix))
      text += ReadFile(entry.path().string());
  return text;
}

std::vector<std::string> PaymentWorld::Log(std::string_view type, int handle,
                                           const std::string& mid) const {
  bool wellFormed = false;
  std::vector<std::string> lines;
  for (const LogRecord& record : ParseLog(LogText(type, mid), wellFormed))
    if (record.handle == handle) lines.push_back(record.level + " " + record.message);
  EXPECT_TRUE(wellFormed);
  return lines;
}

std::vector<std::string> PaymentWorld::AcknowledgedPaymentLog(const std::string& tid) const {
  return {"INFO  START securepay (V4.1B4108D030730)",
          "INFO  CHECK FIELD OK",
          "INFO  MAKE TID OK " + tid,
          "INFO  GET PGPUB KEY OK",
          "INFO  GET " + mid_ + "'s PRIV KEY OK",
          "INFO  MAKE MSG OK",
          "INFO  SIGN OK",
          "INFO  PG 소켓 연결 시작",
          "INFO  PG 소켓 create 시작",
          "INFO  PG 소켓 create 끝",
          "INFO  CONNECT PG(" + address_ + ") OK",
          "INFO  메시지 송신 시작",
          "INFO  SEND OK",
          "INFO  RECV OK",
          "INFO  CHECK SIGN OK",
          "INFO  DECRYPT OK",
          "INFO  PARSE OK",
          "INFO  WAIT ACK INVOKING",
          "INFO  ACK STARTING",
          "INFO  ACK SEND OK",
          "INFO  ACK RECV OK",
          "INFO  ACK CHECKSUM OK",
          "INFO  END securepay Approved \n\n\n"};
}

}  // namespace orv::test
