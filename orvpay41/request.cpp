#include "request.h"

#include <array>
#include <cstdio>
#include <span>

#include "text.h"

namespace orv {

namespace {

using F = TransactionFields;
using Member = std::string F::*;

// One line of a header-form message or plain block: "name: value" CR LF, the value being a
// field, two fields written one after the other, or a fixed text.
struct Line {
  std::string_view name;
  Member field = nullptr;
  Member nextField = nullptr;
  std::string_view fixed = {};
};

constexpr Line Field(std::string_view name, Member field) { return {name, field}; }
constexpr Line Joined(std::string_view name, Member first, Member second) {
  return {name, first, second};
}
constexpr Line Fixed(std::string_view name, std::string_view value) {
  return {name, nullptr, nullptr, value};
}

void AppendLine(std::string& out, std::string_view name, std::string_view value) {
  out += name;
  out += ": ";
  out += value;
  out += "\r\n";
}

void AppendLines(std::string& out, std::span<const Line> lines, const F& fields) {
  for (const Line& line : lines) {
    out += line.name;
    out += ": ";
    out += line.field ? std::string_view(fields.*line.field) : line.fixed;
    if (line.nextField) out += fields.*line.nextField;
    out += "\r\n";
  }
}

// Type names are lower case; unused slots stay empty and match nothing.
using Names = std::array<std::string_view, 3>;

bool Matches(const Names& names, std::string_view value) {
  for (std::string_view name : names)
    if (!name.empty() && EqualsNoCase(value, name)) return true;
  return false;
}

// ---- Header form ----------------------------------------------------------------------

enum class Sealing { None, Sealed };

// The head every header-form message starts with; kinds with a sealed block also name the
// gateway key and the merchant's gateway identifier.
void AppendHead(std::string& out, std::string_view telmarCash, Sealing sealing, const F& fields) {
  AppendLine(out, "TelmarCash", telmarCash);
  AppendLine(out, "Version", "4.1");
  AppendLine(out, "EncryptionAlgorithm", sealing == Sealing::Sealed ? "SEED_CBC" : "NO_ENCRYPTION");
  AppendLine(out, "SignAlgorithm", "SIGN_SHA");
  if (sealing == Sealing::Sealed) {
    AppendLine(out, "RsaKeyNum", "1");
    AppendLine(out, "MPGID", fields.pgid);
  }
}

constexpr std::array kCancelLines = {
    Field("MID", &F::mid),
    Field("Msg", &F::msg),
    Field("TID", &F::tid),
    Field("UIP", &F::uip),
    Field("MerchantReserved", &F::merchantreserved),
};

constexpr std::array kConfirmLines = {
    Field("MID", &F::mid),
    Field("TID", &F::tid),
    Field("MerchantReserved", &F::merchantreserved),
};

constexpr std::array kRepayLines = {
    Field("MID", &F::mid),
    Field("TID", &F::tid),
    Field("UID", &F::uid),
    Field("UIP", &F::uip),
    Field("URL", &F::url),
    Field("GoodName", &F::goodname),
    Field("Price", &F::price),
    Field("Currency", &F::currency),
    Field("BuyerName", &F::buyername),
    Field("BuyerTel", &F::buyertel),
    Field("BuyerEmail", &F::buyeremail),
    Field("SessionKey", &F::sessionkey),
    Field("Encrypted", &F::encrypted),
    Field("MerchantReserved1", &F::merchantreserved1),
    Field("MerchantReserved2", &F::merchantreserved2),
    Field("MerchantReserved3", &F::merchantreserved3),
};

constexpr std::array kRealBillLines = {
    Field("MID", &F::mid),
    Field("TID", &F::tid),
    Field("UID", &F::uid),
    Field("UIP", &F::uip),
    Field("URL", &F::url),
    Field("PayMethod", &F::paymethod),
    Field("GoodName", &F::goodname),
    Field("Price", &F::price),
    Field("Currency", &F::currency),
    Field("BuyerName", &F::buyername),
    Field("BuyerTel", &F::buyertel),
    Field("BuyerEmail", &F::buyeremail),
    Field("SessionKey", &F::sessionkey),
    Field("Encrypted", &F::encrypted),
    Field("MerchantReserved1", &F::merchantreserved1),
    Field("MerchantReserved2", &F::merchantreserved2),
    Field("MerchantReserved3", &F::merchantreserved3),
};

constexpr std::array kReceiptLines = {
    Fixed("Ack", "1"),
    Field("MID", &F::mid),
    Field("TID", &F::tid),
    Field("UID", &F::mid),
    Field("UIP", &F::uip),
    Field("URL", &F::url),
    Field("GoodName", &F::goodname),
    Field("Price", &F::price),
    Field("Currency", &F::currency),
    Field("BuyerName", &F::buyername),
    Field("BuyerTel", &F::buyertel),
    Field("BuyerEmail", &F::buyeremail),
    Field("PayMethod", &F::paymethod),
    Field("Language", &F::language),
    Field("SessionKey", &F::sessionkey),
    Field("Encrypted", &F::encrypted),
    Field("MerchantReserved1", &F::merchantreserved1),
    Field("MerchantReserved2", &F::merchantreserved2),
    Field("CR_Price", &F::cr_price),
    Field("Sup_Price", &F::sup_price),
    Field("Tax", &F::tax),
    Field("Srvc_Price", &F::srvc_price),
    Field("reg_num", &F::reg_num),
    Field("UseOpt", &F::useopt),
    Field("CompanyNumber", &F::companynumber),
};

// Followed by the formpay tail.
constexpr std::array kFormpayLines = {
    Fixed("Ack", "1"),
    Field("MID", &F::mid),
    Field("TID", &F::tid),
    Field("UID", &F::mid),
    Field("UIP", &F::uip),
    Field("URL", &F::url),
    Field("GoodName", &F::goodname),
    Field("Price", &F::price),
    Field("Currency", &F::currency),
    Field("BuyerName", &F::buyername),
    Field("BuyerTel", &F::buyertel),
    Field("BuyerEmail", &F::buyeremail),
    Field("RecvName", &F::recvname),
    Field("RecvTel", &F::recvtel),
    Field("RecvMsg", &F::recvmsg),
    Field("RecvAddr", &F::recvaddr),
    Field("RecvPostNum", &F::recvpostnum),
    Field("PayMethod", &F::paymethod),
    Field("Language", &F::language),
    Field("SessionKey", &F::sessionkey),
    Field("Encrypted", &F::encrypted),
    Field("MerchantReserved1", &F::merchantreserved1),
    Field("MerchantReserved2", &F::merchantreserved2),
};

constexpr std::array kSecurepayLines = {
    Fixed("Ack", "1"),
    Field("MID", &F::mid),
    Field("TID", &F::tid),
    Field("UID", &F::uid),
    Field("UIP", &F::uip),
    Field("URL", &F::url),
    Field("CardCode", &F::cardcode),
    Field("GoodName", &F::goodname),
    Field("Price", &F::price),
    Field("Currency", &F::currency),
    Field("BuyerName", &F::buyername),
    Field("BuyerTel", &F::buyertel),
    Field("BuyerEmail", &F::buyeremail),
    Field("ParentEmail", &F::parentemail),
    Field("RecvName", &F::recvname),
    Field("RecvTel", &F::recvtel),
    Field("RecvMsg", &F::recvmsg),
    Field("RecvAddr", &F::recvaddr),
    Field("RecvPostNum", &F::recvpostnum),
    Field("PayMethod", &F::paymethod),
    Field("Language", &F::language),
    Field("SessionKey", &F::sessionkey),
    Field("Encrypted", &F::encrypted),
    Field("MerchantReserved1", &F::merchantreserved1),
    Field("MerchantReserved2", &F::merchantreserved2),
    Field("MerchantReserved3", &F::merchantreserved3),
};

constexpr std::array kFormauthLines = {
    Field("MID", &F::mid),
    Field("TID", &F::tid),
    Field("UID", &F::mid),
    Field("UIP", &F::uip),
    Field("GoodName", &F::goodname),
    Fixed("Price", "1000"),
    Fixed("Currency", "WON"),
    Field("BuyerName", &F::buyername),
    Fixed("PayMethod", "Auth"),
    Field("Language", &F::language),
    Field("SessionKey", &F::sessionkey),
    Field("Encrypted", &F::encrypted),
    Field("MerchantReserved1", &F::merchantreserved1),
    Field("MerchantReserved2", &F::merchantreserved2),
    Field("MerchantReserved3", &F::merchantreserved3),
};

// URL comes before UIP in this kind only.
constexpr std::array kAuthLines = {
    Field("MID", &F::mid),
    Field("TID", &F::tid),
    Field("UID", &F::uid),
    Field("URL", &F::url),
    Field("UIP", &F::uip),
    Field("CardCode", &F::cardcode),
    Field("GoodName", &F::goodname),
    Fixed("Price", "1000"),
    Fixed("Currency", "WON"),
    Field("BuyerName", &F::buyername),
    Fixed("PayMethod", "Auth"),
    Field("Language", &F::language),
    Field("SessionKey", &F::sessionkey),
    Field("Encrypted", &F::encrypted),
    Field("MerchantReserved1", &F::merchantreserved1),
    Field("MerchantReserved2", &F::merchantreserved2),
    Field("MerchantReserved3", &F::merchantreserved3),
};

constexpr std::array kNetCancelLines = {
    Field("MID", &F::mid),
    Field("TID", &F::tid),
    Fixed("Msg", "Net Cancel"),
};

// ---- Formpay tail ---------------------------------------------------------------------

constexpr std::array kCmsScheduleLines = {
    Field("cmsday", &F::cmsday),
    Field("cmsdatefrom", &F::cmsdatefrom),
    Field("cmsdateto", &F::cmsdateto),
    Field("price_org", &F::price_org),
};

// "Zero" is the text "0" exactly; "Positive" a text whose leading integer is above 0.
enum class Amount { Zero, Positive };

bool IsAmount(Amount amount, std::string_view price) {
  return amount == Amount::Zero ? price == "0" : AsciiToInt(price) > 0;
}

struct PayOptionRule {
  std::string_view paymethod;  // exact
  Amount price1;
  Amount price2;
  std::string_view payOption;
};

// The first matching rule decides; no match gives the empty option.
constexpr std::array kPayOptionRules = {
    PayOptionRule{"OCBPoint", Amount::Zero, Amount::Positive, ""},
    PayOptionRule{"OCBPoint", Amount::Positive, Amount::Zero, "OCBplus"},
    PayOptionRule{"Card", Amount::Positive, Amount::Positive, "OCBpay"},
    PayOptionRule{"Card", Amount::Positive, Amount::Zero, "OCBplus"},
};

std::string_view PayOption(const F& fields) {
  for (const PayOptionRule& rule : kPayOptionRules)
    if (fields.paymethod == rule.paymethod && IsAmount(rule.price1, fields.price1) &&
        IsAmount(rule.price2, fields.price2))
      return rule.payOption;
  return {};
}

std::string OcbMerchantReserved3(const F& fields) {
  std::string value = "PayMethod=" + fields.paymethod;
  value += "&PayOption=";
  value += PayOption(fields);
  value += "&Price1=" + fields.price1;
  value += "&Price2=" + fields.price2;
  value += "&OcbCardnum=" + fields.ocbnumber;
  value += "&OcbPasswd=" + fields.ocbpasswd;
  value += "&OCBCardType=" + fields.ocbcardtype;
  return value;
}

// Recurring-transfer lines, then a MerchantReserved3 line that the module writes itself for
// OK Cashbag and "orvcard" payments.
void AppendFormpayTail(std::string& out, const F& fields) {
  if (!fields.cmstype.empty()) {
    if (fields.cmstype == "1") AppendLines(out, kCmsScheduleLines, fields);
    AppendLine(out, "cmstype", fields.cmstype);
  }
  if (!fields.ocbnumber.empty()) {
    AppendLine(out, "MerchantReserved3", OcbMerchantReserved3(fields));
  } else if (EqualsNoCase(fields.paymethod, "orvcard")) {
    AppendLine(out, "MerchantReserved3",
               "PayMethod=" + fields.paymethod + "&Price1=" + fields.price1 + "&Price2=" +
                   fields.price2);
  } else {
    AppendLine(out, "MerchantReserved3", fields.merchantreserved3);
  }
}

// ---- Dispatch -------------------------------------------------------------------------

// Field changes made before the lines are written; the script sees them in GetResult.
enum class Preparation {
  None,
  UidIsMid,           // the request names the merchant as its user
  ForwardSealedData,  // data sealed elsewhere: its CRs go; an empty user becomes DEFAULTUSR
};

void Prepare(Preparation preparation, F& fields) {
  switch (preparation) {
    case Preparation::None:
      break;
    case Preparation::UidIsMid:
      fields.uid = fields.mid;
      break;
    case Preparation::ForwardSealedData:
      StripCarriageReturns(fields.sessionkey);
      StripCarriageReturns(fields.encrypted);
      if (fields.uid.empty()) fields.uid = "DEFAULTUSR";
      break;
  }
}

struct HeaderKind {
  Names types;
  std::string_view telmarCash;
  Sealing sealing;
  Preparation preparation;
  std::span<const Line> lines;
  void (*tail)(std::string&, const F&) = nullptr;
};

constexpr std::array kHeaderKinds = {
    HeaderKind{{"cancel"}, "ReqCancel", Sealing::None, Preparation::None, kCancelLines},
    HeaderKind{{"confirm"}, "ReqConfirm", Sealing::None, Preparation::None, kConfirmLines},
    HeaderKind{{"capture"}, "ReqCapture", Sealing::None, Preparation::None, kConfirmLines},
    HeaderKind{{"repay"}, "RePay", Sealing::Sealed, Preparation::UidIsMid, kRepayLines},
    HeaderKind{{"reqrealbill"}, "ReqRealBill", Sealing::Sealed, Preparation::UidIsMid,
               kRealBillLines},
    HeaderKind{{"auth", "auth_bill"}, "PayIt", Sealing::Sealed, Preparation::ForwardSealedData,
               kAuthLines},
    HeaderKind{{"formauth", "formauth_bill"}, "PayIt", Sealing::Sealed, Preparation::None,
               kFormauthLines},
    HeaderKind{{"securepay", "secure_pay", "ocbsave"}, "PayIt", Sealing::Sealed,
               Preparation::ForwardSealedData, kSecurepayLines},
    HeaderKind{{"receipt"}, "PayIt", Sealing::Sealed, Preparation::UidIsMid, kReceiptLines},
    HeaderKind{{"formpay"}, "PayIt", Sealing::Sealed, Preparation::UidIsMid, kFormpayLines,
               AppendFormpayTail},
};

const HeaderKind* FindHeaderKind(std::string_view type) {
  for (const HeaderKind& kind : kHeaderKinds)
    if (Matches(kind.types, type)) return &kind;
  return nullptr;
}

// ---- Escrow form ----------------------------------------------------------------------

struct EscrowCode {
  std::string_view escrowtype;  // exact
  std::string_view code;
};

constexpr std::array kEscrowCodes = {
    EscrowCode{"dr", "PG4010C"},
    EscrowCode{"du", "PG4020U"},
    EscrowCode{"rr", "PG4030C"},
    EscrowCode{"ru", "PG4040U"},
};

// The length text counts the seven-character code and the sealed text, LFs included.
std::string MakeEscrowMessage(const F& fields) {
  for (const EscrowCode& entry : kEscrowCodes) {
    if (fields.escrowtype != entry.escrowtype) continue;
    char length[24];
    std::snprintf(length, sizeof length, "%04zu", fields.encrypted.size() + entry.code.size());
    return length + std::string(entry.code) + fields.encrypted;
  }
  return "error";
}

// ---- Plain blocks ---------------------------------------------------------------------

constexpr std::array kRepayBlock = {
    Field("OldTID", &F::oldtid),
    Field("Price", &F::price),
    Field("confirm_price", &F::confirm_price),
    Field("CardQuota", &F::cardquota),
    Field("QuotaInterest", &F::quotainterest),
};

constexpr std::array kRealBillBlock = {
    Field("BillKey", &F::billkey),
    Field("Price", &F::price),
    Field("CardQuota", &F::cardquota),
    Fixed("Authentification", "00"),
    Field("QuotaInterest", &F::quotainterest),
    Field("RegNumber", &F::regnumber),
    Field("CardPass", &F::cardpass),
};

constexpr std::array kFormauthBlock = {
    Field("CardNumber", &F::cardnumber),
    Joined("CardExpire", &F::cardexpy, &F::cardexpm),
    Fixed("CardQuota", "00"),
    Fixed("QuotaInterest", "0"),
    Fixed("Authentification", "00"),
    Field("AuthField1", &F::authfield1),
    Field("AuthField2", &F::authfield2),
};

constexpr std::array kCardBlock = {
    Field("CardNumber", &F::cardnumber),
    Joined("CardExpire", &F::cardexpy, &F::cardexpm),
    Field("CardQuota", &F::cardquota),
    Field("CompanyNumber", &F::companynumber),
    Field("QuotaInterest", &F::quotainterest),
    Field("Authentification", &F::authentification),
    Field("AuthField1", &F::authfield1),
    Field("AuthField2", &F::authfield2),
    Field("AuthField3", &F::authfield3),
    Field("moid", &F::oid),
    Field("CAVV", &F::cavv),
    Field("XID", &F::xid),
    Field("ECI", &F::eci),
    Field("MTID", &F::mtid),
    Field("Passwd", &F::passwd),
};

constexpr std::array kCmsBlock = {
    Field("BankCode", &F::bankcode),
    Field("BankAccount", &F::bankaccount),
    Field("CMSSerial", &F::regnumber),
    Field("price", &F::price),
    Field("price_org", &F::price_org),
    Field("Authentification", &F::authentification),
    Field("AuthField1", &F::authfield1),
    Field("AuthField2", &F::authfield2),
    Field("AuthField3", &F::authfield3),
    Field("Passwd", &F::passwd),
};

constexpr std::array kVbankBlock = {
    Field("perno", &F::perno),
    Field("void", &F::void_),
    Field("vcdbank", &F::vcdbank),
    Field("dtinput", &F::dtinput),
    Field("nminput", &F::nminput),
    Field("Authentification", &F::authentification),
    Field("AuthField1", &F::authfield1),
    Field("AuthField2", &F::authfield2),
    Field("AuthField3", &F::authfield3),
    Field("Passwd", &F::passwd),
};

// The gateway reads the authentication serial twice, the second time as "mtid".
constexpr std::array kHppBlock = {
    Field("htype", &F::hpptype),
    Field("hnumber", &F::hppnumber),
    Field("hregnumber", &F::hppregnumber),
    Field("authnumber", &F::hppauthnumber),
    Field("hcotype", &F::hppcotype),
    Field("auth_serial", &F::hppauthserial),
    Field("hcorp", &F::hppcorp),
    Field("mtid", &F::hppauthserial),
    Field("phoneid", &F::hppphoneid),
    Fixed("hflgars", "0"),
    Field("hoid", &F::hppoid),
    Field("hsid", &F::hppsid),
};

constexpr std::array kOcbPointBlock = {
    Field("PayMethod", &F::paymethod),
    Field("PayOption", &F::payoption),
    Field("CompanyNumber", &F::companynumber),
    Field("Price1", &F::price1),
    Field("Price2", &F::price2),
    Field("OcbCardnum", &F::ocbnumber),
    Field("OcbPasswd", &F::ocbpasswd),
    Field("OCBCardType", &F::ocbcardtype),
};

constexpr std::array kCashBlock = {
    Field("CR_Price", &F::cr_price),
    Field("Sup_Price", &F::sup_price),
    Field("Tax", &F::tax),
    Field("Srvc_Price", &F::srvc_price),
    Field("reg_num", &F::reg_num),
    Field("UseOpt", &F::useopt),
    Field("CompanyNumber", &F::companynumber),
};

struct PlainBlock {
  Names names;  // types or pay methods, compared without regard to case
  std::span<const Line> lines;
};

constexpr std::array kBlocksByType = {
    PlainBlock{{"repay"}, kRepayBlock},
    PlainBlock{{"reqrealbill"}, kRealBillBlock},
    PlainBlock{{"formauth", "formauth_bill"}, kFormauthBlock},
};

// For every other type (formpay, receipt).
constexpr std::array kBlocksByPayMethod = {
    PlainBlock{{"card", "orvcard"}, kCardBlock},
    PlainBlock{{"cms"}, kCmsBlock},
    PlainBlock{{"vbank"}, kVbankBlock},
    PlainBlock{{"hpp"}, kHppBlock},
    PlainBlock{{"ocbpoint"}, kOcbPointBlock},
    PlainBlock{{"cash"}, kCashBlock},
};

std::span<const Line> PlainBlockLines(const F& fields) {
  for (const PlainBlock& block : kBlocksByType)
    if (Matches(block.names, fields.type)) return block.lines;
  for (const PlainBlock& block : kBlocksByPayMethod)
    if (Matches(block.names, fields.paymethod)) return block.lines;
  return {};
}

}  // namespace

void MakeRequestMessage(TransactionFields& fields) {
  if (EqualsNoCase(fields.type, "ocbquery")) {
    fields.requestMessage = "1000:" + fields.mid + ":" + fields.ocbnumber;
    return;
  }
  if (EqualsNoCase(fields.type, "escrow")) {
    fields.requestMessage = MakeEscrowMessage(fields);
    return;
  }
  // A message left from an earlier run of this transaction must not go out again.
  std::string& message = fields.requestMessage;
  message.clear();
  const HeaderKind* kind = FindHeaderKind(fields.type);
  if (!kind) return;
  Prepare(kind->preparation, fields);
  AppendHead(message, kind->telmarCash, kind->sealing, fields);
  AppendLines(message, kind->lines, fields);
  if (kind->tail) kind->tail(message, fields);
}

std::string MakePlainBlock(const TransactionFields& fields) {
  std::string block;
  AppendLines(block, PlainBlockLines(fields), fields);
  return block;
}

std::string MakeAckMessage(const TransactionFields& fields) { return "Ack:" + fields.tid; }

std::string MakeNetCancelMessage(const TransactionFields& fields, const TextSigner& sign) {
  std::string message;
  AppendHead(message, "TXNetCancel", Sealing::None, fields);
  AppendLines(message, kNetCancelLines, fields);
  std::string signature;
  if (!sign || sign(message, signature) != 1) signature = "TAIL";
  AppendLine(message, "Tail", signature);
  return message;
}

}  // namespace orv
