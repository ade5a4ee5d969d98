// VariantChangeType: the conversions a script host makes between numbers, texts, booleans and
// dates. See com.h for the table of what converts to what.
#include <charconv>
#include <cfloat>
#include <cmath>
#include <limits>

#include "com/com.h"
#include "com/internal.h"

namespace {

using com::internal::Dereference;

// A numeric reading of a source value: exact where the source is exact.
struct Numeric {
  enum class Kind { Integer, Real, Currency, Decimal } kind = Kind::Integer;
  int64_t integer = 0;  // Integer; Currency (scaled by 10,000)
  double real = 0;      // Real
  DECIMAL decimal{};    // Decimal
};

using u128 = unsigned __int128;

u128 DecimalMantissa(const DECIMAL& d) { return u128{d.Hi32} << 64 | d.Lo64; }

u128 PowerOfTen(int exponent) {
  u128 p = 1;
  while (exponent-- > 0) p *= 10;
  return p;
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

std::u16string_view Trim(std::u16string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Blanks, sign, digits with "," between digit groups, ".", exponent. S_OK, DISP_E_TYPEMISMATCH
// or DISP_E_OVERFLOW.
HRESULT ParseNumber(std::u16string_view text, double& out) {
  text = Trim(text);
  std::string plain;
  size_t i = 0;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    if (text[i] == u'-') plain += '-';
    ++i;
  }
  int digits = 0;
  for (; i < text.size(); ++i) {
    if (IsDigit(text[i])) {
      plain += static_cast<char>(text[i]);
      ++digits;
    } else if (text[i] == u',' && digits > 0 && i + 1 < text.size() && IsDigit(text[i + 1])) {
      continue;
    } else {
      break;
    }
  }
  if (i < text.size() && text[i] == u'.') {
    plain += '.';
    for (++i; i < text.size() && IsDigit(text[i]); ++i, ++digits)
      plain += static_cast<char>(text[i]);
  }
  if (digits == 0) return DISP_E_TYPEMISMATCH;
  if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
    plain += 'e';
    ++i;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
      plain += static_cast<char>(text[i++]);
    const size_t start = i;
    for (; i < text.size() && IsDigit(text[i]); ++i) plain += static_cast<char>(text[i]);
    if (i == start) return DISP_E_TYPEMISMATCH;
  }
  if (i != text.size()) return DISP_E_TYPEMISMATCH;
  const auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), out);
  if (ec == std::errc::result_out_of_range) return DISP_E_OVERFLOW;
  return ec == std::errc() && end == plain.data() + plain.size() ? S_OK : DISP_E_TYPEMISMATCH;
}

HRESULT ReadNumeric(const VARIANT& v, Numeric& out) {
  switch (v.vt) {
    case VT_EMPTY: out.integer = 0; return S_OK;
    case VT_I2: out.integer = v.iVal; return S_OK;
    case VT_I4: case VT_INT: out.integer = v.lVal; return S_OK;
    case VT_UI1: out.integer = v.bVal; return S_OK;
    case VT_UI4: out.integer = v.ulVal; return S_OK;
    case VT_BOOL: out.integer = v.boolVal ? -1 : 0; return S_OK;
    case VT_R4: out.kind = Numeric::Kind::Real; out.real = v.fltVal; return S_OK;
    case VT_R8: case VT_DATE: out.kind = Numeric::Kind::Real; out.real = v.dblVal; return S_OK;
    case VT_CY: out.kind = Numeric::Kind::Currency; out.integer = v.cyVal.int64; return S_OK;
    case VT_DECIMAL:
      if (v.decVal.scale > 28) return E_INVALIDARG;
      out.kind = Numeric::Kind::Decimal;
      out.decimal = v.decVal;
      return S_OK;
    case VT_BSTR:
      out.kind = Numeric::Kind::Real;
      return ParseNumber(com::View(v.bstrVal), out.real);
    default: return DISP_E_TYPEMISMATCH;
  }
}

double ToReal(const Numeric& n) {
  switch (n.kind) {
    case Numeric::Kind::Integer: return static_cast<double>(n.integer);
    case Numeric::Kind::Real: return n.real;
    case Numeric::Kind::Currency: return static_cast<double>(n.integer) / 10000.0;
    case Numeric::Kind::Decimal: {
      const long double value = static_cast<long double>(DecimalMantissa(n.decimal)) /
                                static_cast<long double>(PowerOfTen(n.decimal.scale));
      return static_cast<double>(n.decimal.sign & DECIMAL_NEG ? -value : value);
    }
  }
  return 0;
}

