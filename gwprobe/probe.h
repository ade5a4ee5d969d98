// The gateway connectivity test: can this machine open TCP connections to the payment
// gateway's primary address on the ports of its two main services?
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace gwprobe {

// The caption of the program's message boxes.
inline constexpr char kProgramName[] = "gwprobe";

// String 103, shown when the socket support cannot start with the program.
inline constexpr std::string_view kSocketsInitFailed = "Windows sockets initialization failed.";

inline constexpr std::string_view kTestPassed = "TEST PASSED";

// Connects to `address` (IPv4, host byte order) on port 9102 and then on port 9004, with the
// platform's connect time-out, and closes each connection unused. Stops at the first failure.
// Returns the message to show: kTestPassed, or the failing step with its Winsock error number.
// Takes and releases its own start-up of the socket library.
std::string RunConnectionTest(uint32_t address);

}  // namespace gwprobe
