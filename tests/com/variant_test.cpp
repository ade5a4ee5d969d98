#include <gtest/gtest.h>

#include <cmath>

#include "probe.h"

namespace {

VARIANT Make(VARTYPE vt) {
  VARIANT v{};
  v.vt = vt;
  return v;
}
template <class Field, class Value>
VARIANT Make(VARTYPE vt, Field VARIANT::*field, Value value) {
  VARIANT v = Make(vt);
  v.*field = static_cast<Field>(value);
  return v;
}
VARIANT I4(int32_t n) { return Make(VT_I4, &VARIANT::lVal, n); }
VARIANT UI4(uint32_t n) { return Make(VT_UI4, &VARIANT::ulVal, n); }
VARIANT R8(double d) { return Make(VT_R8, &VARIANT::dblVal, d); }
VARIANT R4(float f) { return Make(VT_R4, &VARIANT::fltVal, f); }
VARIANT Date(double d) { return Make(VT_DATE, &VARIANT::date, d); }
VARIANT Bool(bool b) { return Make(VT_BOOL, &VARIANT::boolVal, b ? VARIANT_TRUE : VARIANT_FALSE); }
VARIANT Cy(int64_t c) {
  VARIANT v = Make(VT_CY);
  v.cyVal.int64 = c;
  return v;
}
VARIANT Dec(uint64_t mantissa, uint8_t scale, bool negative) {
  VARIANT v{};
  v.decVal.Lo64 = mantissa;
  v.decVal.scale = scale;
  v.decVal.sign = negative ? DECIMAL_NEG : 0;
  v.vt = VT_DECIMAL;
  return v;
}

// The source texts live as long as the table: the table holds only borrowed BSTRs.
class Texts {
 public:
  VARIANT operator()(std::u16string_view text) {
    held_.emplace_back(text);
    VARIANT v = Make(VT_BSTR);
    v.bstrVal = held_.back().Get();
    return v;
  }