// quotient / divisor rounded half to even, for a non-negative quotient and remainder.
u128 RoundHalfEven(u128 quotient, u128 remainder, u128 divisor) {
  const u128 twice = remainder * 2;
  if (twice > divisor || (twice == divisor && (quotient & 1))) ++quotient;
  return quotient;
}

HRESULT ToInteger(const Numeric& n, int64_t low, int64_t high, int64_t& out) {
  switch (n.kind) {
    case Numeric::Kind::Integer:
      out = n.integer;
      break;
    case Numeric::Kind::Real: {
      // Half to even, as the default rounding mode does.
      const double rounded = std::nearbyint(n.real);
      if (!(rounded >= static_cast<double>(low) && rounded <= static_cast<double>(high)))
        return DISP_E_OVERFLOW;
      out = static_cast<int64_t>(rounded);
      return S_OK;
    }
    case Numeric::Kind::Currency: {
      const bool negative = n.integer < 0;
      const u128 magnitude = negative ? u128(-(n.integer + 1)) + 1 : u128(n.integer);
      const u128 whole = RoundHalfEven(magnitude / 10000, magnitude % 10000, 10000);
      out = negative ? -static_cast<int64_t>(whole) : static_cast<int64_t>(whole);
      break;
    }
    case Numeric::Kind::Decimal: {
      const u128 mantissa = DecimalMantissa(n.decimal);
      const u128 divisor = PowerOfTen(n.decimal.scale);
      const u128 whole = RoundHalfEven(mantissa / divisor, mantissa % divisor, divisor);
      if (whole > u128(std::numeric_limits<int64_t>::max())) return DISP_E_OVERFLOW;
      out = n.decimal.sign & DECIMAL_NEG ? -static_cast<int64_t>(whole)
                                         : static_cast<int64_t>(whole);
      break;
    }
  }
  return out >= low && out <= high ? S_OK : DISP_E_OVERFLOW;
}

HRESULT ToCurrency(const Numeric& n, int64_t& out) {
  if (n.kind == Numeric::Kind::Currency) {
    out = n.integer;
    return S_OK;
  }
  if (n.kind == Numeric::Kind::Integer) {
    constexpr int64_t kLimit = std::numeric_limits<int64_t>::max() / 10000;
    if (n.integer > kLimit || n.integer < -kLimit) return DISP_E_OVERFLOW;
    out = n.integer * 10000;
    return S_OK;
  }
  const double scaled = std::nearbyint(ToReal(n) * 10000.0);
  // 2^63 is exactly representable; anything at or beyond it does not fit.
  if (!(scaled > -9223372036854775808.0 && scaled < 9223372036854775808.0))
    return DISP_E_OVERFLOW;
  out = static_cast<int64_t>(scaled);
  return S_OK;
}

bool IsZero(const Numeric& n) {
  switch (n.kind) {
    case Numeric::Kind::Integer: case Numeric::Kind::Currency: return n.integer == 0;
    case Numeric::Kind::Real: return n.real == 0;
    case Numeric::Kind::Decimal: return DecimalMantissa(n.decimal) == 0;
  }
  return true;
}

std::u16string Widen(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

// The shortest digits that read back as `value`, laid out as "%.<precision>G" lays out: plain
// for exponents -4..precision-1, else "d.dddE+XX".
template <class Real>
std::u16string FormatReal(Real value, int precision) {
  if (value == 0) return u"0";
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                    std::chars_format::scientific);
  const std::string_view text(buffer, static_cast<size_t>(result.ptr - buffer));
  const size_t e = text.find('e');
  const bool negative = text[0] == '-';
  std::string digits;
  for (char c : text.substr(negative ? 1 : 0, e - (negative ? 1 : 0)))
    if (c != '.') digits += c;
  int exponent = 0;
  std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(),
                  exponent);
  std::string out = negative ? "-" : "";
  if (exponent < -4 || exponent >= precision) {
    out += digits[0];
    if (digits.size() > 1) out += "." + digits.substr(1);
    out += exponent < 0 ? "E-" : "E+";
    const int magnitude = exponent < 0 ? -exponent : exponent;
    if (magnitude < 10) out += '0';
    out += std::to_string(magnitude);
  } else if (exponent < 0) {
    out += "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
  } else {
    const size_t whole = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= whole) {
      out += digits + std::string(whole - digits.size(), '0');
    } else {
      out += digits.substr(0, whole) + "." + digits.substr(whole);
    }
  }
  return Widen(out);
}

