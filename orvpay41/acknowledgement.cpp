#include "acknowledgement.h"

#include "action_types.h"
#include "format.h"
#include "request.h"
#include "security.h"
#include "text.h"

namespace orv {

namespace {

constexpr int kCancelled = 0;
constexpr int kNotCancelled = 1;

// The acknowledgement failure end: the approval is withdrawn and the payment cancelled.
int FailAcknowledgement(Transaction& t, const std::string& message) {
  TransactionFields& f = t.fields;
  f.resultcode = "01";
  f.resultmsg = message;
  f.authcode.clear();
  ReportNetCancel(t);
  EndTransaction(t, message);
  return 0;
}

}  // namespace

int RunAcknowledgement(Transaction& t) {
  TransactionFields& f = t.fields;
  t.log.Write(LogLevel::Info, "ACK STARTING");
  // After a finished acknowledgement the result still says "00", but the payment it confirmed
  // must not be touched again.
  if (!t.awaitingAck || !ProfileOf(f.type).awaitsAck || f.resultcode != "00") return 0;
  t.awaitingAck = false;

  // The acknowledgement messages name the payment whatever the action type.
  const std::string acknowledgement = MakeAckMessage(f);
  int code = t.connection.SendFrame(acknowledgement);
  if (code != 1) {
    t.log.Write(LogLevel::Error, Format("ACK SEND FAIL (RTV:%d WSA:%d)", code,
                                        t.connection.lastError));
    t.connection.Close();
    return FailAcknowledgement(t, Format("[%4d][지불실패|ACK 송신 오류]", code));
  }
  t.log.Write(LogLevel::Info, "ACK SEND OK");
  std::string answer;
  code = t.connection.ReceiveFrame(answer);
  if (code != 1) {
    t.log.Write(LogLevel::Error, Format("ACK RECV FAIL (RTV:%d WSA:%d)", code,
                                        t.connection.lastError));
    t.connection.Close();
    return FailAcknowledgement(t, Format("[%4d][지불실패|ACK 수신 오류(ACK)]", code));
  }
  t.log.Write(LogLevel::Info, "ACK RECV OK");
  t.connection.Close();
  if (answer != acknowledgement) {
    t.log.Write(LogLevel::Error, "ACK CHECKSUM FAIL");
    return FailAcknowledgement(t, Format("[%4d][지불실패|ACK CHECKSUM FAIL]", kAckEchoMismatch));
  }
  t.log.Write(LogLevel::Info, "ACK CHECKSUM OK");
  EndTransaction(t, f.resultmsg);
  return 1;
}

int SendNetCancel(const TransactionFields& f) {
  GatewayConnection connection;
  connection.kind =
      EqualsNoCase(f.type, "reqrealbill") ? ConnectionKind::Billing : ConnectionKind::NetCancel;
  connection.subPgAddress = f.spgip;
  connection.testMode = f.testMode;
  connection.gateways = GatewayAddressesOf(f.moduleDirectory);
  if (connection.Connect() != 1) return kNetCancelConnectFailed;

  const std::string message =
      MakeNetCancelMessage(f, [&f](std::string_view text, std::string& signature) {
        return SignText(f.merchantKey.get(), text, signature);
      });
  if (connection.SendFrame(message) != 1) return kNetCancelSendFailed;
  std::string answer;
  if (connection.ReceiveFrame(answer) != 1) return kNetCancelReceiveFailed;
  // The answer is neither signature-checked nor opened: only its result code counts.
  return GetItemValue(answer, "ResultCode", "\r\n", ":") == "00" ? kCancelled : kNotCancelled;
}

void ReportNetCancel(Transaction& t) {
  const int code = SendNetCancel(t.fields);
  if (code == kCancelled) {
    t.log.Write(LogLevel::Info, "NET CANCEL OK(CANCELED)");
  } else if (code == kNotCancelled) {
    t.log.Write(LogLevel::Info, "NET CANCEL OK(NO_SUCH_TRANSACTION)");
  } else {
    t.log.Write(LogLevel::Error, Format("NET CANCEL FAIL(RTV:%d)", code));
  }
}

}  // namespace orv
