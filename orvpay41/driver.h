// The transaction driver: carries one transaction from the script's fields to the gateway and
// back. It checks the fields, makes the transaction identifier, loads the keys, seals, composes
// and signs the request, exchanges it with the gateway, checks, opens and parses the reply,
// and either ends the run or leaves it awaiting the script's Ack. Every step writes its fixed
// log line; the action type's profile decides which steps run.
#pragma once

#include "transaction.h"

namespace orv {

// What StartAction runs once the log is open and its START line written. The outcome is in
// the result fields: on any failure resultcode "01" and a result message naming the code and
// the action. Ends the run (END line, log, connection and socket library let go) on every
// path but one: an acknowledged type answered "00" ends with "WAIT ACK INVOKING", keeping the
// connection, the log and a start of the socket library for RunAcknowledgement.
void RunTransaction(Transaction& transaction);

}  // namespace orv
