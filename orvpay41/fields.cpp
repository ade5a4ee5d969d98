#include "fields.h"

#include <openssl/evp.h>

#include <array>

#include "action_types.h"
#include "text.h"

namespace orv {

namespace {

using Member = std::string TransactionFields::*;
using F = TransactionFields;

constexpr size_t kNoLimit = 0;

struct SetFieldName {
  std::string_view name;
  Member member;  // null for the flags "test" and "debug"
  size_t limit;   // bytes kept; kNoLimit for none
  bool lineBreaksToSpaces;
};

// SetField names in the order they are compared; the first equal name decides.
constexpr std::array kSetFieldNames = {
    SetFieldName{"type", &F::type, kNoLimit, false},
    SetFieldName{"pgid", &F::pgid, kNoLimit, false},
    SetFieldName{"admin", &F::admin, kNoLimit, false},
    SetFieldName{"spgip", &F::spgip, kNoLimit, false},
    SetFieldName{"mid", &F::mid, kNoLimit, false},
    SetFieldName{"goodname", &F::goodname, 80, true},
    SetFieldName{"currency", &F::currency, kNoLimit, false},
    SetFieldName{"price", &F::price, kNoLimit, false},
    SetFieldName{"confirm_price", &F::confirm_price, kNoLimit, false},
    SetFieldName{"price1", &F::price1, kNoLimit, false},
    SetFieldName{"price2", &F::price2, kNoLimit, false},
    SetFieldName{"buyername", &F::buyername, 30, false},
    SetFieldName{"buyertel", &F::buyertel, 30, false},
    SetFieldName{"buyeremail", &F::buyeremail, 60, false},
    SetFieldName{"recvname", &F::recvname, 30, false},
    SetFieldName{"recvtel", &F::recvtel, 30, false},
    SetFieldName{"recvaddr", &F::recvaddr, 100, true},
    SetFieldName{"recvpostnum", &F::recvpostnum, kNoLimit, false},
    SetFieldName{"recvmsg", &F::recvmsg, 100, true},
    SetFieldName{"cardcode", &F::cardcode, kNoLimit, false},
    SetFieldName{"quotainterest", &F::quotainterest, kNoLimit, false},
    SetFieldName{"paymethod", &F::paymethod, kNoLimit, false},
    SetFieldName{"merchantreserved", &F::merchantreserved, 512, true},
    SetFieldName{"merchantreserved1", &F::merchantreserved1, 512, true},
    SetFieldName{"merchantreserved2", &F::merchantreserved2, 512, true},
    SetFieldName{"merchantreserved3", &F::merchantreserved3, 512, true},
    SetFieldName{"encrypted", &F::encrypted, kNoLimit, false},
    SetFieldName{"sessionkey", &F::sessionkey, kNoLimit, false},
    SetFieldName{"uid", &F::uid, kNoLimit, false},
    SetFieldName{"uip", &F::uip, kNoLimit, false},
    SetFieldName{"url", &F::url, kNoLimit, false},
    SetFieldName{"cardnumber", &F::cardnumber, kNoLimit, false},
    SetFieldName{"cardquota", &F::cardquota, kNoLimit, false},
    SetFieldName{"bankcode", &F::bankcode, kNoLimit, false},
    SetFieldName{"bankaccount", &F::bankaccount, kNoLimit, false},
    SetFieldName{"regnumber", &F::regnumber, kNoLimit, false},
    SetFieldName{"cmsday", &F::cmsday, kNoLimit, false},
    SetFieldName{"cmsdatefrom", &F::cmsdatefrom, kNoLimit, false},
    SetFieldName{"cmsdateto", &F::cmsdateto, kNoLimit, false},
    SetFieldName{"cmstype", &F::cmstype, kNoLimit, false},
    SetFieldName{"price_org", &F::price_org, kNoLimit, false},
    SetFieldName{"ocbnumber", &F::ocbnumber, kNoLimit, false},
    SetFieldName{"ocbpasswd", &F::ocbpasswd, kNoLimit, false},
    SetFieldName{"authentification", &F::authentification, kNoLimit, false},
    SetFieldName{"authfield1", &F::authfield1, kNoLimit, false},
    SetFieldName{"authfield2", &F::authfield2, kNoLimit, false},
    SetFieldName{"authfield3", &F::authfield3, kNoLimit, false},
    SetFieldName{"cardexpy", &F::cardexpy, kNoLimit, false},
    SetFieldName{"cardexpm", &F::cardexpm, kNoLimit, false},
    SetFieldName{"tid", &F::tid, kNoLimit, false},
    SetFieldName{"oldtid", &F::oldtid, kNoLimit, false},
    SetFieldName{"msg", &F::msg, 100, true},
    SetFieldName{"test", nullptr, kNoLimit, false},
    SetFieldName{"debug", nullptr, kNoLimit, false},
    SetFieldName{"ocbcardtype", &F::ocbcardtype, kNoLimit, false},
    SetFieldName{"passwd", &F::passwd, kNoLimit, false},
    SetFieldName{"billkey", &F::billkey, kNoLimit, false},
    SetFieldName{"cardpass", &F::cardpass, kNoLimit, false},
    SetFieldName{"perno", &F::perno, kNoLimit, false},
    SetFieldName{"void", &F::void_, kNoLimit, false},
    SetFieldName{"vacct", &F::vacct, kNoLimit, false},
    SetFieldName{"vcdbank", &F::vcdbank, kNoLimit, false},
    SetFieldName{"dtinput", &F::dtinput, kNoLimit, false},
    SetFieldName{"nminput", &F::nminput, kNoLimit, false},
    SetFieldName{"hpptype", &F::hpptype, kNoLimit, false},
    SetFieldName{"hppnumber", &F::hppnumber, kNoLimit, false},
    SetFieldName{"hppregnumber", &F::hppregnumber, kNoLimit, false},
    SetFieldName{"hppauthnumber", &F::hppauthnumber, kNoLimit, false},
    SetFieldName{"hppcotype", &F::hppcotype, kNoLimit, false},
    SetFieldName{"hppauthserial", &F::hppauthserial, kNoLimit, false},
    SetFieldName{"hppcorp", &F::hppcorp, kNoLimit, false},
    SetFieldName{"hppphoneid", &F::hppphoneid, kNoLimit, false},
    SetFieldName{"hppoid", &F::hppoid, kNoLimit, false},
    SetFieldName{"hppsid", &F::hppsid, kNoLimit, false},
    SetFieldName{"pid", &F::pid, kNoLimit, false},
    SetFieldName{"oid", &F::oid, kNoLimit, false},
    SetFieldName{"cavv", &F::cavv, kNoLimit, false},
    SetFieldName{"xid", &F::xid, kNoLimit, false},
    SetFieldName{"eci", &F::eci, kNoLimit, false},
    SetFieldName{"mtid", &F::mtid, kNoLimit, false},
    SetFieldName{"escrowtype", &F::escrowtype, kNoLimit, false},
    SetFieldName{"escrowmsg", &F::escrowmsg, kNoLimit, false},
    SetFieldName{"parentemail", &F::parentemail, kNoLimit, false},
    SetFieldName{"cr_price", &F::cr_price, kNoLimit, false},
    SetFieldName{"sup_price", &F::sup_price, kNoLimit, false},
    SetFieldName{"tax", &F::tax, kNoLimit, false},
    SetFieldName{"srvc_price", &F::srvc_price, kNoLimit, false},
    SetFieldName{"reg_num", &F::reg_num, kNoLimit, false},
    SetFieldName{"useopt", &F::useopt, kNoLimit, false},
    SetFieldName{"companynumber", &F::companynumber, kNoLimit, false},
};

struct GetResultName {
  std::string_view name;
  Member member;
};

// GetResult names in the order they are compared; a fixed name wins over extraResults.
constexpr std::array kGetResultNames = {
    GetResultName{"point", &F::point},
    GetResultName{"tid", &F::tid},
    GetResultName{"moid", &F::moid},
    GetResultName{"codegw", &F::codegw},
    GetResultName{"resultcode", &F::resultcode},
    GetResultName{"resultmsg", &F::resultmsg},
    GetResultName{"cmsbankcode", &F::cmsbankcode},
    GetResultName{"cmsbankaccount", &F::cmsbankaccount},
    GetResultName{"cmsserial", &F::cmsserial},
    GetResultName{"cmscmsno", &F::cmscmsno},
    GetResultName{"authcode", &F::authcode},
    GetResultName{"cardcode", &F::cardcode},
    GetResultName{"cardnumber", &F::cardnumber},
    GetResultName{"price", &F::price},
    GetResultName{"price1", &F::price1},
    GetResultName{"price2", &F::price2},
    GetResultName{"payoption", &F::payoption},
    GetResultName{"merchantreserved1", &F::merchantreserved1},
    GetResultName{"merchantreserved2", &F::merchantreserved2},
    GetResultName{"merchantreserved3", &F::merchantreserved3},
    GetResultName{"merchantreserved", &F::merchantreserved},
    GetResultName{"authcertain", &F::authcertain},
    GetResultName{"authentification", &F::authentification},
    GetResultName{"authfield1", &F::authfield1},
    GetResultName{"authfield2", &F::authfield2},
    GetResultName{"bankaccount", &F::bankaccount},
    GetResultName{"bankcode", &F::bankcode},
    GetResultName{"billingperiod", &F::billingperiod},
    GetResultName{"buyeremail", &F::buyeremail},
    GetResultName{"parentemail", &F::parentemail},
    GetResultName{"buyername", &F::buyername},
    GetResultName{"buyertel", &F::buyertel},
    GetResultName{"msg", &F::msg},
    GetResultName{"cardexpire", &F::cardexpire},
    GetResultName{"cardexpy", &F::cardexpy},
    GetResultName{"cardexpm", &F::cardexpm},
    GetResultName{"cardquota", &F::cardquota},
    GetResultName{"currency", &F::currency},
    GetResultName{"encrypted", &F::encrypted},
    GetResultName{"goodname", &F::goodname},
    GetResultName{"language", &F::language},
    GetResultName{"mid", &F::mid},
    GetResultName{"ocbnumber", &F::ocbnumber},
    GetResultName{"ocbpasswd", &F::ocbpasswd},
    GetResultName{"passwd", &F::passwd},
    GetResultName{"paymethod", &F::paymethod},
    GetResultName{"pgid", &F::pgid},
    GetResultName{"quotainterest", &F::quotainterest},
    GetResultName{"regnumber", &F::regnumber},
    GetResultName{"cmsday", &F::cmsday},
    GetResultName{"cmsdatefrom", &F::cmsdatefrom},
    GetResultName{"cmsdateto", &F::cmsdateto},
    GetResultName{"cmstype", &F::cmstype},
    GetResultName{"price_org", &F::price_org},
    GetResultName{"sessionkey", &F::sessionkey},
    GetResultName{"subpgip", &F::spgip},
    GetResultName{"type", &F::type},
    GetResultName{"uid", &F::uid},
    GetResultName{"uip", &F::uip},
    GetResultName{"url", &F::url},
    GetResultName{"ocbsaveauthcode", &F::ocbsaveauthcode},
    GetResultName{"ocbuseauthcode", &F::ocbuseauthcode},
    GetResultName{"ocbauthdate", &F::ocbauthdate},
    GetResultName{"pgauthdate", &F::pgauthdate},
    GetResultName{"pgauthtime", &F::pgauthtime},
    GetResultName{"pgcanceldate", &F::pgcanceldate},
    GetResultName{"pgcanceltime", &F::pgcanceltime},
    GetResultName{"ocbpoint", &F::point},
    GetResultName{"cardissuercode", &F::cardissuercode},
    GetResultName{"eventflag", &F::eventflag},
    GetResultName{"billkey", &F::billkey},
    GetResultName{"cardpass", &F::cardpass},
    GetResultName{"cardkind", &F::cardkind},
    GetResultName{"perno", &F::perno},
    GetResultName{"void", &F::void_},
    GetResultName{"vacct", &F::vacct},
    GetResultName{"vcdbank", &F::vcdbank},
    GetResultName{"dtinput", &F::dtinput},
    GetResultName{"nminput", &F::nminput},
    GetResultName{"nmvacct", &F::nmvacct},
    GetResultName{"nohpp", &F::nohpp},
    GetResultName{"noars", &F::noars},
    GetResultName{"ocbcardnumber", &F::ocbcardnumber},
    GetResultName{"cultureid", &F::cultureid},
    GetResultName{"directbankacc", &F::directbankacc},
    GetResultName{"directbankcode", &F::directbankcode},
    GetResultName{"resultpcrpice", &F::resultpcrpice},
    GetResultName{"resultsupplyprice", &F::resultsupplyprice},
    GetResultName{"resulttax", &F::resulttax},
    GetResultName{"resultserviceprice", &F::resultserviceprice},
    GetResultName{"resultuseopt", &F::resultuseopt},
    GetResultName{"resultcashnoappl", &F::resultcashnoappl},
    GetResultName{"rcash_rslt", &F::rcash_rslt},
    GetResultName{"rcash_cancel_noappl", &F::rcash_cancel_noappl},
    GetResultName{"remain_price", &F::remain_price},
};

}  // namespace

void EvpPkeyFree::operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }

