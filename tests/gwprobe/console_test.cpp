// The checker program without a display: it tests the gateway at once and answers on standard
// output and in its exit status. The program under test connects to kProbedAddress, and
// every test here that lets it connect holds the CTest lock on that address.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <string>
#include <vector>

#include "net/net.h"

extern char** environ;

namespace {

constexpr char kProgram[] = GWPROBE_UNDER_TEST;
constexpr char kProbedAddress[] = GWPROBE_TEST_ADDRESS;

// What the program printed and how it ended.
struct Outcome {
  std::string output;
  int status = -1;  // the exit status; -1 when it did not exit by itself in time
};

// The environment with no display, so that GTK cannot start.
std::vector<std::string> EnvironmentWithoutDisplay() {
  std::vector<std::string> variables;
  for (char** entry = environ; *entry; ++entry) {
    const std::string variable = *entry;
    if (variable.starts_with("DISPLAY=") || variable.starts_with("WAYLAND_DISPLAY=") ||
        variable.starts_with("GDK_BACKEND="))
      continue;
    variables.push_back(variable);
  }
  variables.push_back("GDK_BACKEND=x11");
  variables.push_back("NO_AT_BRIDGE=1");
  return variables;
}

// Runs `program` with `environment` and no arguments; kills it after `timeoutMs`.
Outcome RunProgram(const char* program, const std::vector<std::string>& environment, int timeoutMs) {
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  std::vector<char*> envp;
  for (const std::string& variable : environment)
    envp.push_back(const_cast<char*>(variable.c_str()));
  envp.push_back(nullptr);
  char* argv[] = {const_cast<char*>(program), nullptr};
  pid_t pid = 0;
  const int spawned = ::posix_spawn(&pid, program, &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeEnds[1]);
  Outcome outcome;
  if (spawned != 0) {
    ::close(pipeEnds[0]);
    return outcome;
  }

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  pollfd entry{pipeEnds[0], POLLIN, 0};
  bool timedOut = false;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) == 0) {
      timedOut = true;
      break;
    }
    char buffer[512];
    const ssize_t n = ::read(pipeEnds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    outcome.output.append(buffer, static_cast<size_t>(n));
  }
  ::close(pipeEnds[0]);
  if (timedOut) ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!timedOut && WIFEXITED(status)) outcome.status = WEXITSTATUS(status);
  return outcome;
}

// A listener on the probed address, or a closed port when not `open`.
net::Socket ListenerOn(uint16_t port, bool open) {
  if (!open) return net::Socket();
  return net::Listen({*net::ParseIpv4(kProbedAddress), port}, 4);
}

// A connection waits in the listener's queue: the program connected (and has closed again).
bool SawConnection(const net::Socket& listener) {
  return net::WaitReadable(listener, 0) == net::WaitResult::Readable;
}

struct Case {
  const char* name;
  bool open9102;
  bool open9004;
  const char* output;
  int status;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class ConsoleMode : public ::testing::TestWithParam<Case> {
  net::Session session_;
};

TEST_P(ConsoleMode, TestsAtOnceAndAnswersOnStandardOutput) {
  const Case& c = GetParam();
  const net::Socket listener9102 = ListenerOn(9102, c.open9102);
  const net::Socket listener9004 = ListenerOn(9004, c.open9004);
  ASSERT_EQ(listener9102.IsOpen(), c.open9102);
  ASSERT_EQ(listener9004.IsOpen(), c.open9004);

  const Outcome outcome = RunProgram(kProgram, EnvironmentWithoutDisplay(), 30'000);

  EXPECT_EQ(outcome.output, c.output);
  EXPECT_EQ(outcome.status, c.status);
  if (c.open9102) {
    EXPECT_TRUE(SawConnection(listener9102));
  }
  if (c.open9004) {  // tried only when 9102 answered: the test stops at the first failure
    EXPECT_EQ(SawConnection(listener9004), c.open9102);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Gateway, ConsoleMode,
    ::testing::Values(
        Case{"BothPortsOpen", true, true, "TEST PASSED\n", 0},
        Case{"Port9102Refused", false, true, "connect() fail (port 9102, LastError:10061)\n", 1},
        Case{"Port9004Refused", true, false, "connect() fail (port 9004, LastError:10061)\n", 1},
        Case{"BothRefused", false, false, "connect() fail (port 9102, LastError:10061)\n", 1}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
