// The value-to-text rules of the database wrappers, one row per value type and number shape.
#include <gtest/gtest.h>

#include "database.h"

namespace {

TEST(GeneralNumber, TwentyDigits) {
  const struct {
    double value;
    const char* text;
  } kCases[] = {
      {12, "12."},
      {0.5, "0.5"},
      {1012345678, "1012345678."},
      {0.00001, "1.e-005"},
      {0, "0."},
      {-12.25, "-12.25"},
      {0.1, "0.1"},
      {1.0 / 3, "0.3333333333333333"},
      {0.1 + 0.2, "0.30000000000000004"},  // all 17 digits a double holds
      {123456789012345678901.0, "1.2345678901234568e+020"},
      {99999999999999999999.0, "1.e+020"},
      {1e19, "10000000000000000000."},
      {0.12345, "0.12345"},
      {0.012345, "1.2345e-002"},
      {1e-300, "1.e-300"},
  };
  for (const auto& c : kCases) EXPECT_EQ(GeneralNumber(c.value, 20), c.text) << c.value;
}

TEST(GeneralNumber, TenDigitsRoundAtTheTenth) {
  EXPECT_EQ(GeneralNumber(0.1f, 10), "0.1000000015");
  EXPECT_EQ(GeneralNumber(1012345678.0f, 10), "1012345664.");
  EXPECT_EQ(GeneralNumber(12345678901.0, 10), "1.23456789e+010");
  EXPECT_EQ(GeneralNumber(2.5f, 10), "2.5");
}

com::Variant Of(VARTYPE type, auto assign) {
  com::Variant value;
  assign(static_cast<VARIANT&>(value));
  value.vt = type;  // after: a DECIMAL overlays vt
  return value;
}

TEST(ValueToText, EachValueType) {
  DECIMAL decimal{};
  decimal.scale = 2;
  decimal.sign = DECIMAL_NEG;
  decimal.Lo64 = 123456;
  const struct {
    com::Variant value;
    const char* text;
  } kCases[] = {
      {com::Variant(), ""},
      {com::Variant::Null(), ""},
      {Of(VT_I2, [](VARIANT& v) { v.iVal = -7; }), "-7"},
      {com::Variant(int32_t{40000}), "40000"},
      {Of(VT_INT, [](VARIANT& v) { v.intVal = -2147483647 - 1; }), "-2147483648"},
      {Of(VT_UI1, [](VARIANT& v) { v.bVal = 255; }), "255"},
      {Of(VT_UI4, [](VARIANT& v) { v.ulVal = 4294967295u; }), "4294967295"},
      {com::Variant::Bool(true), "1"},
      {Of(VT_BOOL, [](VARIANT& v) { v.boolVal = 1; }), "1"},
      {com::Variant::Bool(false), "0"},
      {Of(VT_R4, [](VARIANT& v) { v.fltVal = 12; }), "12."},
      {com::Variant(1012345678.0), "1012345678."},
      {com::Variant(0.00001), "1.e-005"},
      {Of(VT_DECIMAL, [&](VARIANT& v) { v.decVal = decimal; }), "-1234.56"},
      {Of(VT_DATE, [](VARIANT& v) { v.date = 38987.2609375; }), "2006-09-27 06:15:45"},
      {com::Variant(u"전화 01012345678"), "전화 01012345678"},
  };
  for (const auto& c : kCases) {
    std::string text = "before";
    EXPECT_TRUE(ValueToText(c.value, "", text)) << c.value.vt;
    EXPECT_EQ(text, c.text) << c.value.vt;
  }
}

TEST(ValueToText, DateFormatIsStrftime) {
  const com::Variant date = Of(VT_DATE, [](VARIANT& v) { v.date = 38987.2609375; });
  std::string text;
  ASSERT_TRUE(ValueToText(date, "%d/%m/%Y %a %j", text));
  EXPECT_EQ(text, "27/09/2006 Wed 270");
  ASSERT_TRUE(ValueToText(Of(VT_DATE, [](VARIANT& v) { v.date = -1.25; }), "", text));
  EXPECT_EQ(text, "1899-12-29 06:00:00");
}

TEST(ValueToText, OtherTypesLeaveTheTextAlone) {
  const com::Variant kCases[] = {
      Of(VT_CY, [](VARIANT& v) { v.cyVal.int64 = 123400; }),
      Of(VT_ERROR, [](VARIANT& v) { v.scode = E_FAIL; }),
      Of(VT_I4 | VT_BYREF, [](VARIANT& v) { v.plVal = nullptr; }),
  };
  for (const VARIANT& value : kCases) {
    std::string text = "unchanged";
    EXPECT_FALSE(ValueToText(value, "", text)) << value.vt;
    EXPECT_EQ(text, "unchanged");
  }
}

}  // namespace
