#include "payment_gateway.h"

#include <openssl/bio.h>
#include <openssl/pem.h>

#include <algorithm>
#include <array>
#include <ctime>
#include <stdexcept>
#include <utility>

#include "format.h"
#include "text.h"

namespace testgw {

namespace {

using orv::EvpPkeyPtr;
using orv::Format;

struct ScenarioPrice {
  Scenario scenario;
  std::string_view price;
};

constexpr std::array kScenarioPrices = {
    ScenarioPrice{Scenario::Decline, "9001"},
    ScenarioPrice{Scenario::WrongEcho, "9002"},
    ScenarioPrice{Scenario::NoEcho, "9003"},
    ScenarioPrice{Scenario::ResetAfterReply, "9004"},
    ScenarioPrice{Scenario::CloseWithoutReply, "9005"},
    ScenarioPrice{Scenario::BadSignature, "9006"},
    ScenarioPrice{Scenario::Undecryptable, "9007"},
};
constexpr std::string_view kApprovedPrice = "1000";

constexpr size_t kMaxEchoedReserved = 256;  // the reply's sealed block must stay under 1 KB
constexpr int kResealAttempts = 16;

constexpr std::string_view kEscrowCodes[] = {"PG4010C", "PG4020U", "PG4030C", "PG4040U"};
constexpr size_t kEscrowLengthDigits = 4;
constexpr size_t kEscrowCodeSize = 7;

std::string Stamp(const char* format) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, format, &local);
  return text;
}

EvpPkeyPtr ReadKey(const std::string& path, bool isPublic) {
  const std::unique_ptr<BIO, orv::OpenSslFree<BIO_free>> file(BIO_new_file(path.c_str(), "r"));
  if (!file) return nullptr;
  return EvpPkeyPtr(isPublic ? PEM_read_bio_PUBKEY(file.get(), nullptr, nullptr, nullptr)
                             : PEM_read_bio_PrivateKey(file.get(), nullptr, nullptr, nullptr));
}

std::string Echoed(const std::string& value) {
  return value.size() <= kMaxEchoedReserved ? value : "";
}

}  // namespace

// Header-form items in order: "Name: value" lines ended by CR LF (values may hold LF).
struct PaymentGateway::Items {
  static Items Parse(std::string_view text) {
    Items items;
    while (!text.empty()) {
      const size_t end = text.find("\r\n");
      const std::string_view line = text.substr(0, end);
      const size_t colon = line.find(':');
      if (colon != std::string_view::npos) {
        std::string_view value = line.substr(colon + 1);
        if (!value.empty() && value.front() == ' ') value.remove_prefix(1);
        items.list.emplace_back(line.substr(0, colon), value);
      }
      if (end == std::string_view::npos) break;
      text.remove_prefix(end + 2);
    }
    return items;
  }

  std::string operator[](std::string_view name) const {
    for (const auto& [itemName, value] : list)
      if (itemName == name) return value;
    return {};
  }

  Items& Add(std::string name, std::string value) {
    list.emplace_back(std::move(name), std::move(value));
    return *this;
  }

  std::string Text() const {
    std::string text;
    for (const auto& [name, value] : list) text += name + ": " + value + "\r\n";
    return text;
  }

  std::vector<std::pair<std::string, std::string>> list;
};

std::string PriceOf(Scenario scenario) {
  for (const ScenarioPrice& row : kScenarioPrices)
    if (row.scenario == scenario) return std::string(row.price);
  return std::string(kApprovedPrice);
}

Scenario ScenarioOf(std::string_view price) {
  for (const ScenarioPrice& row : kScenarioPrices)
    if (row.price == price) return row.scenario;
  return Scenario::Approve;
}

PaymentGateway::PaymentGateway(const std::string& keyDirectory)
    : keyDirectory_(keyDirectory),
      privateKey_(ReadKey(keyDirectory + "/gateway/pgpriv.pem", false)) {
  if (!privateKey_)
    throw std::runtime_error("payment gateway: no private key in " + keyDirectory +
                             "/gateway/pgpriv.pem");
}

