// printf into a std::string: the fixed texts of log lines and result messages are printf
// formats, so they read here as the system writes them.
#pragma once

#include <string>

namespace orv {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace orv
