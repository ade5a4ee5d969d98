#include "reply.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "text.h"

namespace orv {

namespace {

using F = TransactionFields;
using Member = std::string F::*;
constexpr auto npos = std::string_view::npos;

// A header line's value ("Name: value" CR LF), and an item of a name=value&... list.
std::string LineValue(std::string_view text, std::string_view name) {
  return GetItemValue(text, name, "\r\n", ":");
}
std::string ListValue(std::string_view text, std::string_view name) {
  return GetItemValue(text, name, "&", "=");
}
// An item of the shape name[value] closed by "], ".
std::string BracketValue(std::string_view text, std::string_view name) {
  return GetItemValue(text, name, "], ", "[");
}

// ---- Extra results --------------------------------------------------------------------

// One entry per line ended by CR LF, at most as many as the text has colons. The character
// after the colon is the blank of "Name: value", not part of the value.
void AddLines(ExtraResults& extra, std::string_view text) {
  for (int lines = CountDelimiters(text, ":"); lines > 0; --lines) {
    const size_t end = text.find("\r\n");
    if (end == npos) return;
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 2);
    const size_t colon = line.find(':');
    const std::string_view value =
        colon == npos ? std::string_view() : line.substr(std::min(colon + 2, line.size()));
    if (!extra.Add(std::string(line.substr(0, colon)), std::string(value))) return;
  }
}

// One entry per "&"-separated item, at most as many as the text has "=" characters.
void AddListItems(ExtraResults& extra, std::string_view text) {
  for (int items = CountDelimiters(text, "="); items > 0 && !text.empty(); --items) {
    const size_t end = text.find('&');
    const std::string_view item = text.substr(0, end);
    text = end == npos ? std::string_view() : text.substr(end + 1);
    const size_t equals = item.find('=');
    const std::string_view value =
        equals == npos ? std::string_view() : item.substr(equals + 1);
    if (!extra.Add(std::string(item.substr(0, equals)), std::string(value))) return;
  }
}

// ---- Item tables of the header form ---------------------------------------------------

struct Item {
  std::string_view name;
  Member field;
};

// From the reply itself. The result code and message fall back on the sealed block's.
struct ReplyItem {
  std::string_view name;
  Member field;
  bool orDecrypted;
};

constexpr std::array kReplyItems = {
    ReplyItem{"TID", &F::tid, false},
    ReplyItem{"MOID", &F::moid, false},
    ReplyItem{"CodeGW", &F::codegw, false},
    ReplyItem{"ParentEmail", &F::parentemail, false},
    ReplyItem{"ResultCode", &F::resultcode, true},
    ReplyItem{"ResultMsg", &F::resultmsg, true},
};

constexpr std::array kDecryptedItems = {
    Item{"CMSBankCode", &F::cmsbankcode},
    Item{"CMSBankAccount", &F::cmsbankaccount},
    Item{"CMSSerial", &F::cmsserial},
    Item{"CMSCMSNo", &F::cmscmsno},
    Item{"PayOption", &F::payoption},
    Item{"CardResultCode", &F::cardcode},
    Item{"CardResultQuota", &F::cardquota},
    Item{"CardResultNumber", &F::cardnumber},
    Item{"CardResultExpire", &F::cardexpire},
    Item{"Price1", &F::price1},
    Item{"Price2", &F::price2},
    Item{"CardAuthCode", &F::authcode},
    Item{"MerchantReserved2", &F::merchantreserved2},
    Item{"MerchantReserved3", &F::merchantreserved3},
    Item{"EventFlag", &F::eventflag},
};

// The reply's MerchantReserved mixes name=value& items and bracketed name[value], items.
enum class Shape { List, Bracket };

struct MerchantReservedItem {
  std::string_view name;
  Member field;
  Shape shape;
  size_t keep;  // leading bytes kept
};

constexpr std::array kMerchantReservedItems = {
    MerchantReservedItem{"PGcanceldate", &F::pgcanceldate, Shape::List, npos},
    MerchantReservedItem{"PGcanceltime", &F::pgcanceltime, Shape::List, npos},
    MerchantReservedItem{"PayMethod", &F::paymethod, Shape::Bracket, npos},
    MerchantReservedItem{"Detailcode", &F::cardissuercode, Shape::Bracket, 2},
    MerchantReservedItem{"CardCode", &F::cardcode, Shape::Bracket, 2},
    MerchantReservedItem{"Rcash_cancel_noappl", &F::rcash_cancel_noappl, Shape::List, npos},
};

// The approval number's bracketed item, by the pay method the reply names (exact); other
// pay methods keep the sealed block's CardAuthCode.
struct AuthCodeItem {
  std::string_view paymethod;
  std::string_view name;
};

constexpr std::array kAuthCodeItems = {
    AuthCodeItem{"Card", "CardAuthCode"},
    AuthCodeItem{"VCard", "VCardAuthCode"},
    AuthCodeItem{"NetiMoney", "AuthCode"},
};

// From the sealed block's MerchantReserved1; an entry with a type applies to it alone.
struct TypedItem {
  std::string_view name;
  Member field;
  std::string_view onlyType = {};
};

constexpr std::array kMerchantReserved1Items = {
    TypedItem{"Authentification", &F::authcertain},
    TypedItem{"OCBauthcode1", &F::ocbsaveauthcode},
    TypedItem{"OCBauthcode2", &F::ocbuseauthcode},
    TypedItem{"OCBauthdate", &F::ocbauthdate},
    TypedItem{"PGauthdate", &F::pgauthdate},
    TypedItem{"PGauthtime", &F::pgauthtime},
    TypedItem{"Detailcode", &F::cardissuercode},
    TypedItem{"nohpp", &F::nohpp},
    TypedItem{"noars", &F::noars},
    TypedItem{"perno", &F::perno},
    TypedItem{"void", &F::void_},
    TypedItem{"vacct", &F::vacct},
    TypedItem{"vcdbank", &F::vcdbank},
    TypedItem{"dtinput", &F::dtinput},
    TypedItem{"nminput", &F::nminput},
    TypedItem{"nmvacct", &F::nmvacct},
    TypedItem{"OCBcardnumber", &F::ocbcardnumber},
    TypedItem{"CultureID", &F::cultureid},
    TypedItem{"DirectBankAcc", &F::directbankacc},
    TypedItem{"DirectBankCode", &F::directbankcode},
    TypedItem{"TID_org", &F::tidOrg, "repay"},
    TypedItem{"PR_remains", &F::prRemains, "repay"},
    TypedItem{"flg_partcancel", &F::flgPartcancel, "repay"},
    TypedItem{"cnt_partcancel", &F::cntPartcancel, "repay"},
    TypedItem{"RCR_Price", &F::resultpcrpice, "receipt"},
    TypedItem{"RSup_Price", &F::resultsupplyprice, "receipt"},
    TypedItem{"RTax", &F::resulttax, "receipt"},
    TypedItem{"RSrvc_Price", &F::resultserviceprice, "receipt"},
    TypedItem{"RUseOpt", &F::resultuseopt, "receipt"},
    TypedItem{"Rcash_noappl", &F::resultcashnoappl, "receipt"},
    TypedItem{"Rcash_rslt", &F::rcash_rslt},
    TypedItem{"remain_price", &F::remain_price},
};

// From the sealed block's MerchantReserved3 of a billing registration.
constexpr std::array kBillingItems = {
    Item{"BillKey", &F::billkey},
    Item{"CardPass", &F::cardpass},
    Item{"CardKind", &F::cardkind},
};

// ---- The three forms ------------------------------------------------------------------

// "code:x:point:...:message": field 0 is the result code, field 2 the point balance.
// Absent fields empty theirs, so that no earlier exchange's result survives.
void ParseOcbQuery(F& fields) {
  std::string_view rest = fields.replyMessage;
  std::string resultcode, point;
  for (int index = 0;; ++index) {
    const size_t colon = rest.find(':');
    if (colon == npos) break;
    const std::string_view field = rest.substr(0, colon);
    if (index == 0) resultcode = field;
    if (index == 2) {
      const int balance = AsciiToInt(field);
      point = balance > 0 ? std::to_string(balance) : std::string(field);
    }
    rest.remove_prefix(colon + 1);
  }
  fields.resultcode = std::move(resultcode);
  fields.point = std::move(point);
  fields.resultmsg = rest;
  fields.replyMessage = fields.resultmsg;
}

// "...code|message", the code being the last four characters before the first "|".
void ParseEscrow(F& fields) {
  const std::string_view reply = fields.replyMessage;
  const size_t bar = reply.find('|');
  if (bar == npos) {
    fields.resultcode = "4567";
    fields.resultmsg = reply;
    return;
  }
  const size_t codeStart = bar < 4 ? 0 : bar - 4;
  fields.resultcode = reply.substr(codeStart, bar - codeStart);
  fields.resultmsg = reply.substr(bar + 1);
}

void ParseMerchantReserved(F& fields, std::string_view merchantReserved) {
  for (const MerchantReservedItem& item : kMerchantReservedItems) {
    std::string value = item.shape == Shape::List ? ListValue(merchantReserved, item.name)
                                                  : BracketValue(merchantReserved, item.name);
    if (value.size() > item.keep) value.resize(item.keep);
    fields.*item.field = std::move(value);
  }
  for (const AuthCodeItem& item : kAuthCodeItems)
    if (fields.paymethod == item.paymethod)
      fields.authcode = BracketValue(merchantReserved, item.name);
}

void ParseMerchantReserved1(F& fields, std::string_view merchantReserved1) {
  for (const TypedItem& item : kMerchantReserved1Items)
    if (item.onlyType.empty() || EqualsNoCase(fields.type, item.onlyType))
      fields.*item.field = ListValue(merchantReserved1, item.name);
}

void ParseHeaderForm(F& fields) {
  const std::string_view reply = fields.replyMessage;
  const std::string_view decrypted = fields.decryptedReply;

  for (const ReplyItem& item : kReplyItems) {
    std::string value = LineValue(reply, item.name);
    if (value.empty() && item.orDecrypted) value = LineValue(decrypted, item.name);
    fields.*item.field = std::move(value);
  }
  if (EqualsNoCase(fields.type, "confirm")) {
    const size_t comma = fields.resultmsg.find(',');
    if (comma != std::string::npos && comma > 0) fields.resultmsg.resize(comma);
  }

  for (const Item& item : kDecryptedItems) fields.*item.field = LineValue(decrypted, item.name);
  if (fields.authcode == "ERROR") fields.authcode.clear();

  const std::string merchantReserved = LineValue(reply, "MerchantReserved");
  if (!merchantReserved.empty()) ParseMerchantReserved(fields, merchantReserved);

  AddLines(fields.extraResults, decrypted);

  const std::string merchantReserved1 = LineValue(decrypted, "MerchantReserved1");
  AddListItems(fields.extraResults, merchantReserved1);
  if (!merchantReserved1.empty()) ParseMerchantReserved1(fields, merchantReserved1);

  if (EqualsNoCase(fields.type, "auth_bill")) {
    const std::string merchantReserved3 = LineValue(decrypted, "MerchantReserved3");
    if (!merchantReserved3.empty())
      for (const Item& item : kBillingItems)
        fields.*item.field = ListValue(merchantReserved3, item.name);
  }
}

}  // namespace

void ParseReply(TransactionFields& fields) {
  fields.extraResults.Clear();
  AddLines(fields.extraResults, fields.replyMessage);
  if (EqualsNoCase(fields.type, "ocbquery"))
    ParseOcbQuery(fields);
  else if (EqualsNoCase(fields.type, "escrow"))
    ParseEscrow(fields);
  else
    ParseHeaderForm(fields);
}

}  // namespace orv