// magnitude / 10^scale, exactly, without trailing zeros in the fraction.
std::u16string FormatScaled(bool negative, u128 magnitude, int scale) {
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(magnitude % 10)));
    magnitude /= 10;
  } while (magnitude > 0);
  if (scale > 0) {
    if (digits.size() <= static_cast<size_t>(scale))
      digits.insert(0, static_cast<size_t>(scale) + 1 - digits.size(), '0');
    digits.insert(digits.size() - static_cast<size_t>(scale), ".");
    while (digits.back() == '0') digits.pop_back();
    if (digits.back() == '.') digits.pop_back();
  }
  if (negative && digits != "0") digits.insert(0, "-");
  return Widen(digits);
}

HRESULT ToText(const VARIANT& v, uint16_t flags, std::u16string& out) {
  switch (v.vt) {
    case VT_EMPTY: out.clear(); return S_OK;
    case VT_I2: out = Widen(std::to_string(v.iVal)); return S_OK;
    case VT_I4: case VT_INT: out = Widen(std::to_string(v.lVal)); return S_OK;
    case VT_UI1: out = Widen(std::to_string(v.bVal)); return S_OK;
    case VT_UI4: out = Widen(std::to_string(v.ulVal)); return S_OK;
    case VT_BOOL:
      if (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL))
        out = v.boolVal ? u"True" : u"False";
      else
        out = v.boolVal ? u"-1" : u"0";
      return S_OK;
    case VT_R8:
      if (!std::isfinite(v.dblVal)) return DISP_E_OVERFLOW;
      out = FormatReal(v.dblVal, 15);
      return S_OK;
    case VT_R4:
      if (!std::isfinite(v.fltVal)) return DISP_E_OVERFLOW;
      out = FormatReal(v.fltVal, 7);
      return S_OK;
    case VT_CY: {
      const int64_t c = v.cyVal.int64;
      out = FormatScaled(c < 0, c < 0 ? u128(-(c + 1)) + 1 : u128(c), 4);
      return S_OK;
    }
    case VT_DECIMAL:
      if (v.decVal.scale > 28) return E_INVALIDARG;
      out = FormatScaled(v.decVal.sign & DECIMAL_NEG, DecimalMantissa(v.decVal), v.decVal.scale);
      return S_OK;
    case VT_DATE: {
      std::optional<std::u16string> text = com::internal::FormatDate(v.date);
      if (!text) return DISP_E_OVERFLOW;
      out = std::move(*text);
      return S_OK;
    }
    case VT_BSTR: out = com::View(v.bstrVal); return S_OK;
    default: return DISP_E_TYPEMISMATCH;
  }
}

bool EqualsAsciiNoCase(std::u16string_view text, std::string_view word) {
  if (text.size() != word.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] > 0x7F) return false;
    if (com::internal::Fold(static_cast<char>(text[i])) != com::internal::Fold(word[i]))
      return false;
  }
  return true;
}

HRESULT ToBool(const VARIANT& v, bool& out) {
  if (v.vt == VT_BSTR) {
    const std::u16string_view text = Trim(com::View(v.bstrVal));
    if (EqualsAsciiNoCase(text, "True") || EqualsAsciiNoCase(text, "False")) {
      out = EqualsAsciiNoCase(text, "True");
      return S_OK;
    }
  }
  Numeric n;
  const HRESULT hr = ReadNumeric(v, n);
  if (FAILED(hr)) return hr;
  out = !IsZero(n);
  return S_OK;
}

constexpr double kFirstDate = -657434.0;  // 0100-01-01
constexpr double kEndOfDates = 2958466.0;  // 10000-01-01

