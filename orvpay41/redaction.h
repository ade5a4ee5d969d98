// Redaction: what the transaction log may show of request and reply data. Secrets never reach
// the log in clear, whatever the debug switch: every dump of fields or messages goes through
// RedactedValue. What goes over the wire is never redacted.
//
// The rules, by item or dump label name (compared without regard to case):
//   KEYPW (the key phrase), OcbPasswd, Passwd, AuthField1, AuthField2, CardPass:  "******"
//   CardNumber, CardResultNumber:  the first 10 bytes, then "******"
//   MerchantReserved3:  a list of name=value items joined by "&", each item redacted by its
//                       own name (a formpay with an OCB card carries OcbPasswd there)
// An empty value stays empty. Every other value, sealed items (SessionKey, Encrypted) and
// signatures included, stays as it is.
#pragma once

#include <string>
#include <string_view>

namespace orv {

// The value of item or dump label `name` as a log dump shows it.
std::string RedactedValue(std::string_view name, std::string_view value);

// A header-form message or reply ("Name: value" lines) with the value of every item redacted
// by its name. Lines end at LF (a CR before it stays with the line), so no arrangement of line
// breaks lets a secret item pass under another item's name; bytes that are not redacted stay
// exactly as they are.
std::string RedactedMessage(std::string_view message);

}  // namespace orv
