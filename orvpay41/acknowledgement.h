// Acknowledgement and network cancel. An approved payment of an acknowledged type stays
// pending at the gateway until the script's Ack sends "Ack:" + TID on the connection the
// driver left open and the gateway echoes it. An acknowledgement that fails, and the driver's
// failures after sending for some types, ask the gateway to undo the transaction with a
// network cancel on a new connection.
//
// Both run on the caller's thread and block it for their exchange; a transaction is used by
// one thread at a time.
#pragma once

#include "fields.h"
#include "transaction.h"

namespace orv {

inline constexpr int kAckEchoMismatch = 9402;
inline constexpr int kNetCancelConnectFailed = 9403;
inline constexpr int kNetCancelSendFailed = 9404;
inline constexpr int kNetCancelReceiveFailed = 9405;

// The body of the Ack method: 1 when the gateway echoed the acknowledgement, else 0.
// Runs only for a transaction whose last run ended awaiting Ack, with an acknowledged type
// and the result code "00"; any other call (a second Ack included) only writes "ACK STARTING"
// and returns 0 without touching the network or the result fields. A failed exchange sets
// the result code "01", empties `authcode` and sends a network cancel. Either way the
// exchange ends the run: END line, log and connection closed, socket library released.
int RunAcknowledgement(Transaction& transaction);

// Sends the signed network cancel of `fields` (mid, tid) on a connection of its own: to the
// Billing port after reqrealbill, otherwise the NetCancel port. 0 when the gateway reports
// the transaction cancelled, 1 when it answers any other result code, or 9403 (connect),
// 9404 (send), 9405 (receive). The caller holds a start of the socket library.
int SendNetCancel(const TransactionFields& fields);

// SendNetCancel, with its outcome written to the transaction's log.
void ReportNetCancel(Transaction& transaction);

}  // namespace orv