HRESULT ToDate(const VARIANT& v, double& out) {
  if (v.vt == VT_BSTR) {
    const std::optional<DATE> date = com::internal::ParseDate(com::View(v.bstrVal));
    if (!date) return DISP_E_TYPEMISMATCH;
    out = *date;
    return S_OK;
  }
  Numeric n;
  const HRESULT hr = ReadNumeric(v, n);
  if (FAILED(hr)) return hr;
  out = ToReal(n);
  return out > kFirstDate - 1 && out < kEndOfDates ? S_OK : DISP_E_OVERFLOW;
}

HRESULT ToInterface(const VARIANT& v, VARTYPE type, VARIANT& out) {
  if (v.vt != VT_DISPATCH && v.vt != VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
  IUnknown* object = v.vt == VT_DISPATCH ? v.pdispVal : v.punkVal;
  void* converted = nullptr;
  if (object) {
    const HRESULT hr =
        object->QueryInterface(type == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, &converted);
    if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
  }
  out.vt = type;
  out.byref = converted;
  return S_OK;
}

// Converts a by-value source into `out`, which is empty on entry.
HRESULT Convert(const VARIANT& v, uint16_t flags, VARTYPE type, com::Variant& out) {
  if (v.vt == type) return com::internal::CopyValue(&out, v);
  HRESULT hr = S_OK;
  switch (type) {
    case VT_EMPTY:
      return v.vt == VT_EMPTY ? S_OK : DISP_E_TYPEMISMATCH;
    case VT_NULL:
      if (v.vt != VT_EMPTY) return DISP_E_TYPEMISMATCH;
      out.vt = VT_NULL;
      return S_OK;
    case VT_ERROR:
      return DISP_E_TYPEMISMATCH;
    case VT_DISPATCH: case VT_UNKNOWN:
      return ToInterface(v, type, out);
    case VT_BSTR: {
      std::u16string text;
      hr = ToText(v, flags, text);
      if (FAILED(hr)) return hr;
      out.bstrVal = SysAllocStringLen(text.data(), static_cast<uint32_t>(text.size()));
      if (!out.bstrVal) return E_OUTOFMEMORY;
      out.vt = VT_BSTR;
      return S_OK;
    }
    case VT_BOOL: {
      bool value = false;
      hr = ToBool(v, value);
      if (FAILED(hr)) return hr;
      out.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    }
    case VT_DATE:
      hr = ToDate(v, out.date);
      break;
    default: {
      Numeric n;
      hr = ReadNumeric(v, n);
      if (FAILED(hr)) return hr;
      int64_t integer = 0;
      switch (type) {
        case VT_I2:
          hr = ToInteger(n, INT16_MIN, INT16_MAX, integer);
          out.iVal = static_cast<int16_t>(integer);
          break;
        case VT_I4: case VT_INT:
          hr = ToInteger(n, INT32_MIN, INT32_MAX, integer);
          out.lVal = static_cast<int32_t>(integer);
          break;
        case VT_UI1:
          hr = ToInteger(n, 0, UINT8_MAX, integer);
          out.bVal = static_cast<uint8_t>(integer);
          break;
        case VT_UI4:
          hr = ToInteger(n, 0, UINT32_MAX, integer);
          out.ulVal = static_cast<uint32_t>(integer);
          break;
        case VT_R8:
          out.dblVal = ToReal(n);
          break;
        case VT_R4: {
          const double real = ToReal(n);
          if (std::isfinite(real) && std::fabs(real) > FLT_MAX) return DISP_E_OVERFLOW;
          out.fltVal = static_cast<float>(real);
          break;
        }
        case VT_CY:
          hr = ToCurrency(n, out.cyVal.int64);
          break;
        default:
          return DISP_E_BADVARTYPE;
      }
    }
  }
  if (FAILED(hr)) return hr;
  out.vt = type;
  return S_OK;
}

}  // namespace

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, uint16_t flags, VARTYPE vt) {
  if (!dest || !src) return E_INVALIDARG;
  if (!com::internal::IsValueType(vt) || vt == VT_DECIMAL) return DISP_E_BADVARTYPE;
  VARIANT view;
  HRESULT hr = Dereference(*src, view);
  if (FAILED(hr)) return hr;
  com::Variant result;
  hr = Convert(view, flags, vt, result);
  if (FAILED(hr)) return hr;
  // `view` may borrow from *src, which is *dest when converting in place: `result` owns a
  // copy of everything it needs before dest is cleared.
  result.MoveTo(dest);
  return S_OK;
}
