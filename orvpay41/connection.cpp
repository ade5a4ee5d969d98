#include "connection.h"

#include <array>
#include <cstring>
#include <limits>

namespace orv {

namespace {

constexpr int kAttempts = 4;
constexpr size_t kPrefixSize = 4;

struct KindRow {
  ConnectionKind kind;
  uint16_t port;
  bool framed;
};

constexpr std::array kKinds = {
    KindRow{ConnectionKind::Standard, 9102, true},
    KindRow{ConnectionKind::Confirm, 9004, true},
    KindRow{ConnectionKind::NetCancel, 9102, true},
    KindRow{ConnectionKind::OcbQuery, 9200, false},
    KindRow{ConnectionKind::Billing, 9400, true},
    KindRow{ConnectionKind::Escrow, 36000, false},
};
constexpr KindRow kOtherKind{ConnectionKind::Standard, 9102, true};

const KindRow& RowOf(ConnectionKind kind) {
  for (const KindRow& row : kKinds)
    if (row.kind == kind) return row;
  return kOtherKind;
}

// A blocking send of a non-empty buffer returns 0 only when nothing can be sent at all, so
// zero counts as failure like an error does.
bool SendAll(const net::Socket& socket, std::string_view bytes,
             net::SendMode mode = net::SendMode::Last) {
  while (!bytes.empty()) {
    const long n = net::Send(socket, bytes, mode);
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// The text of a reply ends at its first zero byte.
std::string UpToZero(const char* bytes, size_t size) {
  return std::string(bytes, strnlen(bytes, size));
}

}  // namespace

uint16_t PortOf(ConnectionKind kind) { return RowOf(kind).port; }

bool IsFramed(ConnectionKind kind) { return RowOf(kind).framed; }

const std::string& GatewayConnection::AttemptAddress(int attempt) const {
  if (testMode) return gateways.test;
  if (attempt == 0 || escrowMode) return gateways.primary;
  if (attempt == 1) return gateways.firstBackup;
  if (attempt == 2) return gateways.secondBackup;
  return subPgAddress;
}

int GatewayConnection::Fail(int code) {
  lastError = net::LastError();
  return code;
}

int GatewayConnection::FailWithoutSocketError(int code) {
  lastError = 0;
  return code;
}

int GatewayConnection::Connect() {
  // A connection still open from an earlier exchange is given up, not leaked.
  Close();
  const uint16_t port = PortOf(kind);
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    net::Socket socket = net::TcpSocket();
    if (!socket.IsOpen()) return Fail(kSocketCreateFailed);
    // An address that does not parse becomes 0.0.0.0, which no connect reaches.
    address_ = {net::ParseIpv4(AttemptAddress(attempt)).value_or(0), port};
    if (net::Connect(socket, address_)) {
      socket_ = std::move(socket);
      return 1;
    }
  }
  return Fail(kConnectFailed);
}

int GatewayConnection::SendFrame(std::string_view text) {
  if (IsFramed(kind)) {
    if (text.size() > std::numeric_limits<uint32_t>::max()) {
      net::SetLastError(net::WSAEMSGSIZE);
      return Fail(kSendPrefixFailed);
    }
    const auto length = static_cast<uint32_t>(text.size());
    const char prefix[kPrefixSize] = {static_cast<char>(length >> 24),
                                      static_cast<char>(length >> 16),
                                      static_cast<char>(length >> 8), static_cast<char>(length)};
    if (!SendAll(socket_, std::string_view(prefix, kPrefixSize), net::SendMode::MoreFollows))
      return Fail(kSendPrefixFailed);
  }
  if (!SendAll(socket_, text)) return Fail(kSendBodyFailed);
  return 1;
}

int GatewayConnection::ReceiveFrame(std::string& text, int waitMs) {
  if (!IsFramed(kind)) return ReceiveUnframed(text, waitMs);

  unsigned char prefix[kPrefixSize];
  const int prefixResult =
      ReceiveExactly(reinterpret_cast<char*>(prefix), kPrefixSize, kReceivePrefixFailed, waitMs);
  if (prefixResult != 1) return prefixResult;
  const uint32_t length = uint32_t{prefix[0]} << 24 | uint32_t{prefix[1]} << 16 |
                          uint32_t{prefix[2]} << 8 | uint32_t{prefix[3]};
  // Refused before a byte of it is read or allocated: the length is the peer's word only.
  if (length > kMaxReplyBody) {
    net::SetLastError(net::WSAEMSGSIZE);
    return Fail(kReceiveBodyFailed);
  }
  std::string body(length, '\0');
  const int bodyResult = ReceiveExactly(body.data(), length, kReceiveBodyFailed, waitMs);
  if (bodyResult != 1) return bodyResult;
  text = UpToZero(body.data(), body.size());
  return text.empty() ? FailWithoutSocketError(kEmptyReply) : 1;
}

int GatewayConnection::ReceiveUnframed(std::string& text, int waitMs) {
  const int ready = WaitReadable(waitMs);
  if (ready != 1) return ready;
  char buffer[kUnframedReplyLimit];
  const long n = net::Receive(socket_, buffer, sizeof buffer);
  if (n < 0) return Fail(kReceiveBodyFailed);
  if (n == 0) return FailWithoutSocketError(kPeerClosed);
  text = UpToZero(buffer, static_cast<size_t>(n));
  return text.empty() ? FailWithoutSocketError(kEmptyReply) : 1;
}

int GatewayConnection::ReceiveExactly(char* buffer, size_t size, int failureCode,
                                      int waitMs) {
  for (size_t received = 0; received < size;) {
    const int ready = WaitReadable(waitMs);
    if (ready != 1) return ready;
    const long n = net::Receive(socket_, buffer + received, size - received);
    if (n < 0) return Fail(failureCode);
    if (n == 0) return FailWithoutSocketError(kPeerClosed);
    received += static_cast<size_t>(n);
  }
  return 1;
}

int GatewayConnection::WaitReadable(int waitMs) {
  switch (net::WaitReadable(socket_, waitMs)) {
    case net::WaitResult::Readable: return 1;
    case net::WaitResult::TimedOut: return Fail(kWaitTimedOut);
    case net::WaitResult::Failed: return Fail(kWaitFailed);
    case net::WaitResult::NotReadable: break;
  }
  return Fail(kWaitNotReadable);
}

}  // namespace orv
