// The action types a transaction can run: their Korean labels (used in every failure
// message) and, per type, the steps the transaction driver takes.
#pragma once

#include <optional>
#include <string_view>

namespace orv {

// The Korean label of a type value (compared without regard to case), in code page 949.
// formauth_bill has the empty label; values outside the table have none.
std::optional<std::string_view> TypeLabel(std::string_view type);

}  // namespace orv
