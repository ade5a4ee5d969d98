#include "format.h"

#include <cstdarg>
#include <cstdio>

namespace orv {

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list measuring;
  va_copy(measuring, args);
  const int size = std::vsnprintf(nullptr, 0, format, measuring);
  va_end(measuring);
  std::string text(size > 0 ? static_cast<size_t>(size) : 0, '\0');
  if (size > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
  va_end(args);
  return text;
}

}  // namespace orv