Answer PaymentGateway::operator()(const Request& request) {
  Exchange exchange;
  exchange.port = request.port;
  exchange.connection = request.connection;
  Answer answer = Serve(request, exchange);
  std::lock_guard lock(mutex_);
  exchanges_.push_back(std::move(exchange));
  return answer;
}

std::vector<Exchange> PaymentGateway::Exchanges() const {
  std::lock_guard lock(mutex_);
  return exchanges_;
}

std::vector<Exchange> PaymentGateway::ExchangesOf(std::string_view kind) const {
  std::vector<Exchange> found;
  for (Exchange& exchange : Exchanges())
    if (exchange.kind == kind) found.push_back(std::move(exchange));
  return found;
}

std::optional<Standing> PaymentGateway::StandingOf(const std::string& tid) const {
  std::lock_guard lock(mutex_);
  const auto it = ledger_.find(tid);
  return it == ledger_.end() ? std::nullopt : std::optional(it->second);
}

Answer PaymentGateway::Serve(const Request& request, Exchange& exchange) {
  if (request.port == 9200) return OcbQuery(request, exchange);
  if (request.port == 36000) return Escrow(request, exchange);
  if (request.body.starts_with("Ack:")) return Acknowledgement(request, exchange);
  return HeaderForm(request, exchange);
}

// Every header-form request is signed: the Tail line is its last, and covers every byte
// before it.
Answer PaymentGateway::HeaderForm(const Request& request, Exchange& exchange) {
  const std::string_view body = request.body;
  const Items items = Items::Parse(body);
  exchange.kind = items["TelmarCash"];
  exchange.mid = items["MID"];
  exchange.tid = items["TID"];
  EVP_PKEY* merchant = MerchantKey(exchange.mid);
  const size_t tail = body.rfind("Tail: ");
  if (merchant != nullptr && tail != std::string_view::npos &&
      (tail == 0 || body.substr(tail - 2, 2) == "\r\n")) {
    const std::string signature = items["Tail"];
    exchange.signatureVerified =
        orv::VerifySignature(merchant, body.substr(0, tail), signature) == 1;
  }

  Items reply;
  if (!exchange.signatureVerified) {
    exchange.resultCode = kRefused;
    reply.Add("ResultCode", exchange.resultCode)
        .Add("ResultMsg", "Request signature does not verify")
        .Add("TID", exchange.tid);
    return Reply(SignedReply(reply, &reply, merchant, false));
  }
  if (exchange.kind == "PayIt" || exchange.kind == "RePay" || exchange.kind == "ReqRealBill")
    return Payment(request, items, exchange);
  return LedgerRequest(exchange);
}

