// Acknowledgement of an approved payment: the body of the Ack method.
#pragma once

#include "transaction.h"

namespace orv {

// 1 when the payment was acknowledged; 0 when it was not (not awaiting one, or it failed).
int RunAcknowledgement(Transaction& transaction);

}  // namespace orv
