#include "action_types.h"

#include <array>

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

}  // namespace

std::optional<std::string_view> TypeLabel(std::string_view type) {
  for (const TypeLabelRow& row : kTypeLabels)
    if (EqualsNoCase(row.type, type)) return row.label;
  return std::nullopt;
}

}  // namespace orv
