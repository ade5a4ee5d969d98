// Reply parsing: moves the items of the gateway's reply into the result fields.
#pragma once

#include "fields.h"

namespace orv {

// Reads `replyMessage` and `decryptedReply`, in the form the type's reply takes, into the
// result fields and `extraResults` (refilled from its first entry). Any bytes are accepted;
// an item that is absent empties its field, and a reply of unexpected form gives empty or
// partial results. The OCB point query consumes `replyMessage`: afterwards it holds the text
// after the last ":".
void ParseReply(TransactionFields& fields);

}  // namespace orv
