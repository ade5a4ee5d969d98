// TestGateway: a stand-in for the payment gateway that tests run in-process and the
// testgateway program serves from. A real TCP server on one loopback address, listening on
// the gateway's five ports with each port's framing; a handler decides, request by request,
// what it answers and how the connection goes on, and every request is recorded.
//
// Threads: one per listening port and one per connection. The handler is called on the
// connection's thread, possibly on several at once, so it must be safe to call concurrently.
// Every other member may be called from any thread.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/net.h"

namespace testgw {

inline constexpr std::array<uint16_t, 5> kPorts = {9102, 9004, 9200, 9400, 36000};

// 9200 (OCB query) and 36000 (escrow) carry messages without the length prefix.
bool IsFramedPort(uint16_t port);

// A request announcing a longer body is not read: the connection is reset at once.
inline constexpr uint32_t kMaxRequestBody = 1 << 20;
// Most bytes taken from the single read of an unframed request.
inline constexpr size_t kUnframedRequestLimit = 64 * 1024;

struct Request {
  uint16_t port = 0;
  int connection = 0;  // the connection's ordinal on this gateway, from 1
  int sequence = 0;    // the request's ordinal on its connection, from 1
  std::string body;    // the frame's body, or the bytes of the one unframed read
  std::string wire;    // every byte read for it, a length prefix included
};

// How the gateway's turn ends.
enum class Then {
  Close,     // orderly close
  Reset,     // abortive close: the peer sees a reset
  ReadNext,  // keep the connection and read the next request (an acknowledgement, say)
};

struct Answer {
  std::string bytes;
  bool raw = false;  // true: `bytes` go out as they stand; false: framed as the port frames
  int delayMs = 0;   // waited before sending; the gateway's shutdown cuts it short
  Then then = Then::Close;
};

// `body` framed as the request's port frames messages.
Answer Reply(std::string body, Then then = Then::Close);
// Exactly `bytes`, whatever the port: a partial or lying length prefix, say.
Answer Raw(std::string bytes, Then then = Then::Close);
// Sends nothing.
Answer Silence(Then then = Then::Close);
// `answer`, sent after `delayMs`.
Answer Late(int delayMs, Answer answer);

using Handler = std::function<Answer(const Request&)>;

// What happens once a connection is accepted, before anything is read.
enum class OnAccept { Serve, Close, Reset };

class TestGateway {
 public:
  // Listens on `address`, which must lie in 127.0.0.0/8, at every port of kPorts. Throws
  // std::runtime_error when the address is not loopback or a port cannot be bound.
  // Without a handler every request is answered with Silence().
  explicit TestGateway(const std::string& address, Handler handler = {});
  // Stops listening, ends every connection and joins every thread.
  ~TestGateway();
  TestGateway(const TestGateway&) = delete;
  TestGateway& operator=(const TestGateway&) = delete;

  void SetHandler(Handler handler);
  void SetOnAccept(OnAccept onAccept);
  // Closes the listeners: every later connect to this address is refused.
  void StopListening();

  const std::string& Address() const { return address_; }
  // Every request read so far, in the order they were read.
  std::vector<Request> Requests() const;
  // Connections accepted so far on `port`.
  int Accepted(uint16_t port) const;
  // Waits until exactly `count` accepted connections are still open (neither end has closed
  // them as far as the gateway has seen); false when `timeoutMs` passes first.
  bool AwaitOpenConnections(size_t count, int timeoutMs) const;

 private:
  struct Connection {
    net::Socket socket;
    uint16_t port;
    int ordinal;
  };

  void AcceptLoop(size_t portIndex);
  void Serve(Connection& connection);
  bool ReadRequest(Connection& connection, Request& request, bool& oversized);
  bool SleepUnlessStopping(int delayMs);
  void End(Connection& connection, Then then);

  const std::string address_;
  net::Session session_;
  std::array<net::Socket, kPorts.size()> listeners_;
  std::array<std::thread, kPorts.size()> acceptors_;

  // Guards everything below, and every close or shutdown of a connection's socket.
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;  // stopping_ or live_ changed
  bool stopping_ = false;
  bool listening_ = true;
  Handler handler_;
  OnAccept onAccept_ = OnAccept::Serve;
  std::vector<Request> requests_;
  std::array<int, kPorts.size()> accepted_{};
  int connections_ = 0;
  std::list<Connection> live_;
  std::vector<std::thread> servers_;
};

}  // namespace testgw