 private:
  std::vector<com::Bstr> held_;
};

std::string Describe(const VARIANT& v) {
  com::Variant text;
  if (v.vt == VT_BSTR) return "\"" + com::ToCp949(v.bstrVal) + "\"";
  if (SUCCEEDED(VariantChangeType(&text, &v, 0, VT_BSTR)))
    return "vt " + std::to_string(v.vt) + " " + com::ToCp949(text.bstrVal);
  return "vt " + std::to_string(v.vt);
}

bool SameValue(const VARIANT& a, const VARIANT& b) {
  if (a.vt != b.vt) return false;
  switch (a.vt) {
    case VT_EMPTY: case VT_NULL: return true;
    case VT_BSTR: return com::View(a.bstrVal) == com::View(b.bstrVal);
    case VT_I2: case VT_BOOL: return a.iVal == b.iVal;
    case VT_UI1: return a.bVal == b.bVal;
    case VT_R4: return a.fltVal == b.fltVal;
    case VT_R8: case VT_DATE: return std::fabs(a.dblVal - b.dblVal) < 1e-9;
    case VT_CY: return a.cyVal.int64 == b.cyVal.int64;
    default: return a.lVal == b.lVal;
  }
}

struct Case {
  VARIANT source;
  VARTYPE target;
  VARIANT expected;  // vt VT_ERROR: the conversion fails with `failure`
  HRESULT failure = S_OK;
  uint16_t flags = 0;
};

VARIANT Fails() { return Make(VT_ERROR); }

TEST(VariantChangeType, ScriptHostConversions) {
  Texts s;
  int32_t referenced = 12;
  VARIANT inner = s(u"34");
  const double noon = 0.5;
  const double christmas = 39076;  // 2006-12-25
  const Case cases[] = {
      // numbers to text
      {I4(42), VT_BSTR, s(u"42")},
      {I4(-7), VT_BSTR, s(u"-7")},
      {UI4(4294967295u), VT_BSTR, s(u"4294967295")},
      {R8(0.1), VT_BSTR, s(u"0.1")},
      {R8(1.0 / 3), VT_BSTR, s(u"0.3333333333333333")},
      {R8(-2.5), VT_BSTR, s(u"-2.5")},
      {R8(100000), VT_BSTR, s(u"100000")},
      {R8(123456789012345), VT_BSTR, s(u"123456789012345")},
      {R8(1e15), VT_BSTR, s(u"1E+15")},
      {R8(0.0001), VT_BSTR, s(u"0.0001")},
      {R8(1.5e-5), VT_BSTR, s(u"1.5E-05")},
      {R8(-0.0), VT_BSTR, s(u"0")},
      {R8(INFINITY), VT_BSTR, Fails(), DISP_E_OVERFLOW},
      {R4(0.1f), VT_BSTR, s(u"0.1")},
      {Cy(15000), VT_BSTR, s(u"1.5")},
      {Cy(10000), VT_BSTR, s(u"1")},
      {Cy(-5), VT_BSTR, s(u"-0.0005")},
      {Dec(12345, 2, true), VT_BSTR, s(u"-123.45")},
      {Dec(5, 3, false), VT_BSTR, s(u"0.005")},
      {Bool(true), VT_BSTR, s(u"-1")},
      {Bool(true), VT_BSTR, s(u"True"), S_OK, VARIANT_ALPHABOOL},
      {Bool(false), VT_BSTR, s(u"False"), S_OK, VARIANT_ALPHABOOL},
      {Make(VT_EMPTY), VT_BSTR, s(u"")},
      {Make(VT_NULL), VT_BSTR, Fails(), DISP_E_TYPEMISMATCH},
      // dates to text, in the Korean locale
      {Date(christmas), VT_BSTR, s(u"2006-12-25")},
      {Date(christmas + 0.4375), VT_BSTR, s(u"2006-12-25 오전 10:30:00")},
      {Date(christmas + 54309.0 / 86400), VT_BSTR, s(u"2006-12-25 오후 3:05:09")},
      {Date(noon), VT_BSTR, s(u"오후 12:00:00")},
      {Date(0), VT_BSTR, s(u"오전 12:00:00")},
      {Date(-1.25), VT_BSTR, s(u"1899-12-29 오전 6:00:00")},
      {Date(3e6), VT_BSTR, Fails(), DISP_E_OVERFLOW},
      // text to numbers
      {s(u"42"), VT_I4, I4(42)},
      {s(u" -42 "), VT_I4, I4(-42)},
      {s(u"1,234"), VT_I4, I4(1234)},
      {s(u"1e3"), VT_I4, I4(1000)},
      {s(u"1.5"), VT_I4, I4(2)},
      {s(u"2.5"), VT_I4, I4(2)},  // half to even
      {s(u"-2.5"), VT_I4, I4(-2)},
      {s(u"3.5"), VT_INT, [] { VARIANT v = Make(VT_INT); v.intVal = 4; return v; }()},
      {s(u"99999999999"), VT_I4, Fails(), DISP_E_OVERFLOW},
      {s(u"32768"), VT_I2, Fails(), DISP_E_OVERFLOW},
      {s(u"256"), VT_UI1, Fails(), DISP_E_OVERFLOW},
      {s(u"-1"), VT_UI4, Fails(), DISP_E_OVERFLOW},
      {s(u"abc"), VT_I4, Fails(), DISP_E_TYPEMISMATCH},
      {s(u""), VT_I4, Fails(), DISP_E_TYPEMISMATCH},
      {s(u"12abc"), VT_I4, Fails(), DISP_E_TYPEMISMATCH},
      {s(u"1,"), VT_I4, Fails(), DISP_E_TYPEMISMATCH},
      {s(u"１２"), VT_I4, Fails(), DISP_E_TYPEMISMATCH},  // full-width digits are not digits
      {s(u"1,000.5"), VT_R8, R8(1000.5)},
      {s(u"-.5"), VT_R8, R8(-0.5)},
      {s(u"1e400"), VT_R8, Fails(), DISP_E_OVERFLOW},
      {s(u"1.23456"), VT_CY, Cy(12346)},
      // text to booleans and dates
      {s(u"True"), VT_BOOL, Bool(true)},
      {s(u" false "), VT_BOOL, Bool(false)},
      {s(u"0"), VT_BOOL, Bool(false)},
      {s(u"2"), VT_BOOL, Bool(true)},
      {s(u"yes"), VT_BOOL, Fails(), DISP_E_TYPEMISMATCH},
      {s(u"2006-12-25"), VT_DATE, Date(christmas)},
      {s(u"2006-12-25 오후 3:05:09"), VT_DATE, Date(christmas + 54309.0 / 86400)},
      {s(u"2006/12/25 15:05:09"), VT_DATE, Date(christmas + 54309.0 / 86400)},
      {s(u"12:00 PM"), VT_DATE, Date(noon)},
      {s(u"1899-12-29 오전 6:00:00"), VT_DATE, Date(-1.25)},
      {s(u"2006-02-30"), VT_DATE, Fails(), DISP_E_TYPEMISMATCH},
      {s(u"13:00 PM"), VT_DATE, Fails(), DISP_E_TYPEMISMATCH},
      {s(u"hello"), VT_DATE, Fails(), DISP_E_TYPEMISMATCH},
      // numbers to numbers
      {R8(2.5), VT_I4, I4(2)},
      {R8(-0.5), VT_I4, I4(0)},
      {R8(1e10), VT_I4, Fails(), DISP_E_OVERFLOW},
      {R8(NAN), VT_I4, Fails(), DISP_E_OVERFLOW},
      {I4(70000), VT_I2, Fails(), DISP_E_OVERFLOW},
      {I4(-1), VT_UI1, Fails(), DISP_E_OVERFLOW},
      {Cy(25000), VT_I4, I4(2)},
      {Cy(35000), VT_I4, I4(4)},
      {Cy(-35000), VT_I4, I4(-4)},
      {Dec(25, 1, false), VT_I4, I4(2)},
      {I4(5), VT_CY, Cy(50000)},
      {R8(1e300), VT_CY, Fails(), DISP_E_OVERFLOW},
      {R8(1e300), VT_R4, Fails(), DISP_E_OVERFLOW},
      {Bool(true), VT_I4, I4(-1)},
      {I4(5), VT_BOOL, Bool(true)},
      {R8(0), VT_BOOL, Bool(false)},
      {I4(5), VT_DATE, Date(5)},
      {R8(1e7), VT_DATE, Fails(), DISP_E_OVERFLOW},
      // Empty and Null
      {Make(VT_EMPTY), VT_I4, I4(0)},
      {Make(VT_EMPTY), VT_BOOL, Bool(false)},
      {Make(VT_EMPTY), VT_NULL, Make(VT_NULL)},
      {Make(VT_NULL), VT_NULL, Make(VT_NULL)},
      {Make(VT_NULL), VT_I4, Fails(), DISP_E_TYPEMISMATCH},
      {I4(1), VT_EMPTY, Fails(), DISP_E_TYPEMISMATCH},
      // by reference
      {com::ByRef(referenced), VT_BSTR, s(u"12")},
      {com::ByRef(inner), VT_I4, I4(34)},
      // types outside the subset
      {I4(1), VT_DECIMAL, Fails(), DISP_E_BADVARTYPE},
      {I4(1), VT_VARIANT, Fails(), DISP_E_BADVARTYPE},
      {Make(VT_ARRAY | VT_I4), VT_I4, Fails(), DISP_E_BADVARTYPE},
  };
  for (const Case& c : cases) {
    com::Variant out;
    const HRESULT hr = VariantChangeType(&out, &c.source, c.flags, c.target);
    if (c.expected.vt == VT_ERROR) {
      EXPECT_EQ(hr, c.failure) << Describe(c.source) << " -> " << c.target;
      EXPECT_EQ(out.vt, VT_EMPTY);
    } else {
      EXPECT_EQ(hr, S_OK) << Describe(c.source) << " -> " << c.target;
      EXPECT_TRUE(SameValue(out, c.expected))
          << Describe(c.source) << " -> " << Describe(out) << ", not " << Describe(c.expected);
    }
  }
}

TEST(VariantChangeType, InPlaceFreesTheOldValue) {
  com::Variant v(u"1234");
  ASSERT_EQ(v.ChangeType(VT_I4), S_OK);  // the BSTR is freed (LeakSanitizer watches)
  EXPECT_EQ(v.vt, VT_I4);
  EXPECT_EQ(v.lVal, 1234);
  ASSERT_EQ(v.ChangeType(VT_BSTR), S_OK);
  EXPECT_EQ(com::View(v.bstrVal), u"1234");
  EXPECT_EQ(v.ChangeType(VT_BOOL, 0), S_OK);
  EXPECT_EQ(v.ChangeType(VT_DISPATCH), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(v.vt, VT_BOOL);  // left as it was
}

TEST(Variant, CopyClearAndReferences) {
  com::Variant text(u"abc");
  com::Variant copy;
  ASSERT_EQ(copy.CopyFrom(text), S_OK);
  EXPECT_NE(copy.bstrVal, text.bstrVal);
  EXPECT_EQ(com::View(copy.bstrVal), u"abc");

  VARIANT reference = com::ByRef(text);
  com::Variant shallow;
  ASSERT_EQ(VariantCopy(&shallow, &reference), S_OK);  // the reference itself
  EXPECT_EQ(shallow.vt, VT_VARIANT | VT_BYREF);
  EXPECT_EQ(shallow.pvarVal, &text);
  ASSERT_EQ(VariantCopyInd(&shallow, &reference), S_OK);  // the value it points at
  EXPECT_EQ(shallow.vt, VT_BSTR);
  EXPECT_NE(shallow.bstrVal, text.bstrVal);

  VARIANT loop = com::ByRef(text);
  loop.pvarVal = &loop;  // a reference to itself
  EXPECT_EQ(VariantCopyInd(&shallow, &loop), DISP_E_BADVARTYPE);
  VARIANT dangling = Make(VT_I4 | VT_BYREF);
  EXPECT_EQ(VariantCopyInd(&shallow, &dangling), E_INVALIDARG);

  VARIANT array = Make(VT_ARRAY | VT_I4);
  EXPECT_EQ(VariantClear(&array), DISP_E_BADVARTYPE);
}

TEST(Variant, InterfacesAreCountedAndConverted) {
  void* raw = nullptr;
  ASSERT_EQ(com::CreateInstance<Probe>(nullptr, IID_IUnknown, &raw), S_OK);
  com::Variant unknown;
  unknown.vt = VT_UNKNOWN;
  unknown.punkVal = static_cast<IUnknown*>(raw);
  com::Variant dispatch;
  ASSERT_EQ(VariantChangeType(&dispatch, &unknown, 0, VT_DISPATCH), S_OK);
  ASSERT_EQ(dispatch.vt, VT_DISPATCH);
  com::Variant copy;
  ASSERT_EQ(copy.CopyFrom(dispatch), S_OK);
  EXPECT_EQ(copy.pdispVal->AddRef(), 4u);  // unknown, dispatch, copy, and this one
  copy.pdispVal->Release();
  EXPECT_EQ(VariantChangeType(&copy, &dispatch, 0, VT_I4), DISP_E_TYPEMISMATCH);
}

}  // namespace
