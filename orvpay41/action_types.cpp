#include "action_types.h"

#include <array>
#include <cstdio>
#include <initializer_list>
#include <span>

#include "text.h"

namespace orv {

namespace {

struct TypeLabelRow {
  std::string_view type;
  std::string_view label;
};

constexpr std::array kTypeLabels = {
    TypeLabelRow{"securepay", "지불"},
    TypeLabelRow{"secure_pay", "지불"},
    TypeLabelRow{"formpay", "지불"},
    TypeLabelRow{"cancel", "취소"},
    TypeLabelRow{"capture", "매입"},
    TypeLabelRow{"confirm", "조회"},
    TypeLabelRow{"ocbquery", "조회"},
    TypeLabelRow{"ocbsave", "적립"},
    TypeLabelRow{"auth", "인증"},
    TypeLabelRow{"formauth", "인증"},
    TypeLabelRow{"repay", "재승인"},
    TypeLabelRow{"auth_bill", "실시간빌링등록"},
    TypeLabelRow{"reqrealbill", "실시간빌링승인"},
    TypeLabelRow{"escrow", "에스크로"},
    TypeLabelRow{"receipt", "현금영수증발행"},
    TypeLabelRow{"formauth_bill", ""},
};

struct ProfileRow {
  std::string_view type;
  TypeProfile profile;
};

constexpr bool Y = true;
constexpr bool N = false;
constexpr ConnectionKind kStandard = ConnectionKind::Standard;
constexpr ConnectionKind kConfirm = ConnectionKind::Confirm;
constexpr ConnectionKind kOcbQuery = ConnectionKind::OcbQuery;
constexpr ConnectionKind kBilling = ConnectionKind::Billing;
constexpr ConnectionKind kEscrow = ConnectionKind::Escrow;

// Columns: makes TID, loads keys, encrypts fields, escrow encryption, signs request,
// connection kind, checks reply signature, decrypts reply, awaits Ack when "00",
// net cancel after a receive failure, net cancel after a signature check or decryption failure.
constexpr std::array kProfiles = {
    ProfileRow{"securepay",     {Y, Y, N, N, Y, kStandard, Y, Y, Y, Y, Y}},
    ProfileRow{"secure_pay",    {Y, Y, N, N, Y, kStandard, Y, Y, Y, Y, Y}},
    ProfileRow{"formpay",       {Y, Y, Y, N, Y, kStandard, Y, Y, Y, Y, Y}},
    ProfileRow{"ocbsave",       {Y, Y, N, N, Y, kStandard, Y, Y, Y, Y, Y}},
    ProfileRow{"receipt",       {Y, Y, Y, N, Y, kStandard, Y, Y, Y, N, Y}},
    ProfileRow{"auth",          {Y, Y, N, N, Y, kStandard, Y, Y, N, N, Y}},
    ProfileRow{"formauth",      {Y, Y, Y, N, Y, kStandard, Y, Y, N, Y, Y}},
    ProfileRow{"auth_bill",     {Y, Y, N, N, Y, kBilling,  Y, Y, N, N, Y}},
    ProfileRow{"formauth_bill", {Y, Y, Y, N, Y, kBilling,  Y, Y, N, N, Y}},
    ProfileRow{"reqrealbill",   {Y, Y, Y, N, Y, kBilling,  Y, Y, N, Y, Y}},
    ProfileRow{"repay",         {Y, Y, Y, N, Y, kStandard, Y, Y, N, N, N}},
    ProfileRow{"cancel",        {N, Y, N, N, Y, kStandard, N, N, N, N, N}},
    ProfileRow{"capture",       {N, Y, N, N, Y, kStandard, N, N, N, N, N}},
    ProfileRow{"confirm",       {N, Y, N, N, Y, kConfirm,  N, N, N, N, N}},
    ProfileRow{"ocbquery",      {N, N, N, N, N, kOcbQuery, N, N, N, N, N}},
    ProfileRow{"escrow",        {N, N, N, Y, N, kEscrow,   N, N, N, N, N}},
};
constexpr TypeProfile kDefaultProfile = {N, Y, N, N, Y, kStandard, Y, N, N, Y, Y};

// Result message reasons by code; every other code takes kDefaultReason.
struct ReasonRow {
  int code;
  std::string_view reason;
};

constexpr std::array kReasons = {
    ReasonRow{9201, "키패스워드 항목 누락"},
    ReasonRow{9202, "상점ID(MID) 항목 누락"},
    ReasonRow{9203, "PGID 항목 누락"},
    ReasonRow{9204, "거래번호(TID) 항목 누락"},
    ReasonRow{9205, "구매자 IP(UIP) 항목 누락"},
    ReasonRow{9206, "상점 URL(URL) 항목 누락"},
    ReasonRow{9207, "금액(price) 항목 누락"},
    ReasonRow{9208, "복합결제시에 금액1(price1) 항목 누락"},
    ReasonRow{9209, "복합결제시에 금액2(price2) 항목 누락"},
    ReasonRow{9210, "신용카드번호(cardnumber) 항목 누락"},
    ReasonRow{9211, "신용카드 유효기간(cardexpm,cardexpy) 항목 누락"},
    ReasonRow{9212, "ENCRYPTED필드 항목 누락"},
    ReasonRow{9213, "신용카드 할부기간(cardquota) 항목 누락"},
    ReasonRow{9214, "신용카드 무이자(quotainterest) 항목 누락"},
    ReasonRow{9215, "신용카드 인증설정(authentification) 항목 누락"},
    ReasonRow{9216, "신용카드 인증관련 주민등록번호(authfield1)  항목 누락"},
    ReasonRow{9217, "신용카드 인증관련 카드비밀번호(authfield2)  항목 누락"},
    ReasonRow{9218, "은행CODE(bankcode) 항목 누락"},
    ReasonRow{9219, "은행계좌번호(bankaccount) 항목 누락"},
    ReasonRow{9220, "주민등록번호(regnumber) 항목 누락"},
    ReasonRow{9221, "OK CASH BAG 카드번호(ocbcardnum) 항목 누락"},
    ReasonRow{9222, "OK CASH BAG 비밀번호(ocbpasswd) 항목 누락"},
    ReasonRow{9223, "네티머니 비밀번호(passwd) 항목 누락"},
    ReasonRow{9224, "통화(currency) 항목 누락"},
    ReasonRow{9225, "지불방법(paymethod) 항목 누락"},
    ReasonRow{9226, "상품명(goodname) 항목 누락"},
    ReasonRow{9227, "구매자명(buyername) 항목 누락"},
    ReasonRow{9228, "구매자 전화번호(buyertel) 항목 누락"},
    ReasonRow{9229, "구매자 이메일(buyeremail) 항목 누락"},
    ReasonRow{9230, "SESSIONKEY필드 항목 누락"},
    ReasonRow{9240, "BILLKEY 항목 누락"},
    ReasonRow{9251, "CMS출금예정일(cmsday) 항목 누락"},
    ReasonRow{9252, "CMS출금시작월(cmsdatefrom) 항목 누락"},
    ReasonRow{9253, "CMS출금종료월(cmsdateto) 항목 누락"},
    ReasonRow{9254, "CMS총출금금액(price_org) 항목 누락"},
};
constexpr std::string_view kDefaultReason = "필수항목 누락";

// A required member and the code given when it is empty.
using F = TransactionFields;
struct Required {
  std::string F::*member;
  int code;
};

constexpr int kFieldsComplete = 1;

int FirstMissing(const F& f, std::span<const Required> list) {
  for (const Required& required : list)
    if ((f.*required.member).empty()) return required.code;
  return kFieldsComplete;
}

int FirstMissing(const F& f, std::initializer_list<Required> list) {
  return FirstMissing(f, std::span(list.begin(), list.size()));
}

// The types checked by a list alone, members in the order they are checked.
constexpr Required kOcbQueryList[] = {{&F::mid, 9202}, {&F::ocbnumber, 9221}};
constexpr Required kCancelList[] = {
    {&F::admin, 9201}, {&F::mid, 9202}, {&F::pgid, 9203}, {&F::tid, 9204}, {&F::uip, 9205}};
constexpr Required kConfirmCaptureList[] = {
    {&F::admin, 9201}, {&F::mid, 9202}, {&F::pgid, 9203}, {&F::tid, 9204}};
constexpr Required kAuthList[] = {
    {&F::admin, 9201},     {&F::mid, 9202},       {&F::pgid, 9203},
    {&F::uip, 9205},       {&F::buyername, 9227}, {&F::sessionkey, 9230},
    {&F::encrypted, 9212}, {&F::url, 9206},       {&F::goodname, 9226}};
constexpr Required kFormauthList[] = {
    {&F::admin, 9201},      {&F::mid, 9202},      {&F::pgid, 9203},
    {&F::uip, 9205},        {&F::buyername, 9227}, {&F::cardnumber, 9210},
    {&F::cardexpy, 9211},   {&F::cardexpm, 9211}, {&F::authfield1, 9216},
    {&F::authfield2, 9217}};
constexpr Required kSecurepayList[] = {
    {&F::admin, 9201},     {&F::mid, 9202},        {&F::pgid, 9203},
    {&F::uip, 9205},       {&F::url, 9206},        {&F::price, 9207},
    {&F::currency, 9224},  {&F::paymethod, 9225},  {&F::goodname, 9226},
    {&F::buyername, 9227}, {&F::buyertel, 9228},   {&F::buyeremail, 9229},
    {&F::sessionkey, 9230}, {&F::encrypted, 9212}};
constexpr Required kRepayList[] = {
    {&F::admin, 9201}, {&F::mid, 9202},    {&F::pgid, 9203},         {&F::uip, 9205},
    {&F::url, 9206},   {&F::oldtid, 9204}, {&F::confirm_price, 9260}};
constexpr Required kReqrealbillList[] = {
    {&F::admin, 9201}, {&F::mid, 9202}, {&F::pgid, 9203},
    {&F::uip, 9205},   {&F::url, 9206}, {&F::billkey, 9240}};
constexpr Required kOcbsaveList[] = {
    {&F::admin, 9201},     {&F::mid, 9202},        {&F::pgid, 9203},
    {&F::uip, 9205},       {&F::url, 9206},        {&F::currency, 9224},
    {&F::paymethod, 9225}, {&F::goodname, 9226},   {&F::buyername, 9227},
    {&F::sessionkey, 9230}, {&F::encrypted, 9212}, {&F::price, 9207}};

struct TypeCheck {
  std::string_view type;
  std::span<const Required> list;
};

constexpr std::array kListChecks = {
    TypeCheck{"ocbquery", kOcbQueryList},
    TypeCheck{"cancel", kCancelList},
    TypeCheck{"confirm", kConfirmCaptureList},
    TypeCheck{"capture", kConfirmCaptureList},
    TypeCheck{"auth", kAuthList},
    TypeCheck{"auth_bill", kAuthList},
    TypeCheck{"formauth", kFormauthList},
    TypeCheck{"formauth_bill", kFormauthList},
    TypeCheck{"securepay", kSecurepayList},
    TypeCheck{"repay", kRepayList},
    TypeCheck{"reqrealbill", kReqrealbillList},
    TypeCheck{"ocbsave", kOcbsaveList},
};

// A card payment that carries an OCB card number is a combined payment: both amounts are
// needed, and the OCB password when both are positive.
int CheckCardWithOcb(const F& f) {
  if (f.ocbnumber.empty()) return kFieldsComplete;
  if (const int code = FirstMissing(f, {{&F::price1, 9208}, {&F::price2, 9209}});
      code != kFieldsComplete)
    return code;
  if (AsciiToInt(f.price1) > 0 && AsciiToInt(f.price2) > 0)
    return FirstMissing(f, {{&F::ocbpasswd, 9222}});
  return kFieldsComplete;
}

// 3-D Secure: the card issuer has authenticated the buyer, so a missing expiry is filled in
// and the instalment fields are asked for only when the expiry was complete.
int CheckSecureCard(F& f) {
  if (const int code = FirstMissing(f, {{&F::cardnumber, 9210}}); code != kFieldsComplete)
    return code;
  if (f.cardexpy.empty()) {
    f.cardexpy = "49";
  } else if (f.cardexpm.empty()) {
    f.cardexpm = "12";
  } else if (const int code = FirstMissing(f, {{&F::cardquota, 9213}, {&F::quotainterest, 9214}});
             code != kFieldsComplete) {
    return code;
  }
  return CheckCardWithOcb(f);
}

int CheckCard(const F& f) {
  if (const int code = FirstMissing(f, {{&F::cardnumber, 9210}, {&F::cardexpy, 9211},
                                        {&F::cardexpm, 9211}, {&F::cardquota, 9213},
                                        {&F::quotainterest, 9214}, {&F::authentification, 9215}});
      code != kFieldsComplete)
    return code;
  if (f.authentification == "00") {
    if (const int code = FirstMissing(f, {{&F::authfield1, 9216}}); code != kFieldsComplete)
      return code;
    if (f.authfield1.size() != 10) {
      if (const int code = FirstMissing(f, {{&F::authfield2, 9217}}); code != kFieldsComplete)
        return code;
    }
  }
  return CheckCardWithOcb(f);
}

int CheckCms(const F& f) {
  if (const int code =
          FirstMissing(f, {{&F::bankcode, 9218}, {&F::bankaccount, 9219}, {&F::regnumber, 9220}});
      code != kFieldsComplete)
    return code;
  if (f.cmstype == "1")
    return FirstMissing(f, {{&F::cmsday, 9251}, {&F::cmsdatefrom, 9252}, {&F::cmsdateto, 9253},
                            {&F::price_org, 9254}});
  return kFieldsComplete;
}

int CheckOcbPoint(const F& f) {
  if (const int code = FirstMissing(f, {{&F::price1, 9208}, {&F::price2, 9209}});
      code != kFieldsComplete)
    return code;
  if (f.price1 == "0" && AsciiToInt(f.price2) > 0)
    return FirstMissing(f, {{&F::ocbnumber, 9221}, {&F::ocbpasswd, 9222}});
  if (AsciiToInt(f.price1) > 0 && f.price2 == "0")
    return FirstMissing(f, {{&F::ocbnumber, 9221}});
  return kFieldsComplete;
}

int CheckPaymethod(F& f) {
  if (EqualsNoCase(f.paymethod, "card")) return f.cavv.empty() ? CheckCard(f) : CheckSecureCard(f);
  if (EqualsNoCase(f.paymethod, "cms")) return CheckCms(f);
  if (EqualsNoCase(f.paymethod, "ocbpoint")) return CheckOcbPoint(f);
  if (EqualsNoCase(f.paymethod, "orvcard"))
    return FirstMissing(f, {{&F::price1, 9208}, {&F::price2, 9209}, {&F::cardnumber, 9210},
                            {&F::passwd, 9223}});
  if (EqualsNoCase(f.paymethod, "VBank"))
    return FirstMissing(f, {{&F::perno, 9235}, {&F::void_, 9236}, {&F::vcdbank, 9210},
                            {&F::dtinput, 9210}, {&F::nminput, 9210}});
  return kFieldsComplete;
}

int CheckFormpay(F& f) {
  if (const int code = FirstMissing(f, {{&F::admin, 9201}, {&F::mid, 9202}, {&F::pgid, 9203},
                                        {&F::uip, 9205}, {&F::url, 9206}, {&F::currency, 9224},
                                        {&F::paymethod, 9225}, {&F::buyername, 9227}});
      code != kFieldsComplete)
    return code;
  // cmstype "2" and an OCB point payment without cash need no goods or buyer contact.
  if (f.cmstype != "2") {
    if (const int code = FirstMissing(f, {{&F::price, 9207}, {&F::goodname, 9226}});
        code != kFieldsComplete)
      return code;
  }
  if (!(EqualsNoCase(f.paymethod, "ocbpoint") && EqualsNoCase(f.price2, "0"))) {
    if (const int code = FirstMissing(f, {{&F::buyertel, 9228}, {&F::buyeremail, 9229}});
        code != kFieldsComplete)
      return code;
  }
  return CheckPaymethod(f);
}

int CheckReceipt(const F& f) {
  if (const int code = FirstMissing(f, {{&F::admin, 9201}, {&F::mid, 9202}, {&F::pgid, 9203},
                                        {&F::uip, 9205}, {&F::currency, 9224},
                                        {&F::paymethod, 9225}});
      code != kFieldsComplete)
    return code;
  // A receipt for an OCB payment carries no cash receipt amounts of its own.
  if (!f.ocbnumber.empty()) return kFieldsComplete;
  return FirstMissing(f, {{&F::goodname, 9226}, {&F::buyername, 9227}, {&F::cr_price, 9270},
                          {&F::sup_price, 9271}, {&F::tax, 9272}, {&F::srvc_price, 9273},
                          {&F::reg_num, 9274}, {&F::useopt, 9275}});
}

}  // namespace

std::optional<std::string_view> TypeLabel(std::string_view type) {
  for (const TypeLabelRow& row : kTypeLabels)
    if (EqualsNoCase(row.type, type)) return row.label;
  return std::nullopt;
}

const TypeProfile& ProfileOf(std::string_view type) {
  for (const ProfileRow& row : kProfiles)
    if (EqualsNoCase(row.type, type)) return row.profile;
  return kDefaultProfile;
}

int CheckRequiredFields(TransactionFields& fields) {
  if (EqualsNoCase(fields.type, "formpay")) return CheckFormpay(fields);
  if (EqualsNoCase(fields.type, "receipt")) return CheckReceipt(fields);
  for (const TypeCheck& check : kListChecks)
    if (EqualsNoCase(check.type, fields.type)) return FirstMissing(fields, check.list);
  // secure_pay, escrow and every value outside the table are not checked.
  return kFieldsComplete;
}

std::string FieldCheckMessage(int code, const std::string& typeLabel) {
  std::string_view reason = kDefaultReason;
  for (const ReasonRow& row : kReasons)
    if (row.code == code) reason = row.reason;
  char number[16];
  std::snprintf(number, sizeof number, "%4d", code);
  std::string message = "[";
  message.append(number).append("][").append(typeLabel).append("실패|");
  message.append(reason).append("]");
  return message;
}

}  // namespace orv
