// GatewayConnection: one blocking TCP connection to the payment gateway for one exchange.
// It picks the port from the connection kind, tries the gateway addresses in a fixed order,
// and moves whole messages with a four-byte big-endian length prefix (unframed for the OCB
// query and escrow services). Every operation returns 1 or a 95xx code and, on failure,
// leaves the socket error (a Winsock number) in lastError for the caller's log line; 0 there
// when no socket call failed (the peer closed, the reply was empty, the wait ran out).
// A connection belongs to one transaction and is used by one thread at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "net/net.h"

namespace orv {

enum class ConnectionKind : int32_t {
  Standard = 1,
  Confirm = 2,
  NetCancel = 3,
  OcbQuery = 4,
  Billing = 5,
  Escrow = 13,
};

// The gateway's port for a kind; any value outside the table uses 9102.
uint16_t PortOf(ConnectionKind kind);
// Whether messages of a kind carry the length prefix (all but OcbQuery and Escrow).
bool IsFramed(ConnectionKind kind);

inline constexpr int kSocketCreateFailed = 9501;
inline constexpr int kConnectFailed = 9502;
inline constexpr int kSendPrefixFailed = 9503;
inline constexpr int kSendBodyFailed = 9504;
inline constexpr int kPeerClosed = 9505;
inline constexpr int kReceivePrefixFailed = 9506;
inline constexpr int kReceiveBodyFailed = 9507;
inline constexpr int kEmptyReply = 9508;
inline constexpr int kWaitTimedOut = 9509;
inline constexpr int kWaitFailed = 9510;
inline constexpr int kWaitNotReadable = 9511;

// How long each read of a reply waits for data, in milliseconds.
inline constexpr int kReadWaitMs = 20'000;
// Longest reply body accepted; a longer announced length is refused unread (9507).
inline constexpr uint32_t kMaxReplyBody = 1 << 20;
// Most bytes taken from the single read of an unframed reply.
inline constexpr size_t kUnframedReplyLimit = 1024;

// The gateway operator's four addresses, dotted IPv4 texts; a deployment value.
struct GatewayAddresses {
  std::string primary;
  std::string firstBackup;
  std::string secondBackup;
  std::string test;
};

// The values compiled in from the CMake cache (cmake/Deployment.cmake).
GatewayAddresses CompiledGatewayAddresses();

// Name of the override file that sits in the module's directory.
inline constexpr char kGatewayOverrideFile[] = "orvpay41.conf";

// The addresses for the module in `moduleDirectory` (ending with "/"): the compiled-in values
// with those that "<moduleDirectory>orvpay41.conf" names put in their place. The file is read
// the first time a directory is asked for and remembered for the life of the process; a
// missing, unreadable or malformed file leaves every compiled-in value. Thread-safe.
GatewayAddresses GatewayAddressesOf(const std::string& moduleDirectory);

// The override file's text applied over `base`; nullopt when the text is malformed.
// Format: lines of `name = address` with the names primary, first_backup, second_backup and
// test (each at most once); blank lines and lines starting with '#' are ignored; addresses
// are strict dotted decimal, 0.0.0.0 and 255.255.255.255 excluded; at most 4096 bytes.
std::optional<GatewayAddresses> ParseGatewayOverride(std::string_view text,
                                                     GatewayAddresses base);

class GatewayConnection {
 public:
  // Connects to the kind's port at up to four addresses in order (see AttemptAddress), with
  // a fresh socket per attempt; an address that is not dotted IPv4 (an empty spgip) fails at
  // once. A connection still open is closed first. 1, 9501 (no socket: also while the socket
  // library is not started, net::Startup) or 9502 (no address accepted).
  int Connect();
  // 1, 9503 (the length prefix could not be sent) or 9504 (the body could not be sent).
  int SendFrame(std::string_view text);
  // The reply, cut at its first zero byte. 1, or 9505 to 9511. `text` changes only when a
  // reply was read (9508 leaves it empty). Each read waits at most `waitMs` for data.
  int ReceiveFrame(std::string& text, int waitMs = kReadWaitMs);
  // 1, 9509 (no data within `waitMs`), 9510 (the wait failed), 9511 (ended, not readable).
  int WaitReadable(int waitMs = kReadWaitMs);
  void Close() { socket_.Close(); }
  bool IsOpen() const { return socket_.IsOpen(); }
  // The address that Connect reached (while connecting: the one being tried), dotted.
  std::string PeerAddress() const { return net::FormatIpv4(address_.address); }

  // Address of attempt 0 to 3: the test address in test mode, else the primary address,
  // then in escrow mode the primary address again, else the first backup, the second
  // backup and the sub-gateway address.
  const std::string& AttemptAddress(int attempt) const;

  // The socket error of the last failure, a Winsock number, for the caller's log line.
  int lastError = 0;
  // Set by the owner before Connect: the kind, spgip, the modes, and the gateways as
  // GatewayAddressesOf(fields.moduleDirectory) gives them, so that the override file counts.
  // The socket is closed by Close or with the object.
  ConnectionKind kind = ConnectionKind::Standard;
  std::string subPgAddress;  // the field spgip
  int testMode = 0;
  int escrowMode = 0;
  GatewayAddresses gateways = CompiledGatewayAddresses();

 private:
  int Fail(int code);
  int FailWithoutSocketError(int code);
  int ReceiveUnframed(std::string& text, int waitMs);
  int ReceiveExactly(char* buffer, size_t size, int failureCode, int waitMs);

  net::Socket socket_;
  net::Endpoint address_;
};

}  // namespace orv
