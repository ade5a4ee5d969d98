#include "test_gateway.h"

#include <chrono>
#include <stdexcept>

namespace testgw {

namespace {

constexpr size_t kPrefixSize = 4;
constexpr int kBacklog = 16;

std::string Framed(std::string_view body) {
  const auto length = static_cast<uint32_t>(body.size());
  std::string frame = {static_cast<char>(length >> 24), static_cast<char>(length >> 16),
                       static_cast<char>(length >> 8), static_cast<char>(length)};
  frame.append(body);
  return frame;
}

// A peer that has gone is no concern of the gateway: what it could not send is dropped.
void SendAll(const net::Socket& socket, std::string_view bytes) {
  while (!bytes.empty()) {
    const long n = net::Send(socket, bytes);
    if (n <= 0) return;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
}

// Appends exactly `size` bytes to `out`; false when the peer closed or failed first.
bool ReceiveExactly(const net::Socket& socket, size_t size, std::string& out) {
  const size_t start = out.size();
  out.resize(start + size);
  for (size_t received = 0; received < size;) {
    const long n = net::Receive(socket, out.data() + start + received, size - received);
    if (n <= 0) return false;
    received += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool IsFramedPort(uint16_t port) { return port != 9200 && port != 36000; }

Answer Reply(std::string body, Then then) { return {std::move(body), false, 0, then}; }

Answer Raw(std::string bytes, Then then) { return {std::move(bytes), true, 0, then}; }

Answer Silence(Then then) { return {"", true, 0, then}; }

Answer Late(int delayMs, Answer answer) {
  answer.delayMs = delayMs;
  return answer;
}

TestGateway::TestGateway(const std::string& address, Handler handler)
    : address_(address), handler_(std::move(handler)) {
  const std::optional<uint32_t> parsed = net::ParseIpv4(address);
  if (!parsed || *parsed >> 24 != 127)
    throw std::runtime_error("test gateway: not a loopback address: " + address);
  // Every port is bound before any thread starts, so that a failure leaves nothing running.
  for (size_t i = 0; i < kPorts.size(); ++i) {
    listeners_[i] = net::Listen({*parsed, kPorts[i]}, kBacklog);
    if (!listeners_[i].IsOpen())
      throw std::runtime_error("test gateway: cannot listen on " + address + ":" +
                               std::to_string(kPorts[i]) + " (WSA " +
                               std::to_string(net::LastError()) + ")");
  }
  for (size_t i = 0; i < kPorts.size(); ++i)
    acceptors_[i] = std::thread([this, i] { AcceptLoop(i); });
}

TestGateway::~TestGateway() {
  StopListening();
  std::vector<std::thread> servers;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    for (Connection& connection : live_) net::Shutdown(connection.socket);
    servers.swap(servers_);
  }
  changed_.notify_all();
  for (std::thread& server : servers) server.join();
}

void TestGateway::SetHandler(Handler handler) {
  std::lock_guard lock(mutex_);
  handler_ = std::move(handler);
}

void TestGateway::SetOnAccept(OnAccept onAccept) {
  std::lock_guard lock(mutex_);
  onAccept_ = onAccept;
}

void TestGateway::StopListening() {
  {
    std::lock_guard lock(mutex_);
    if (!listening_) return;
    listening_ = false;
  }
  // A listener shut down stops listening at once and wakes its blocked Accept.
  for (net::Socket& listener : listeners_) net::Shutdown(listener);
  for (std::thread& acceptor : acceptors_) acceptor.join();
  for (net::Socket& listener : listeners_) listener.Close();
}

std::vector<Request> TestGateway::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

int TestGateway::Accepted(uint16_t port) const {
  std::lock_guard lock(mutex_);
  for (size_t i = 0; i < kPorts.size(); ++i)
    if (kPorts[i] == port) return accepted_[i];
  return 0;
}

bool TestGateway::AwaitOpenConnections(size_t count, int timeoutMs) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return live_.size() == count; });
}

void TestGateway::AcceptLoop(size_t portIndex) {
  for (;;) {
    net::Socket socket = net::Accept(listeners_[portIndex]);
    std::lock_guard lock(mutex_);
    if (!listening_) return;
    if (!socket.IsOpen()) continue;  // the client gave up before it was accepted
    ++accepted_[portIndex];
    Connection& connection =
        live_.emplace_back(Connection{std::move(socket), kPorts[portIndex], ++connections_});
    servers_.emplace_back([this, &connection] { Serve(connection); });
    changed_.notify_all();
  }
}

void TestGateway::Serve(Connection& connection) {
  OnAccept onAccept;
  {
    std::lock_guard lock(mutex_);
    onAccept = onAccept_;
  }
  if (onAccept != OnAccept::Serve)
    return End(connection, onAccept == OnAccept::Reset ? Then::Reset : Then::Close);

  for (int sequence = 1;; ++sequence) {
    Request request{connection.port, connection.ordinal, sequence, {}, {}};
    bool oversized = false;
    if (!ReadRequest(connection, request, oversized))
      return End(connection, oversized ? Then::Reset : Then::Close);
    Handler handler;
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
      handler = handler_;
    }
    const Answer answer = handler ? handler(request) : Silence();
    if (answer.delayMs > 0 && !SleepUnlessStopping(answer.delayMs))
      return End(connection, Then::Close);
    const bool framed = !answer.raw && IsFramedPort(connection.port);
    SendAll(connection.socket, framed ? Framed(answer.bytes) : answer.bytes);
    if (answer.then != Then::ReadNext) return End(connection, answer.then);
  }
}

bool TestGateway::ReadRequest(Connection& connection, Request& request, bool& oversized) {
  const net::Socket& socket = connection.socket;
  if (!IsFramedPort(connection.port)) {
    request.wire.resize(kUnframedRequestLimit);
    const long n = net::Receive(socket, request.wire.data(), request.wire.size());
    if (n <= 0) return false;
    request.wire.resize(static_cast<size_t>(n));
    request.body = request.wire;
    return true;
  }
  if (!ReceiveExactly(socket, kPrefixSize, request.wire)) return false;
  const auto* prefix = reinterpret_cast<const unsigned char*>(request.wire.data());
  const uint32_t length = uint32_t{prefix[0]} << 24 | uint32_t{prefix[1]} << 16 |
                          uint32_t{prefix[2]} << 8 | uint32_t{prefix[3]};
  if (length > kMaxRequestBody) {
    oversized = true;
    return false;
  }
  if (!ReceiveExactly(socket, length, request.wire)) return false;
  request.body = request.wire.substr(kPrefixSize);
  return true;
}

bool TestGateway::SleepUnlessStopping(int delayMs) {
  std::unique_lock lock(mutex_);
  return !changed_.wait_for(lock, std::chrono::milliseconds(delayMs), [this] { return stopping_; });
}

void TestGateway::End(Connection& connection, Then then) {
  std::lock_guard lock(mutex_);
  if (then == Then::Reset) {
    connection.socket.Abort();
  } else {
    connection.socket.Close();
  }
  live_.remove_if([&connection](const Connection& c) { return &c == &connection; });
  changed_.notify_all();
}

}  // namespace testgw
