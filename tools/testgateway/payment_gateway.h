// PaymentGateway: the payment gateway's side of the protocol, as a handler for TestGateway.
// It checks every signed request with the merchant's public key, opens sealed request data with
// its own private key, and answers in the forms the payment module reads: signed header-form
// replies carrying a block sealed for the merchant, the acknowledgement echo, the network
// cancel's answer, and the one-line OCB query and escrow answers. A ledger of the transactions
// it approved decides what cancels, confirms, captures and network cancels find.
//
// What it does with a payment, re-approval or billing request is chosen by the request's price
// (PriceOf), so tests and demos ask for misbehaviour through the request alone.
//
// Keys, as the key maker writes them below one directory:
//   gateway/pgpriv.pem        the gateway's private key (read at construction)
//   gateway/<mid>/mpub.pem    each merchant's public key (read at the merchant's first request)
//
// Thread-safety: operator() may run on several connection threads at once; every other member
// may be called from any thread.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "security.h"
#include "testgateway/test_gateway.h"

namespace testgw {

// Result codes of this gateway.
inline constexpr std::string_view kApproved = "00";
inline constexpr std::string_view kNoSuchTransaction = "01";
inline constexpr std::string_view kDeclined = "05";
inline constexpr std::string_view kRefused = "91";  // the request failed a check of its own

enum class Scenario {
  Approve,            // "00"; for an acknowledged request the connection waits for the Ack
  Decline,            // "05", the sealed block's CardAuthCode "ERROR"
  WrongEcho,          // approves, then echoes the Ack with its last byte changed
  NoEcho,             // approves, then closes the connection when the Ack arrives
  ResetAfterReply,    // approves, then resets the connection: the Ack cannot be sent
  CloseWithoutReply,  // approves, then closes without replying: the approval is never seen
  BadSignature,       // approves with a reply whose signature does not cover its items
  Undecryptable,      // approves with a reply sealed for a key that is not the merchant's
};

// The price that asks for `scenario`; every other price is approved.
std::string PriceOf(Scenario scenario);
Scenario ScenarioOf(std::string_view price);

// Where a transaction stands in the gateway's ledger.
enum class Standing { Approved, Acknowledged, Cancelled };

// One request as the gateway understood it, and its answer.
struct Exchange {
  uint16_t port = 0;
  int connection = 0;
  // The request's TelmarCash kind ("PayIt", "ReqCancel", "TXNetCancel", ...), "Ack",
  // "OcbQuery" or "Escrow"; "" for a request of no known form.
  std::string kind;
  std::string mid;
  std::string tid;
  Scenario scenario = Scenario::Approve;
  bool signatureVerified = false;  // the Tail line verifies with the merchant's public key
  std::string plainBlock;          // the request's sealed block, opened
  std::string resultCode;          // the result code answered; "" when none was
};

class PaymentGateway {
 public:
  // Throws std::runtime_error when gateway/pgpriv.pem cannot be read.
  explicit PaymentGateway(const std::string& keyDirectory);
  PaymentGateway(const PaymentGateway&) = delete;
  PaymentGateway& operator=(const PaymentGateway&) = delete;

  // The TestGateway handler. The gateway must outlive every TestGateway that calls it.
  Answer operator()(const Request& request);
  Handler AsHandler() {
    return [this](const Request& request) { return (*this)(request); };
  }

  std::vector<Exchange> Exchanges() const;
  // The exchanges of one kind, in the order they were read.
  std::vector<Exchange> ExchangesOf(std::string_view kind) const;
  std::optional<Standing> StandingOf(const std::string& tid) const;

 private:
  struct Items;
  struct PendingAck {
    std::string tid;
    Scenario scenario;
  };

  Answer Serve(const Request& request, Exchange& exchange);
  Answer HeaderForm(const Request& request, Exchange& exchange);
  Answer Payment(const Request& request, const Items& items, Exchange& exchange);
  Answer LedgerRequest(Exchange& exchange);
  Answer Acknowledgement(const Request& request, Exchange& exchange);
  Answer OcbQuery(const Request& request, Exchange& exchange);
  Answer Escrow(const Request& request, Exchange& exchange);
  std::string SignedReply(const Items& clear, const Items* sealed, EVP_PKEY* sealFor,
                          bool tamper) const;
  EVP_PKEY* MerchantKey(const std::string& mid);
  std::string NextAuthCode();

  const std::string keyDirectory_;
  orv::EvpPkeyPtr privateKey_;

  // Guards everything below.
  mutable std::mutex mutex_;
  std::map<std::string, orv::EvpPkeyPtr> merchantKeys_;
  std::map<std::string, Standing> ledger_;
  std::map<int, PendingAck> pendingAcks_;  // by connection
  std::vector<Exchange> exchanges_;
  int approvals_ = 0;
};

}  // namespace testgw
