// Transaction: the context of one payment transaction, and the process-wide table that maps
// the handles scripts hold to live transactions.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "connection.h"
#include "fields.h"
#include "log.h"

namespace orv {

struct Transaction {
  explicit Transaction(int handle) : handle(handle) {}
  virtual ~Transaction() = default;
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  const int handle;
  TransactionFields fields;
  int logFailed = 0;  // set when the log could not be started; never reset
  GatewayConnection connection;  // left open while awaiting Ack; closes with the transaction
  TransactionLog log;
  // A run holds one start of the socket library from its beginning to its end; a run that
  // awaits Ack keeps it until the acknowledgement ends, or the transaction does.
  std::optional<net::Session> socketLibrary;
  // The last run ended with "WAIT ACK INVOKING" and no acknowledgement has run since.
  bool awaitingAck = false;
};

// Points the field set at the directory of the payment module's own file.
void SetModuleDirectory(TransactionFields& fields);

// Opens the day's log of the transaction's type and merchant and writes the START line.
// On failure fills resultcode/resultmsg (9406: cannot open, 9407: cannot write) and sets
// the log-failure flag.
void OpenTransactionLog(Transaction& transaction);

// Ends a run: writes the END line with `message`, closes the log and the gateway connection
// and releases the run's start of the socket library.
void EndTransaction(Transaction& transaction, std::string_view message);

// The body of the StartAction method: the log start, then the transaction driver unless the
// log failed.
void StartAction(Transaction& transaction);

// Handles are positive, unique among live transactions and differ from one transaction to
// the next. Thread-safe. A transaction found here stays alive while its caller holds it,
// even if another thread destroys the handle meanwhile.
class TransactionTable {
 public:
  TransactionTable();
  int Initialize();
  std::shared_ptr<Transaction> Find(int handle) const;
  void Destroy(int handle);

 private:
  mutable std::mutex mutex_;
  std::map<int, std::shared_ptr<Transaction>> live_;
  int next_;
};

// The table of this process: its lock is the one in TransactionTable.
TransactionTable& Transactions();

}  // namespace orv