Answer PaymentGateway::Payment(const Request& request, const Items& items, Exchange& exchange) {
  EVP_PKEY* merchant = MerchantKey(exchange.mid);
  Items reply;
  if (orv::OpenSealedReply(privateKey_.get(), items["SessionKey"], items["Encrypted"],
                           exchange.plainBlock) != 1) {
    exchange.resultCode = kRefused;
    reply.Add("ResultCode", exchange.resultCode)
        .Add("ResultMsg", "Sealed data cannot be opened")
        .Add("TID", exchange.tid);
    return Reply(SignedReply(reply, &reply, merchant, false));
  }
  const Items plain = Items::Parse(exchange.plainBlock);
  const Scenario scenario = ScenarioOf(items["Price"]);
  exchange.scenario = scenario;
  const bool approved = scenario != Scenario::Decline;
  exchange.resultCode = approved ? kApproved : kDeclined;
  const std::string authCode = approved ? NextAuthCode() : "ERROR";
  const std::string resultMsg = approved ? "Approved" : "Declined";

  Items sealed;
  sealed.Add("ResultCode", exchange.resultCode).Add("ResultMsg", resultMsg);
  if (!plain["CardNumber"].empty()) {
    sealed.Add("CardResultCode", "01")
        .Add("CardResultQuota", plain["CardQuota"])
        .Add("CardResultNumber", plain["CardNumber"])
        .Add("CardResultExpire", plain["CardExpire"]);
  }
  sealed.Add("CardAuthCode", authCode);
  std::string reserved1 = "PGauthdate=" + Stamp("%Y%m%d") + "&PGauthtime=" + Stamp("%H%M%S");
  if (exchange.kind == "RePay")
    reserved1 += "&TID_org=" + plain["OldTID"] + "&PR_remains=0&flg_partcancel=1&cnt_partcancel=1";
  if (!items["CR_Price"].empty()) reserved1 += "&Rcash_noappl=" + authCode;
  sealed.Add("MerchantReserved1", reserved1)
      .Add("MerchantReserved2", Echoed(items["MerchantReserved2"]));
  // A billing registration (a PayIt on the billing port) answers with the billing key.
  const bool registersBilling = exchange.kind == "PayIt" && request.port == 9400;
  sealed.Add("MerchantReserved3",
             registersBilling ? "BillKey=BK" + authCode + "&CardPass=" + plain["AuthField2"] +
                                    "&CardKind=01"
                              : Echoed(items["MerchantReserved3"]));
  sealed.Add("EventFlag", "0");

  reply.Add("ResultCode", exchange.resultCode).Add("ResultMsg", resultMsg).Add("TID", exchange.tid);
  if (approved)
    reply.Add("MerchantReserved", "PayMethod[" + items["PayMethod"] + "], CardAuthCode[" +
                                      authCode + "], Detailcode[0412], CardCode[01], ");
  EVP_PKEY* sealFor = scenario == Scenario::Undecryptable ? privateKey_.get() : merchant;
  const std::string text =
      SignedReply(reply, &sealed, sealFor, scenario == Scenario::BadSignature);

  const bool awaitsAck = approved && items["Ack"] == "1";
  {
    std::lock_guard lock(mutex_);
    if (approved) ledger_[exchange.tid] = Standing::Approved;
    if (awaitsAck && scenario != Scenario::ResetAfterReply)
      pendingAcks_[request.connection] = {exchange.tid, scenario};
  }
  if (scenario == Scenario::CloseWithoutReply) {
    exchange.resultCode.clear();
    return Silence(Then::Close);
  }
  if (!awaitsAck) return Reply(text);
  return Reply(text, scenario == Scenario::ResetAfterReply ? Then::Reset : Then::ReadNext);
}

// Cancel, confirm, capture and network cancel: what they find in the ledger.
Answer PaymentGateway::LedgerRequest(Exchange& exchange) {
  std::optional<Standing> standing;
  std::string resultMsg;
  bool done = false;
  {
    std::lock_guard lock(mutex_);
    const auto it = ledger_.find(exchange.tid);
    if (it != ledger_.end()) standing = it->second;
    const bool open = standing && *standing != Standing::Cancelled;
    if (exchange.kind == "ReqCancel" && open) {
      it->second = Standing::Cancelled;
      done = true;
      resultMsg = "Cancelled";
    } else if (exchange.kind == "TXNetCancel" && standing == Standing::Approved) {
      it->second = Standing::Cancelled;
      done = true;
      resultMsg = "Cancelled";
    } else if (exchange.kind == "ReqCapture" && open) {
      done = true;
      resultMsg = "Captured";
    } else if (exchange.kind == "ReqConfirm" && standing) {
      done = true;
      // The module keeps what stands before the comma.
      resultMsg = std::string(*standing == Standing::Approved       ? "Approved"
                              : *standing == Standing::Acknowledged ? "Acknowledged"
                                                                    : "Cancelled") +
                  "," + Stamp("%Y%m%d");
    }
  }
  exchange.resultCode = done ? kApproved : kNoSuchTransaction;
  Items reply;
  reply.Add("ResultCode", exchange.resultCode)
      .Add("ResultMsg", done ? resultMsg : "No such transaction")
      .Add("TID", exchange.tid);
  if (done && exchange.kind == "ReqCancel")
    reply.Add("MerchantReserved",
              "PGcanceldate=" + Stamp("%Y%m%d") + "&PGcanceltime=" + Stamp("%H%M%S"));
  return Reply(SignedReply(reply, nullptr, nullptr, false));
}

