#include "transaction.h"

#include <openssl/rand.h>

#include <cstdio>

#include "driver.h"

namespace orv {

namespace {

constexpr char kModuleVersion[] = "4.1";
constexpr char kBuildNumber[] = "4108";
constexpr char kBuildDate[] = "030730";
constexpr int kLogOpenFailed = 9406;
constexpr int kLogStartFailed = 9407;

// Handles stay within eight digits so that every log line keeps its columns.
constexpr int kHandleLimit = 100'000'000;

// Handles start at a random point so that two processes writing the same log file (and
// making identifiers in the same millisecond) are unlikely to share a handle.
int RandomFirstHandle() {
  unsigned int r = 0;
  if (RAND_bytes(reinterpret_cast<unsigned char*>(&r), sizeof r) != 1) r = 0;
  return static_cast<int>(r % (kHandleLimit - 1)) + 1;
}

void FailLogStart(Transaction& t, int code) {
  char message[256];
  std::snprintf(message, sizeof message, "[%d][%s실패|로그 초기화 오류]", code,
                t.fields.typeLabel.c_str());
  t.fields.resultcode = "01";
  t.fields.resultmsg = message;
  t.logFailed = 1;
}

}  // namespace

void SetModuleDirectory(TransactionFields& fields) {
  fields.moduleDirectory = sys::ModuleDirectory(reinterpret_cast<const void*>(&SetModuleDirectory));
}

void OpenTransactionLog(Transaction& t) {
  const TransactionFields& f = t.fields;
  const std::string path = TransactionLogPath(f.moduleDirectory, f.type, f.mid);
  if (t.log.Open(path, t.handle) == 0) return FailLogStart(t, kLogOpenFailed);
  const std::string start = "START " + f.type + " (V" + kModuleVersion + "B" + kBuildNumber +
                            "D" + kBuildDate + ")";
  if (t.log.Write(LogLevel::Info, start) == 0) return FailLogStart(t, kLogStartFailed);
}

void EndTransaction(Transaction& t, std::string_view message) {
  const std::string& type = t.fields.type;
  t.log.Write(LogLevel::Info, "END " + type + " " + std::string(message) + " \n\n\n");
  t.log.Close();
  t.connection.Close();
  t.socketLibrary.reset();
  t.awaitingAck = false;
}

void StartAction(Transaction& t) {
  OpenTransactionLog(t);
  if (t.logFailed == 0) RunTransaction(t);
}

TransactionTable::TransactionTable() : next_(RandomFirstHandle()) {}

int TransactionTable::Initialize() {
  std::lock_guard lock(mutex_);
  int handle = next_;
  while (live_.contains(handle)) handle = handle % (kHandleLimit - 1) + 1;
  next_ = handle % (kHandleLimit - 1) + 1;
  auto transaction = std::make_shared<Transaction>(handle);
  SetModuleDirectory(transaction->fields);
  live_.emplace(handle, std::move(transaction));
  return handle;
}

std::shared_ptr<Transaction> TransactionTable::Find(int handle) const {
  std::lock_guard lock(mutex_);
  const auto it = live_.find(handle);
  return it == live_.end() ? nullptr : it->second;
}

void TransactionTable::Destroy(int handle) {
  std::shared_ptr<Transaction> doomed;
  {
    std::lock_guard lock(mutex_);
    const auto it = live_.find(handle);
    if (it == live_.end()) return;
    doomed = std::move(it->second);
    live_.erase(it);
  }
  // The transaction (its log file and its connection) closes outside the table's lock.
}

TransactionTable& Transactions() {
  static TransactionTable table;
  return table;
}

}  // namespace orv
