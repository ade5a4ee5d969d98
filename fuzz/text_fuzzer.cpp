// Arbitrary bytes as the text, name, line end and separator of the message text helpers.
#include <fuzzer/FuzzedDataProvider.h>

#include "text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string name = input.ConsumeRandomLengthString(64);
  const std::string lineEnd = input.ConsumeRandomLengthString(8);
  const std::string separator = input.ConsumeRandomLengthString(8);
  const std::string text = input.ConsumeRemainingBytesAsString();

  // A value is always a piece of the text.
  const std::string value = orv::GetItemValue(text, name, lineEnd, separator);
  if (text.find(value) == std::string::npos) __builtin_trap();

  for (const std::string& delimiter : {separator, lineEnd}) {
    const int count = orv::CountDelimiters(text, delimiter);
    if (count < 0 || static_cast<size_t>(count) > text.size()) __builtin_trap();
  }
  return 0;
}
