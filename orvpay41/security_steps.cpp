// The driver's security steps: each applies a primitive to one transaction's fields.
#include "security.h"
#include "text.h"

namespace orv {

namespace {

void TrimTrailingBlanks(std::string& text) { text.erase(text.find_last_not_of(" \t\r\n") + 1); }

}  // namespace

int EncryptRequestData(TransactionFields& fields, std::string_view plainBlock) {
  return SealRequestData(GatewayKey(), plainBlock, fields.sessionkey, fields.encrypted);
}

int EncryptEscrowMessage(TransactionFields& fields) {
  return EncryptEscrowText(fields.escrowmsg, fields.encrypted);
}

// Everything composed so far is signed; the Tail line is always the last of a request.
int SignRequestMessage(TransactionFields& fields) {
  const int code = SignText(fields.merchantKey.get(), fields.requestMessage, fields.signature);
  if (code == 1) fields.requestMessage += "Tail: " + fields.signature + "\r\n";
  return code;
}

int CheckReplySignature(const TransactionFields& fields) {
  std::string signature = GetItemValue(fields.replyMessage, "Tail", "\r\n", ":");
  TrimTrailingBlanks(signature);  // GetItemValue has removed the leading ones
  return VerifyReplySignature(GatewayKey(), fields.replyMessage, signature);
}

int DecryptReply(TransactionFields& fields) {
  const std::string encrypted = GetItemValue(fields.replyMessage, "Encrypted", "\r\n", ":");
  const std::string sessionKey = GetItemValue(fields.replyMessage, "SessionKey", "\r\n", ":");
  return OpenSealedReply(fields.merchantKey.get(), sessionKey, encrypted, fields.decryptedReply);
}

}  // namespace orv
