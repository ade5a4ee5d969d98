// Test support for whole transactions: a module directory with the keys of one merchant, a
// log directory and an address override file, and the payment gateway serving on its own
// loopback address. Each test passes a block number of its own and gets the gateway address
// 127.97.<block>.1, so that tests running in parallel never share the fixed ports.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "key_directory.h"
#include "testgateway/payment_gateway.h"
#include "testgateway/test_gateway.h"
#include "transaction.h"

namespace orv::test {

// Field names and values, in the order a script sets them.
using Fields = std::vector<std::pair<std::string, std::string>>;

// One line of a transaction log.
struct LogRecord {
  std::string level;  // "INFO ", "DEBUG" or "ERROR"
  int handle = 0;
  std::string message;
};

// The records of a log file's bytes; `wellFormed` is false when any byte belongs to no
// record (a torn or garbled line).
std::vector<LogRecord> ParseLog(std::string_view text, bool& wellFormed);

// A gateway ID that makes 20 bytes with `mid`, so that the TID keeps every piece whole.
std::string PgidFor(const std::string& mid);

inline constexpr char kKeyPhrase[] = "key phrase";
// The card data a buyer's browser seals for the gateway.
inline constexpr char kCardBlock[] =
    "CardNumber: 4111111111111111\r\nCardExpire: 0312\r\nCardQuota: 00\r\n";

class PaymentWorld {
 public:
  // `logDirectory`, when given, serves as the module's log directory (through a link).
  explicit PaymentWorld(int block, const std::string& logDirectory = "");

  const std::string& mid() const { return mid_; }
  const std::string& moduleDirectory() const { return keys.path(); }
  const std::string& address() const { return address_; }

  // A transaction of this module directory with the next handle of the process.
  std::unique_ptr<Transaction> NewTransaction(std::string_view type) const;
  // The merchant's fields that every signed request needs.
  Fields MerchantFields() const;
  // The fields of a card payment of `price` (securepay and its kin): the merchant's, the
  // buyer's and the card data sealed for the gateway.
  Fields PaymentFields(const std::string& price) const;
  void SetPayment(Transaction& transaction, const std::string& price) const;
  void SetMerchant(Transaction& transaction) const;

  // The records of `handle` in the logs of `type` for merchant `mid` (this world's when
  // empty), each as level word, a blank and the message ("INFO  CHECK FIELD OK").
  std::vector<std::string> Log(std::string_view type, int handle,
                               const std::string& mid = "") const;
  std::string LogText(std::string_view type, const std::string& mid = "") const;
  // The whole log of a securepay of this merchant, approved with `tid` and acknowledged.
  std::vector<std::string> AcknowledgedPaymentLog(const std::string& tid) const;

  KeyDirectory keys;
  testgw::PaymentGateway gateway;
  testgw::TestGateway server;

 private:
  std::string mid_;
  std::string address_;
};

}  // namespace orv::test
