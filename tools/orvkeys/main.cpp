// orvkeys: makes key files for the payment module and its test gateway (see keymaker.h).
#include <cstdio>
#include <string>
#include <string_view>

#include "keymaker.h"

namespace {

constexpr char kUsage[] =
    "usage: orvkeys gateway DIRECTORY\n"
    "       orvkeys merchant DIRECTORY MID KEYPHRASE\n"
    "Writes DIRECTORY/key/... for the payment module and DIRECTORY/gateway/... for the test\n"
    "gateway; KEYPHRASE is the merchant's \"admin\" value.\n";

}  // namespace

int main(int argc, char** argv) {
  const std::string_view command = argc > 1 ? argv[1] : "";
  std::string error;
  bool ok;
  if (command == "gateway" && argc == 3) {
    ok = orvkeys::MakeGatewayKeys(argv[2], error);
  } else if (command == "merchant" && argc == 5) {
    ok = orvkeys::MakeMerchantKeys(argv[2], argv[3], argv[4], error);
  } else {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (!ok) std::fprintf(stderr, "orvkeys: %s\n", error.c_str());
  return ok ? 0 : 1;
}