bool ExtraResults::Add(std::string name, std::string value) {
  if (entries_.size() >= kCapacity) return false;
  entries_.push_back({std::move(name), std::move(value)});
  return true;
}

const std::string* ExtraResults::Find(std::string_view lowerName) const {
  for (const Entry& entry : entries_)
    if (EqualsNoCase(entry.name, lowerName)) return &entry.value;
  return nullptr;
}

void TransactionFields::SetNamedField(std::string_view name, std::string value) {
  const std::string lower = AsciiLower(name);
  for (const SetFieldName& field : kSetFieldNames) {
    if (field.name != lower) continue;
    if (!field.member) {
      if (EqualsNoCase(value, "true")) (lower == "test" ? testMode : debugMode) = 1;
      return;
    }
    if (field.limit != kNoLimit && value.size() > field.limit) value.resize(field.limit);
    if (field.lineBreaksToSpaces) LineBreaksToSpaces(value);
    this->*field.member = std::move(value);
    if (field.member == &F::type) {
      if (const auto label = TypeLabel(type)) typeLabel = *label;
    }
    return;
  }
}

std::string TransactionFields::GetNamedResult(std::string_view name) const {
  const std::string lower = AsciiLower(name);
  for (const GetResultName& result : kGetResultNames)
    if (result.name == lower) return this->*result.member;
  if (const std::string* value = extraResults.Find(lower)) return *value;
  return {};
}

}  // namespace orv
