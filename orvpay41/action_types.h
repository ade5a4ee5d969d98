// The action types a transaction can run: their Korean labels (used in every failure
// message), per type the steps the transaction driver takes, and the check of the fields
// each type requires.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "connection.h"
#include "fields.h"

namespace orv {

// The Korean label of a type value (compared without regard to case), in code page 949.
// formauth_bill has the empty label; values outside the table have none.
std::optional<std::string_view> TypeLabel(std::string_view type);

// Which steps of the driver run for a type, where it connects, and when a failure after
// sending is followed by a network cancel.
struct TypeProfile {
  bool makesTid;
  bool loadsKeys;
  bool encryptsFields;
  bool encryptsEscrow;
  bool signsRequest;
  ConnectionKind connectionKind;
  bool checksReplySignature;
  bool decryptsReply;
  bool awaitsAck;                     // when the result code is "00"
  bool netCancelAfterReceiveFailure;
  bool netCancelAfterReplyFailure;    // the reply's signature check or decryption failed
};

// The profile of a type value (compared without regard to case); a value outside the table
// gets the default profile. The reference stays valid for the life of the process.
const TypeProfile& ProfileOf(std::string_view type);

// 1 when the fields the transaction's type requires are all set, otherwise the code of the
// first one found empty (9201-9275). Fills in a missing card expiry for 3-D Secure card
// payments (formpay by card with cavv).
int CheckRequiredFields(TransactionFields& fields);

// The result message of a failed field check: "[%4d][<label>실패|<reason>]", in code page 949.
std::string FieldCheckMessage(int code, const std::string& typeLabel);

}  // namespace orv
