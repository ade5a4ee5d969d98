#include "net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>

namespace net {

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<int> startupCount{0};
thread_local int lastError = 0;

bool FailWith(int winsockError) {
  lastError = winsockError;
  return false;
}

bool FailWithErrno(int errnoValue) { return FailWith(WinsockError(errnoValue)); }

sockaddr_in ToSockaddr(Endpoint endpoint) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(endpoint.port);
  address.sin_addr.s_addr = htonl(endpoint.address);
  return address;
}

// What is left of `timeoutMs` from `start`, in whole milliseconds rounded up, so that a wait
// never wakes a fraction early only to sleep zero milliseconds in a loop.
int RemainingMs(Clock::time_point start, int timeoutMs) {
  const auto left = std::chrono::milliseconds(timeoutMs) - (Clock::now() - start);
  if (left <= Clock::duration::zero()) return 0;
  return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

// poll() on one descriptor, resumed after signals with the time still left.
int PollOne(pollfd& entry, int timeoutMs) {
  const Clock::time_point start = Clock::now();
  for (;;) {
    const int n = ::poll(&entry, 1, RemainingMs(start, timeoutMs));
    if (n >= 0 || errno != EINTR) return n;
  }
}

// The outcome (an errno value, 0 for success) of a non-blocking connect under way.
int AwaitConnect(int fd, int timeoutMs) {
  pollfd entry{fd, POLLOUT, 0};
  const int n = PollOne(entry, timeoutMs);
  if (n < 0) return errno;
  if (n == 0) return ETIMEDOUT;
  int error = 0;
  socklen_t size = sizeof error;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return errno;
  // A handshake that was refused says ECONNREFUSED; ECONNRESET means the connection was made
  // and the peer reset it before we looked. A blocking connect would have succeeded then, and
  // so does this one: the next send or receive reports the reset.
  return error == ECONNRESET ? 0 : error;
}

}  // namespace

int Descriptor(const Socket& socket) { return socket.fd_; }

int WinsockError(int errnoValue) {
  switch (errnoValue) {
    case 0: return 0;
    case EINTR: return WSAEINTR;
    case EBADF: return WSAENOTSOCK;  // what Winsock says of a handle that is no socket
    case EACCES:
    case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE:
    case ENFILE: return WSAEMFILE;
    case EAGAIN: return WSAEWOULDBLOCK;
    case EINPROGRESS: return WSAEINPROGRESS;
    case EALREADY: return WSAEALREADY;
    case ENOTSOCK: return WSAENOTSOCK;
    case EDESTADDRREQ: return WSAEDESTADDRREQ;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EPROTOTYPE: return WSAEPROTOTYPE;
    case ENOPROTOOPT: return WSAENOPROTOOPT;
    case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP: return WSAEOPNOTSUPP;
    case EPFNOSUPPORT: return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ENETRESET: return WSAENETRESET;
    case ECONNABORTED: return WSAECONNABORTED;
    case ECONNRESET:
    case EPIPE: return WSAECONNRESET;  // writing to a connection the peer has ended
    case ENOBUFS:
    case ENOMEM: return WSAENOBUFS;
    case EISCONN: return WSAEISCONN;
    case ENOTCONN: return WSAENOTCONN;
    case ESHUTDOWN: return WSAESHUTDOWN;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case ELOOP: return WSAELOOP;
    case ENAMETOOLONG: return WSAENAMETOOLONG;
    case EHOSTDOWN: return WSAEHOSTDOWN;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    default: return WSASYSCALLFAILURE;
  }
}

int LastError() { return lastError; }
void SetLastError(int error) { lastError = error; }

int Startup() {
  startupCount.fetch_add(1);
  return 0;
}

int Cleanup() {
  int count = startupCount.load();
  do {
    if (count == 0) {
      FailWith(WSANOTINITIALISED);
      return -1;
    }
  } while (!startupCount.compare_exchange_weak(count, count - 1));
  return 0;
}

int StartupCount() { return startupCount.load(); }