Answer PaymentGateway::Acknowledgement(const Request& request, Exchange& exchange) {
  exchange.kind = "Ack";
  exchange.tid = request.body.substr(4);
  std::optional<PendingAck> pending;
  {
    std::lock_guard lock(mutex_);
    const auto it = pendingAcks_.find(request.connection);
    if (it != pendingAcks_.end()) {
      pending = it->second;
      pendingAcks_.erase(it);
    }
  }
  if (!pending || pending->scenario == Scenario::NoEcho) return Silence(Then::Close);
  exchange.scenario = pending->scenario;
  std::string echo = request.body;
  if (pending->scenario == Scenario::WrongEcho) {
    echo.back() = echo.back() == '0' ? '1' : '0';
  } else if (pending->tid == exchange.tid) {
    std::lock_guard lock(mutex_);
    ledger_[exchange.tid] = Standing::Acknowledged;
  }
  return Reply(echo);
}

// "1000:<mid>:<ocb card number>", answered "<code>:<card>:<points>:<message>".
Answer PaymentGateway::OcbQuery(const Request& request, Exchange& exchange) {
  exchange.kind = "OcbQuery";
  const std::string& body = request.body;
  const size_t first = body.find(':');
  const size_t second = first == std::string::npos ? first : body.find(':', first + 1);
  if (body.substr(0, first) != "1000" || second == std::string::npos) {
    exchange.resultCode = "99";
    return Reply("99::0:Bad query");
  }
  exchange.mid = body.substr(first + 1, second - first - 1);
  exchange.resultCode = kApproved;
  return Reply("00:" + body.substr(second + 1) + ":000150:OK");
}

// "%04d" length, a 7-character message code, the RC4 text; answered
// "<code><4-digit result>|<message>".
Answer PaymentGateway::Escrow(const Request& request, Exchange& exchange) {
  exchange.kind = "Escrow";
  const std::string& body = request.body;
  const std::string_view rest =
      std::string_view(body).substr(std::min(body.size(), kEscrowLengthDigits));
  const std::string code(rest.substr(0, kEscrowCodeSize));
  bool known = false;
  for (std::string_view escrowCode : kEscrowCodes) known = known || code == escrowCode;
  if (!known || orv::AsciiToInt(body.substr(0, kEscrowLengthDigits)) !=
                    static_cast<int>(rest.size())) {
    exchange.resultCode = "9999";
    return Reply("ERROR9999|Unknown escrow notice");
  }
  exchange.resultCode = "0000";
  return Reply(code + "0000|Escrow notice accepted");
}

// The items, the sealed block (when given and a key to seal it for is known) as SessionKey and
// Encrypted, and the Tail line signed with the gateway's key. `tamper` signs other bytes.
std::string PaymentGateway::SignedReply(const Items& clear, const Items* sealed,
                                        EVP_PKEY* sealFor, bool tamper) const {
  std::string text = clear.Text();
  if (sealed != nullptr && sealFor != nullptr) {
    // The module's check signs only what stands before the first "Tail": random Base64 must
    // not contain one.
    std::string sessionKey, encrypted;
    for (int attempt = 0; attempt < kResealAttempts; ++attempt) {
      if (orv::SealRequestData(sealFor, sealed->Text(), sessionKey, encrypted) == 1 &&
          sessionKey.find("Tail") == std::string::npos &&
          encrypted.find("Tail") == std::string::npos)
        break;
    }
    text += "SessionKey: " + sessionKey + "\r\nEncrypted: " + encrypted + "\r\n";
  }
  std::string signature;
  orv::SignText(privateKey_.get(), tamper ? text + "tampered" : text, signature);
  return text + "Tail: " + signature + "\r\n";
}

EVP_PKEY* PaymentGateway::MerchantKey(const std::string& mid) {
  if (!orv::IsSafeMerchantId(mid)) return nullptr;
  std::lock_guard lock(mutex_);
  EvpPkeyPtr& key = merchantKeys_[mid];
  if (!key) key = ReadKey(keyDirectory_ + "/gateway/" + mid + "/mpub.pem", true);
  return key.get();
}

std::string PaymentGateway::NextAuthCode() {
  std::lock_guard lock(mutex_);
  return Format("%08d", ++approvals_);
}

}  // namespace testgw
