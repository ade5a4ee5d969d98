// Blocking IPv4 TCP sockets as Winsock 1.1 offered them to the components: a process-wide
// start-up count, error numbers that are the Winsock ones, a connect that gives up after the
// Winsock time, and a readability wait.
//
// Errors: every call that fails stores a Winsock error number (mapped from errno) in the
// calling thread's last error, read with LastError(); successful calls leave it alone, and a
// wait that runs out of time sets it to 0.
// Thread-safety: the start-up count and the last error may be used from any thread; one
// Socket is used by one thread at a time (Shutdown excepted, see there).
// Signals: nothing here raises SIGPIPE; a send to a closed connection fails with WSAECONNRESET.
// Times are whole milliseconds (this header stays free of <chrono>, whose C++20 unit texts
// cannot be compiled for code page 949 targets).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace net {

// Winsock error numbers.
inline constexpr int WSAEINTR = 10004;
inline constexpr int WSAEACCES = 10013;
inline constexpr int WSAEFAULT = 10014;
inline constexpr int WSAEINVAL = 10022;
inline constexpr int WSAEMFILE = 10024;
inline constexpr int WSAEWOULDBLOCK = 10035;
inline constexpr int WSAEINPROGRESS = 10036;
inline constexpr int WSAEALREADY = 10037;
inline constexpr int WSAENOTSOCK = 10038;
inline constexpr int WSAEDESTADDRREQ = 10039;
inline constexpr int WSAEMSGSIZE = 10040;
inline constexpr int WSAEPROTOTYPE = 10041;
inline constexpr int WSAENOPROTOOPT = 10042;
inline constexpr int WSAEPROTONOSUPPORT = 10043;
inline constexpr int WSAESOCKTNOSUPPORT = 10044;
inline constexpr int WSAEOPNOTSUPP = 10045;
inline constexpr int WSAEPFNOSUPPORT = 10046;
inline constexpr int WSAEAFNOSUPPORT = 10047;
inline constexpr int WSAEADDRINUSE = 10048;
inline constexpr int WSAEADDRNOTAVAIL = 10049;
inline constexpr int WSAENETDOWN = 10050;
inline constexpr int WSAENETUNREACH = 10051;
inline constexpr int WSAENETRESET = 10052;
inline constexpr int WSAECONNABORTED = 10053;
inline constexpr int WSAECONNRESET = 10054;
inline constexpr int WSAENOBUFS = 10055;
inline constexpr int WSAEISCONN = 10056;
inline constexpr int WSAENOTCONN = 10057;
inline constexpr int WSAESHUTDOWN = 10058;
inline constexpr int WSAETIMEDOUT = 10060;
inline constexpr int WSAECONNREFUSED = 10061;
inline constexpr int WSAELOOP = 10062;
inline constexpr int WSAENAMETOOLONG = 10063;
inline constexpr int WSAEHOSTDOWN = 10064;
inline constexpr int WSAEHOSTUNREACH = 10065;
inline constexpr int WSANOTINITIALISED = 10093;
inline constexpr int WSASYSCALLFAILURE = 10107;  // an errno that Winsock has no number for

// The Winsock number for an errno value; WSASYSCALLFAILURE for one it has none for, 0 for 0.
int WinsockError(int errnoValue);

// The calling thread's last error (WSAGetLastError / WSASetLastError).
int LastError();
void SetLastError(int error);

// The start-up count (WSAStartup / WSACleanup). While it is zero no socket can be created
// (WSANOTINITIALISED). Startup always succeeds and returns 0; Cleanup returns 0, or -1 with
// WSANOTINITIALISED when the count is already zero. Open sockets are not touched by either.
int Startup();
int Cleanup();
int StartupCount();

// One Startup for the lifetime of the object.
class Session {
 public:
  Session() { Startup(); }
  ~Session() { Cleanup(); }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
};

// An IPv4 address (host byte order) and port.
struct Endpoint {
  uint32_t address = 0;
  uint16_t port = 0;
};

// Strict dotted decimal ("a.b.c.d", each 0-255); nullopt for anything else, "" included.
std::optional<uint32_t> ParseIpv4(std::string_view dotted);
std::string FormatIpv4(uint32_t address);

// The connect time-out of the platform the components were built for.
inline constexpr int kConnectTimeoutMs = 21'000;

// An open TCP socket, closed when the object goes; move-only. Blocking.
class Socket {
 public:
  Socket() = default;
  ~Socket() { Close(); }
  Socket(Socket&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  void Close();
  // Closes with a reset (RST) in place of the orderly end of the connection.
  void Abort();

 private:
  friend Socket TcpSocket();
  friend Socket Accept(const Socket& listener);
  friend int Descriptor(const Socket& socket);
  explicit Socket(int fd) : fd_(fd) {}
  int fd_ = -1;
};

// A new IPv4 stream socket; a closed Socket on failure.
Socket TcpSocket();

// Connects `socket` to `peer`. An attempt that gets no answer within `timeoutMs` fails with
// WSAETIMEDOUT. The addresses 0.0.0.0 and 255.255.255.255 fail at once with
// WSAEADDRNOTAVAIL, as Winsock has it. The socket stays blocking either way.
bool Connect(const Socket& socket, Endpoint peer, int timeoutMs = kConnectTimeoutMs);

// Whether more bytes follow at once. With MoreFollows the kernel holds these bytes back to
// leave together with the next send, so a length prefix and its body go out as one segment
// rather than the body waiting out the peer's delayed acknowledgement (Nagle's rule).
enum class SendMode { Last, MoreFollows };

// One send call (send): the number of bytes sent, or -1.
long Send(const Socket& socket, std::string_view bytes, SendMode mode = SendMode::Last);

// One receive call (recv): bytes read (at most `size`), 0 when the peer has closed the
// connection, or -1.
long Receive(const Socket& socket, char* buffer, size_t size);

// The outcomes of a readability wait (select with one socket in its read set).
enum class WaitResult {
  Readable,     // data, the peer's close or a reset is waiting
  TimedOut,     // last error 0: running out of time is no socket error
  Failed,       // the wait itself failed (a closed Socket gives WSAENOTSOCK)
  NotReadable,  // the wait ended for the socket without it being readable
};
WaitResult WaitReadable(const Socket& socket, int timeoutMs);

// Server side. Listen binds (with address reuse, so that a restarted server gets its port
// back at once) and listens; a closed Socket on failure.
Socket Listen(Endpoint local, int backlog);
Socket Accept(const Socket& listener);

// Ends the connection in both directions without closing the descriptor. Safe to call from
// another thread while the owner blocks in Receive or Accept, which then return.
bool Shutdown(const Socket& socket);

}  // namespace net