std::optional<uint32_t> ParseIpv4(std::string_view dotted) {
  // inet_pton takes exactly four decimal parts; it reads a terminated copy, so a zero byte
  // (or anything else but digits and dots) must not get that far.
  if (dotted.size() >= INET_ADDRSTRLEN) return std::nullopt;
  for (const char c : dotted)
    if (c != '.' && (c < '0' || c > '9')) return std::nullopt;
  const std::string text(dotted);
  in_addr address{};
  if (::inet_pton(AF_INET, text.c_str(), &address) != 1) return std::nullopt;
  return ntohl(address.s_addr);
}

std::string FormatIpv4(uint32_t address) {
  in_addr in{htonl(address)};
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &in, text, sizeof text);
  return text;
}

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

void Socket::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void Socket::Abort() {
  if (fd_ < 0) return;
  const linger hard{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  Close();
}

Socket TcpSocket() {
  if (StartupCount() == 0) {
    FailWith(WSANOTINITIALISED);
    return Socket();
  }
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) FailWithErrno(errno);
  return Socket(fd);
}

bool Connect(const Socket& socket, Endpoint peer, int timeoutMs) {
  const int fd = Descriptor(socket);
  if (fd < 0) return FailWith(WSAENOTSOCK);
  // Linux would take 0.0.0.0 for this host; Winsock refuses both as destinations.
  if (peer.address == INADDR_ANY || peer.address == INADDR_BROADCAST)
    return FailWith(WSAEADDRNOTAVAIL);

  // The connect runs non-blocking only so that it can be given up after `timeoutMs`; Linux
  // would otherwise keep retrying the handshake for minutes.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return FailWithErrno(errno);
  const sockaddr_in address = ToSockaddr(peer);
  int error = 0;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    error = errno;
    if (error == EINPROGRESS) error = AwaitConnect(fd, timeoutMs);
  }
  ::fcntl(fd, F_SETFL, flags);
  return error == 0 || FailWithErrno(error);
}

long Send(const Socket& socket, std::string_view bytes, SendMode mode) {
  const int flags = MSG_NOSIGNAL | (mode == SendMode::MoreFollows ? MSG_MORE : 0);
  for (;;) {
    const ssize_t n = ::send(Descriptor(socket), bytes.data(), bytes.size(), flags);
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    FailWithErrno(errno);
    return -1;
  }
}

long Receive(const Socket& socket, char* buffer, size_t size) {
  for (;;) {
    const ssize_t n = ::recv(Descriptor(socket), buffer, size, 0);
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    FailWithErrno(errno);
    return -1;
  }
}

WaitResult WaitReadable(const Socket& socket, int timeoutMs) {
  if (!socket.IsOpen()) {
    FailWith(WSAENOTSOCK);
    return WaitResult::Failed;
  }
  pollfd entry{Descriptor(socket), POLLIN, 0};
  const int n = PollOne(entry, timeoutMs);
  if (n < 0) {
    FailWithErrno(errno);
    return WaitResult::Failed;
  }
  if (n == 0) {
    SetLastError(0);
    return WaitResult::TimedOut;
  }
  // select() counts a reset or the peer's close as readable; poll() reports those apart.
  if (entry.revents & (POLLIN | POLLHUP | POLLERR)) return WaitResult::Readable;
  FailWith(WSAENOTSOCK);  // POLLNVAL: the descriptor is not open
  return WaitResult::NotReadable;
}

Socket Listen(Endpoint local, int backlog) {
  Socket socket = TcpSocket();
  if (!socket.IsOpen()) return socket;
  const int fd = Descriptor(socket);
  const int on = 1;
  const sockaddr_in address = ToSockaddr(local);
  if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, backlog) != 0) {
    FailWithErrno(errno);
    return Socket();
  }
  return socket;
}

Socket Accept(const Socket& listener) {
  for (;;) {
    const int fd = ::accept4(Descriptor(listener), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) return Socket(fd);
    if (errno == EINTR) continue;
    FailWithErrno(errno);
    return Socket();
  }
}

bool Shutdown(const Socket& socket) {
  return ::shutdown(Descriptor(socket), SHUT_RDWR) == 0 || FailWithErrno(errno);
}

}  // namespace net
