// Arbitrary bytes as the gateway's reply and its opened sealed block, for every action type.
#include <fuzzer/FuzzedDataProvider.h>

#include <string_view>

#include "reply.h"

namespace {

constexpr std::string_view kTypes[] = {
    "securepay", "secure_pay", "ocbsave", "formpay",  "receipt",       "cancel",
    "confirm",   "capture",    "repay",   "reqrealbill", "auth",       "auth_bill",
    "formauth",  "formauth_bill", "ocbquery", "escrow", "inquiry",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  orv::TransactionFields fields;
  fields.type = input.PickValueInArray(kTypes);
  fields.replyMessage = input.ConsumeRandomLengthString(size);
  fields.decryptedReply = input.ConsumeRemainingBytesAsString();
  orv::ParseReply(fields);

  if (fields.extraResults.Count() > static_cast<int>(orv::ExtraResults::kCapacity))
    __builtin_trap();
  for (const orv::ExtraResults::Entry& entry : fields.extraResults.Entries())
    if (fields.GetNamedResult(entry.name).size() > size) __builtin_trap();
  return 0;
}
