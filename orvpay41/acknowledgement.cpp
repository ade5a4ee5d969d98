#include "acknowledgement.h"

namespace orv {

int RunAcknowledgement(Transaction& t) {
  t.log.Write(LogLevel::Info, "ACK STARTING");
  return 0;
}

}  // namespace orv
