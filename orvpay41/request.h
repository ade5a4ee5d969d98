// Request messages: the bytes of everything the module sends to the payment gateway.
// Field values go into the messages as they stand: nothing is escaped or quoted, and Base64
// values keep their LF line breaks, so such a header line ends LF CR LF.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "fields.h"

namespace orv {

// Puts the request of the transaction's type into `requestMessage`, replacing what it held:
// a header-form request (to be signed by the caller), the OCB point query or the escrow
// notice. A type outside the dispatch list gives the empty message, an escrow type outside
// the code table the message "error". Composing also changes fields the script can read
// back: `uid` for some types, and the CRs of `sessionkey` and `encrypted` for the types
// that forward data sealed elsewhere.
void MakeRequestMessage(TransactionFields& fields);

// The plain text that EncryptRequestData seals, chosen by type and pay method. Empty for a
// pay method without payment data: the caller must not send such a request as sealed.
std::string MakePlainBlock(const TransactionFields& fields);

// "Ack:" and the transaction identifier, no line end.
std::string MakeAckMessage(const TransactionFields& fields);

// Signs `text`; returns 1 and fills `signature` (Base64 text), or returns a failure code.
using TextSigner = std::function<int(std::string_view text, std::string& signature)>;

// The network cancel of the transaction (`mid`, `tid`), its Tail line signed by `sign`, or
// "TAIL" when signing fails. Touches no field.
std::string MakeNetCancelMessage(const TransactionFields& fields, const TextSigner& sign);

}  // namespace orv
