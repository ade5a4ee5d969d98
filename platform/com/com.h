// The COM subset that the modules and their clients need, with the Windows x64 binary layouts:
// types, interfaces, BSTR and VARIANT handling, table-driven IDispatch, object and class-factory
// plumbing, self-registration against a registry store file, and activation by ProgID.
//
// Windows names (HRESULT, BSTR, VARIANT, SysAllocString, CoCreateInstance, ...) live at global
// scope as on Windows; the helpers of this platform live in namespace com.
//
// Ownership, as COM has it:
// - [in] BSTR / VARIANT arguments belong to the caller: the callee reads them and frees nothing.
// - [out] and [out, retval] BSTRs / VARIANTs that a call returns belong to the caller, who frees
//   them (SysFreeString / VariantClear, or by holding them in com::Bstr / com::Variant).
// - An [out] VARIANT* may hold an old value: write it with com::Variant::MoveTo (or
//   VariantClear it first) so that the old value is freed, never overwrite it blindly.
// - Interface pointers returned by QueryInterface, CreateInstance, CoCreateInstance,
//   GetErrorInfo carry one reference that the receiver releases (com::ComPtr does it).
// BSTRs are plain malloc blocks, so a BSTR allocated by one module may be freed by another.
//
// Thread-safety: everything here may be called from any thread. Reference counts and the module
// lock count are atomic; the registry store and the table of loaded modules have their locks.
// There are no apartments: threading models are recorded at registration and otherwise ignored.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

// ---------------------------------------------------------------------------------------------
// Scalar types and result codes

using HRESULT = int32_t;
using SCODE = int32_t;
using OLECHAR = char16_t;
using BSTR = OLECHAR*;
using VARTYPE = uint16_t;
using VARIANT_BOOL = int16_t;
using DATE = double;  // days since 1899-12-30; the fraction is the time of day
using DISPID = int32_t;
using LCID = uint32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT DISP_E_UNKNOWNINTERFACE = static_cast<HRESULT>(0x80020001u);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003u);
constexpr HRESULT DISP_E_PARAMNOTFOUND = static_cast<HRESULT>(0x80020004u);
constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
constexpr HRESULT DISP_E_UNKNOWNNAME = static_cast<HRESULT>(0x80020006u);
constexpr HRESULT DISP_E_NONAMEDARGS = static_cast<HRESULT>(0x80020007u);
constexpr HRESULT DISP_E_BADVARTYPE = static_cast<HRESULT>(0x80020008u);
constexpr HRESULT DISP_E_EXCEPTION = static_cast<HRESULT>(0x80020009u);
constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000Au);
constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000Eu);
constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = static_cast<HRESULT>(0x8002000Fu);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
constexpr HRESULT REGDB_E_READREGDB = static_cast<HRESULT>(0x80040150u);
constexpr HRESULT REGDB_E_WRITEREGDB = static_cast<HRESULT>(0x80040151u);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3u);
constexpr HRESULT CO_E_DLLNOTFOUND = static_cast<HRESULT>(0x800401F8u);
constexpr HRESULT CO_E_ERRORINDLL = static_cast<HRESULT>(0x800401F9u);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

// ---------------------------------------------------------------------------------------------
// GUIDs

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
  friend constexpr bool operator==(const GUID&, const GUID&) = default;
};
using IID = GUID;
using CLSID = GUID;

namespace com {

// Reads the registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (hex digits in either case);
// nullopt for anything else.
template <typename Char>
constexpr std::optional<GUID> ParseGuid(std::basic_string_view<Char> text) {
  if (text.size() != 38 || text[0] != '{' || text[37] != '}') return std::nullopt;
  uint8_t bytes[16] = {};
  size_t at = 1;
  for (int i = 0; i < 16; ++i) {
    if (at == 9 || at == 14 || at == 19 || at == 24) {
      if (text[at] != '-') return std::nullopt;
      ++at;
    }
    int value = 0;
    for (int half = 0; half < 2; ++half, ++at) {
      const Char c = text[at];
      const int digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                               : -1;
      if (digit < 0) return std::nullopt;
      value = value * 16 + digit;
    }
    bytes[i] = static_cast<uint8_t>(value);
  }
  GUID guid{};
  guid.Data1 = uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 |
               bytes[3];
  guid.Data2 = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
  guid.Data3 = static_cast<uint16_t>(bytes[6] << 8 | bytes[7]);
  for (int i = 0; i < 8; ++i) guid.Data4[i] = bytes[8 + i];
  return guid;
}
constexpr std::optional<GUID> ParseGuid(std::string_view text) { return ParseGuid<char>(text); }
constexpr std::optional<GUID> ParseGuid(std::u16string_view text) {
  return ParseGuid<char16_t>(text);
}

namespace detail {
void GuidTextIsMalformed();  // never defined: reaching it in MakeGuid fails the build
}

// A GUID written in the registry form, checked at compile time.
consteval GUID MakeGuid(std::string_view text) {
  const std::optional<GUID> guid = ParseGuid(text);
  if (!guid) detail::GuidTextIsMalformed();
  return *guid;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case.
std::string FormatGuid(const GUID& guid);

}  // namespace com

// ---------------------------------------------------------------------------------------------
// Interfaces, in the Windows vtable order. No virtual destructors: they would add vtable slots.

struct ITypeInfo;    // not served: GetTypeInfo answers E_NOTIMPL
struct IRecordInfo;  // not served
struct SAFEARRAY;    // arrays are not supported

struct IUnknown {
  static constexpr IID kIid = com::MakeGuid("{00000000-0000-0000-C000-000000000046}");
  virtual HRESULT QueryInterface(const IID& iid, void** object) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;

 protected:
  ~IUnknown() = default;
};

struct VARIANT;
struct DISPPARAMS;
struct EXCEPINFO;

struct IDispatch : IUnknown {
  static constexpr IID kIid = com::MakeGuid("{00020400-0000-0000-C000-000000000046}");
  virtual HRESULT GetTypeInfoCount(uint32_t* count) = 0;
  virtual HRESULT GetTypeInfo(uint32_t index, LCID lcid, ITypeInfo** info) = 0;
  virtual HRESULT GetIDsOfNames(const IID& iid, OLECHAR** names, uint32_t count, LCID lcid,
                                DISPID* dispids) = 0;
  virtual HRESULT Invoke(DISPID dispid, const IID& iid, LCID lcid, uint16_t flags,
                         DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                         uint32_t* argumentError) = 0;

 protected:
  ~IDispatch() = default;
};

struct IClassFactory : IUnknown {
  static constexpr IID kIid = com::MakeGuid("{00000001-0000-0000-C000-000000000046}");
  virtual HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** object) = 0;
  virtual HRESULT LockServer(int32_t lock) = 0;

 protected:
  ~IClassFactory() = default;
};

struct ISupportErrorInfo : IUnknown {
  static constexpr IID kIid = com::MakeGuid("{DF0B3D60-548F-101B-8E65-08002B2BD119}");
  virtual HRESULT InterfaceSupportsErrorInfo(const IID& iid) = 0;

 protected:
  ~ISupportErrorInfo() = default;
};

struct IErrorInfo : IUnknown {
  static constexpr IID kIid = com::MakeGuid("{1CF2B120-547D-101B-8E65-08002B2BD119}");
  virtual HRESULT GetGUID(GUID* guid) = 0;
  virtual HRESULT GetSource(BSTR* source) = 0;
  virtual HRESULT GetDescription(BSTR* description) = 0;
  virtual HRESULT GetHelpFile(BSTR* helpFile) = 0;
  virtual HRESULT GetHelpContext(uint32_t* helpContext) = 0;

 protected:
  ~IErrorInfo() = default;
};

inline constexpr IID IID_NULL{};
inline constexpr const IID& IID_IUnknown = IUnknown::kIid;
inline constexpr const IID& IID_IDispatch = IDispatch::kIid;
inline constexpr const IID& IID_IClassFactory = IClassFactory::kIid;
inline constexpr const IID& IID_ISupportErrorInfo = ISupportErrorInfo::kIid;
inline constexpr const IID& IID_IErrorInfo = IErrorInfo::kIid;

// ---------------------------------------------------------------------------------------------
// VARIANT and friends

enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_UI1 = 17,
  VT_UI4 = 19,
  VT_INT = 22,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_TYPEMASK = 0x0FFF,
};

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// Currency: a 64-bit integer scaled by 10,000.
struct CY {
  int64_t int64;
};

// 96-bit unsigned integer, a power-of-ten scale 0..28 and a sign; overlays a whole VARIANT,
// wReserved taking the place of vt.
struct DECIMAL {
  uint16_t wReserved;
  uint8_t scale;
  uint8_t sign;  // DECIMAL_NEG or 0
  uint32_t Hi32;
  uint64_t Lo64;
};
constexpr uint8_t DECIMAL_NEG = 0x80;

struct VARIANT {
  union {
    struct {
      VARTYPE vt;
      uint16_t wReserved1;
      uint16_t wReserved2;
      uint16_t wReserved3;
      union {
        int64_t llVal;
        int32_t lVal;
        uint8_t bVal;
        int16_t iVal;
        float fltVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        CY cyVal;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        uint8_t* pbVal;
        int16_t* piVal;
        int32_t* plVal;
        float* pfltVal;
        double* pdblVal;
        VARIANT_BOOL* pboolVal;
        SCODE* pscode;
        CY* pcyVal;
        DATE* pdate;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        SAFEARRAY** pparray;
        VARIANT* pvarVal;
        void* byref;
        uint32_t ulVal;
        int32_t intVal;
        uint32_t* pulVal;
        int32_t* pintVal;
        DECIMAL* pdecVal;
        struct {
          void* pvRecord;
          IRecordInfo* pRecInfo;
        } brecVal;
      };
    };
    DECIMAL decVal;
  };
};
using VARIANTARG = VARIANT;

static_assert(sizeof(VARIANT) == 24);
static_assert(offsetof(VARIANT, vt) == 0);
static_assert(offsetof(VARIANT, lVal) == 8);
static_assert(offsetof(VARIANT, brecVal.pRecInfo) == 16);
static_assert(offsetof(VARIANT, decVal) == 0 && sizeof(DECIMAL) == 16);
static_assert(offsetof(DECIMAL, scale) == 2 && offsetof(DECIMAL, Hi32) == 4 &&
              offsetof(DECIMAL, Lo64) == 8);

// Arguments of Invoke, the last argument first.
struct DISPPARAMS {
  VARIANTARG* rgvarg;
  DISPID* rgdispidNamedArgs;
  uint32_t cArgs;
  uint32_t cNamedArgs;
};
static_assert(sizeof(DISPPARAMS) == 24 && offsetof(DISPPARAMS, cArgs) == 16);

// Filled by Invoke when it returns DISP_E_EXCEPTION; the BSTRs then belong to the caller.
struct EXCEPINFO {
  uint16_t wCode;
  uint16_t wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  uint32_t dwHelpContext;
  void* pvReserved;
  HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
  SCODE scode;
};
static_assert(sizeof(EXCEPINFO) == 64 && offsetof(EXCEPINFO, bstrSource) == 8 &&
              offsetof(EXCEPINFO, scode) == 56);

constexpr uint16_t DISPATCH_METHOD = 1;
constexpr uint16_t DISPATCH_PROPERTYGET = 2;
constexpr uint16_t DISPATCH_PROPERTYPUT = 4;
constexpr uint16_t DISPATCH_PROPERTYPUTREF = 8;
constexpr DISPID DISPID_UNKNOWN = -1;
constexpr DISPID DISPID_PROPERTYPUT = -3;

constexpr uint16_t VARIANT_ALPHABOOL = 0x02;  // VT_BOOL to text as "True"/"False", not "-1"/"0"
constexpr uint16_t VARIANT_LOCALBOOL = 0x10;  // treated as VARIANT_ALPHABOOL

constexpr uint32_t CLSCTX_INPROC_SERVER = 0x1;

// ---------------------------------------------------------------------------------------------
// BSTR: uint32 byte length, UTF-16 text, 16-bit NUL. A null BSTR is the empty text. Embedded NULs
// are allowed and counted. Allocation failure (or an impossible length) returns nullptr.

BSTR SysAllocString(const OLECHAR* text);                      // nullptr text gives nullptr
BSTR SysAllocStringLen(const OLECHAR* text, uint32_t length);  // text may be nullptr: zeroed
void SysFreeString(BSTR text);                                 // nullptr is fine
uint32_t SysStringLen(BSTR text);                              // characters; 0 for nullptr
uint32_t SysStringByteLen(BSTR text);

// ---------------------------------------------------------------------------------------------
// VARIANT functions. Supported value types: VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_INT, VT_UI1,
// VT_UI4, VT_R4, VT_R8, VT_CY, VT_DATE, VT_BSTR, VT_BOOL, VT_ERROR, VT_DECIMAL, VT_DISPATCH,
// VT_UNKNOWN, each also VT_BYREF, and VT_VARIANT | VT_BYREF. Arrays (VT_ARRAY) and other types
// give DISP_E_BADVARTYPE.

void VariantInit(VARIANT* v);  // VT_EMPTY; does not free what v held
// Frees what v owns (BSTR, interface reference; nothing for VT_BYREF) and leaves VT_EMPTY.
HRESULT VariantClear(VARIANT* v);
// Clears dest, then makes it a deep copy of src (BSTR copied, interfaces AddRef'd). A VT_BYREF
// source is copied as the reference; VariantCopyInd copies the value it points to.
HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);
HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src);

// Converts src (dereferenced when VT_BYREF) to type vt into dest; dest may be src. On failure
// dest is left as it was. Conversions, as a script host makes them, in one fixed locale (the
// Korean system locale: "." decimal point, "," thousands, dates "2006-12-25 오후 3:05:09"):
//   numbers <-> numbers   range-checked (DISP_E_OVERFLOW); to integer types half to even
//   numbers  -> text      integers plainly; VT_R8/VT_R4 in the shortest text that reads back
//                         the same value, exponent form "1.5E+20" / "1E-05" outside 1E-04..1E+15;
//                         VT_CY and VT_DECIMAL exactly, trailing zeros dropped
//   text     -> numbers   optional blanks and sign, digits (with "," groups), ".", exponent;
//                         anything else DISP_E_TYPEMISMATCH
//   VT_BOOL  <-> others   True is -1, any nonzero number is True; to text "-1"/"0", or with
//                         VARIANT_ALPHABOOL "True"/"False"; text "True"/"False" in any case
//   VT_DATE  <-> others   the day number as a double; text "yyyy-mm-dd", "yyyy-mm-dd 오전|오후
//                         h:mm:ss", or the time alone when the day is 1899-12-30; read back
//                         also with "/" or "." between date parts, AM/PM, a 24-hour time
//   VT_EMPTY  -> anything zero, "" or False; VT_NULL only to VT_NULL (else DISP_E_TYPEMISMATCH)
//   VT_DISPATCH <-> VT_UNKNOWN through QueryInterface; objects to anything else: type mismatch
// Targets: VT_EMPTY (from Empty), VT_NULL, VT_I2, VT_I4, VT_INT, VT_UI1, VT_UI4, VT_R4, VT_R8,
// VT_CY, VT_DATE, VT_BSTR, VT_BOOL, VT_ERROR (from VT_ERROR), VT_DISPATCH, VT_UNKNOWN.
HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, uint16_t flags, VARTYPE vt);

namespace com {

// ---------------------------------------------------------------------------------------------
// RAII helpers for C++ users.

// Owns one BSTR (or none: the empty text). Move-only.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::u16string_view text);  // throws std::bad_alloc
  static Bstr Adopt(BSTR owned) {
    Bstr b;
    b.text_ = owned;
    return b;
  }
  // Code page 949 bytes to a BSTR; bytes that are not code page 949 become U+FFFD.
  static Bstr FromCp949(std::string_view cp949);
  ~Bstr() { SysFreeString(text_); }
  Bstr(Bstr&& other) noexcept : text_(std::exchange(other.text_, nullptr)) {}
  Bstr& operator=(Bstr&& other) noexcept {
    std::swap(text_, other.text_);
    return *this;
  }

  BSTR Get() const { return text_; }
  BSTR Detach() { return std::exchange(text_, nullptr); }
  // Frees the text held and hands out the slot, for a callee's BSTR* out parameter.
  BSTR* Receive() {
    SysFreeString(std::exchange(text_, nullptr));
    return &text_;
  }
  uint32_t Length() const { return SysStringLen(text_); }
  std::u16string_view View() const { return {text_ ? text_ : u"", Length()}; }
  std::string ToCp949() const;

 private:
  BSTR text_ = nullptr;
};

// The text of a BSTR that someone else owns; a null BSTR is "".
inline std::u16string_view View(BSTR text) { return {text ? text : u"", SysStringLen(text)}; }
// BSTR <-> code page 949 at the boundary: characters that code page 949 cannot hold, and lone
// surrogates, become "?"; embedded NULs pass through. Throw std::bad_alloc when memory runs out.
std::string ToCp949(BSTR text);
BSTR AllocCp949(std::string_view cp949);  // the caller owns the result

// A VARIANT that owns its value: cleared on destruction. Derives from VARIANT so that a
// Variant* is a VARIANT* for any call. Move-only; copy with CopyFrom.
class Variant : public VARIANT {
 public:
  Variant() : VARIANT{} {}
  explicit Variant(int32_t value) : Variant() {
    vt = VT_I4;
    lVal = value;
  }
  explicit Variant(double value) : Variant() {
    vt = VT_R8;
    dblVal = value;
  }
  explicit Variant(Bstr text) : Variant() {
    vt = VT_BSTR;
    bstrVal = text.Detach();
  }
  explicit Variant(std::u16string_view text) : Variant(Bstr(text)) {}
  static Variant Bool(bool value) {
    Variant v;
    v.vt = VT_BOOL;
    v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
  }
  static Variant Null() {
    Variant v;
    v.vt = VT_NULL;
    return v;
  }
  ~Variant() { VariantClear(this); }
  Variant(Variant&& other) noexcept : VARIANT(other) { other.vt = VT_EMPTY; }
  Variant& operator=(Variant&& other) noexcept {
    std::swap(static_cast<VARIANT&>(*this), static_cast<VARIANT&>(other));
    return *this;
  }

  HRESULT CopyFrom(const VARIANT& source) { return VariantCopy(this, &source); }
  HRESULT ChangeType(VARTYPE type, uint16_t flags = 0) {
    return VariantChangeType(this, this, flags, type);
  }
  // Clears and hands out the VARIANT, for a callee's [out] / [out, retval] VARIANT*.
  VARIANT* Receive() {
    VariantClear(this);
    return this;
  }
  // Hands the value to `out` (an [out] parameter), freeing what `out` held; this becomes Empty.
  void MoveTo(VARIANT* out) {
    if (out == this) return;
    VariantClear(out);
    *out = *this;
    vt = VT_EMPTY;
  }
  VARIANT Detach() {
    const VARIANT value = *this;
    vt = VT_EMPTY;
    return value;
  }
  // The BSTR held, when vt is VT_BSTR; nullptr (the empty text) otherwise.
  BSTR Text() const { return vt == VT_BSTR ? bstrVal : nullptr; }
};

// Non-owning by-reference arguments, as a script passes its variables. `target` must outlive
// the call; nothing is freed when these VARIANTs are cleared.
VARIANT ByRef(VARIANT& target);                        // VT_VARIANT | VT_BYREF
VARIANT ByRef(int32_t& target, VARTYPE type = VT_I4);  // VT_I4 or VT_INT, | VT_BYREF
VARIANT ByRef(BSTR& target);                           // VT_BSTR | VT_BYREF

// Holds one reference to an interface. T must declare `static constexpr IID kIid`.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  explicit ComPtr(T* shared) : pointer_(shared) {  // adds a reference of its own
    if (pointer_) pointer_->AddRef();
  }
  static ComPtr Adopt(T* owned) {
    ComPtr p;
    p.pointer_ = owned;
    return p;
  }
  ~ComPtr() { Reset(); }
  ComPtr(const ComPtr& other) : ComPtr(other.pointer_) {}
  ComPtr& operator=(const ComPtr& other) {
    ComPtr(other).Swap(*this);
    return *this;
  }
  ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    ComPtr(std::move(other)).Swap(*this);
    return *this;
  }

  T* Get() const { return pointer_; }
  T* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  T* Detach() { return std::exchange(pointer_, nullptr); }
  void Reset() {
    if (T* p = std::exchange(pointer_, nullptr)) p->Release();
  }
  // Releases what is held and hands out the slot, for an out parameter.
  T** Receive() {
    Reset();
    return &pointer_;
  }
  void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }
  // QueryInterface for U; empty when the object does not have it.
  template <class U>
  ComPtr<U> As() const {
    ComPtr<U> other;
    if (pointer_) pointer_->QueryInterface(U::kIid, other.ReceiveVoid());
    return other;
  }
  void Swap(ComPtr& other) noexcept { std::swap(pointer_, other.pointer_); }

 private:
  T* pointer_ = nullptr;
};

// ---------------------------------------------------------------------------------------------
// Table-driven dispatch.
//
// A class lists its dual interface's members once; that table serves GetIDsOfNames, Invoke and
// the type information that registration records. Each row names the interface method itself
// (a pointer to member): Invoke coerces the DISPPARAMS arguments to the method's C++ parameter
// types and calls it, so the vtable and the dispatch paths run the same code. Example:
//
//   struct IThing : IDispatch {
//     static constexpr IID kIid = com::MakeGuid("{...}");
//     virtual HRESULT Find(int32_t* handle, BSTR name, BSTR* value) = 0;       // DISPID 1
//     virtual HRESULT put_Key(VARIANT* key) = 0;                                // DISPID 2
//   };
//   const com::Member kThingMembers[] = {
//       com::Method<&IThing::Find>(1, "Find", "method Find",
//           {com::In("handle", VT_INT), com::In("name"), com::RetVal("value")}),
//       com::PropertyPut<&IThing::put_Key>(2, "Key", "property Key", {com::In("key")}),
//   };
//   const com::DispatchTable Thing::kDispatch{IThing::kIid, "IThing", "IThing Interface",
//                                             kThingMembers};
//
// Parameter C++ types and their automation types (the first is the default, the others are
// chosen by naming the type in the row):
//   int32_t: VT_I4, VT_INT    int16_t: VT_BOOL, VT_I2    double: VT_R8, VT_DATE    float: VT_R4
//   BSTR: VT_BSTR             VARIANT*: VT_VARIANT
// An IDL `long` is int32_t here (C++ long has 64 bits on Linux); an IDL `int` is int32_t with
// VT_INT.
// Directions:
//   In      T (by value) or T* (read by reference; the pointee is valid for the call only);
//           VARIANT* in points at the caller's value, by-reference wrappers removed: read only.
//           An argument may arrive by value or by reference (VT_BYREF | x or VT_VARIANT |
//           VT_BYREF) and is converted as VariantChangeType does (with VARIANT_ALPHABOOL); a
//           BSTR argument that already is one is passed through without copying.
//   Out     VARIANT* only: the caller's VT_VARIANT | VT_BYREF variable (or a scratch VARIANT
//           when the argument came by value); write it with Variant::MoveTo.
//   RetVal  T*, last: a zeroed slot of the declared type that Invoke hands back as its result;
//           a BSTR written there belongs to the caller from then on.
// Rows are checked at compile time: a mismatch between the row and the signature fails the
// build with a call to one of the never-defined functions in com::detail.

enum class MemberKind : uint16_t {
  Method = DISPATCH_METHOD,
  PropertyGet = DISPATCH_PROPERTYGET,
  PropertyPut = DISPATCH_PROPERTYPUT,
};
enum class Direction : uint8_t { In, Out, RetVal };

struct Param {
  Direction direction = Direction::In;
  const char* name = "";
  VARTYPE type = VT_EMPTY;  // VT_EMPTY in a row: the default of the C++ type
  bool byRef = false;       // set from the C++ type
};
consteval Param In(const char* name, VARTYPE type = VT_EMPTY) {
  return {Direction::In, name, type};
}
consteval Param Out(const char* name) { return {Direction::Out, name, VT_VARIANT}; }
consteval Param RetVal(const char* name, VARTYPE type = VT_EMPTY) {
  return {Direction::RetVal, name, type};
}

inline constexpr size_t kMaxParams = 8;
class Invocation;
using Thunk = HRESULT (*)(IDispatch* self, Invocation& call);

struct Member {
  DISPID dispid;
  MemberKind kind;
  const char* name;
  const char* helpString;
  std::array<Param, kMaxParams> params;
  size_t paramCount;
  Thunk thunk;

  constexpr bool HasRetVal() const {
    return paramCount > 0 && params[paramCount - 1].direction == Direction::RetVal;
  }
  // The arguments a caller passes: every parameter but the retval.
  constexpr size_t ArgumentCount() const { return paramCount - (HasRetVal() ? 1 : 0); }
};

struct DispatchTable {
  IID iid;                 // the dual interface
  const char* name;        // "IThing"
  const char* helpString;  // "IThing Interface"
  std::span<const Member> members;

  // Names are matched without regard to case; only the member name is looked up (named
  // arguments are not supported), so a second name gets DISPID_UNKNOWN.
  HRESULT GetIDsOfNames(const IID& iid, OLECHAR** names, uint32_t count, DISPID* ids) const;
  // DISP_E_MEMBERNOTFOUND for an unknown DISPID or kind, DISP_E_BADPARAMCOUNT for a wrong
  // argument count, DISP_E_NONAMEDARGS for named arguments other than the DISPID_PROPERTYPUT of
  // a property put, DISP_E_TYPEMISMATCH / DISP_E_OVERFLOW / DISP_E_PARAMNOTOPTIONAL for an
  // argument that cannot be converted (*argumentError = its index in rgvarg). A failure HRESULT
  // of the method becomes DISP_E_EXCEPTION with *exception filled from it and from the error
  // info it posted. Success codes of the method, S_FALSE included, are returned unchanged.
  // *result must be empty (or uninitialised) on entry; it receives the retval.
  HRESULT Invoke(IDispatch* self, DISPID dispid, const IID& iid, uint16_t flags,
                 DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                 uint32_t* argumentError) const;
  const Member* Find(DISPID dispid, uint16_t flags) const;
};

// One argument, converted: `value` points at the caller's VARIANT (by-reference wrappers
// removed, in `view`) when it has the declared type already, else at `owned`.
struct Coerced {
  VARIANT view{};
  Variant owned;
  const VARIANT* value = nullptr;
};

// One Invoke call as the thunks of a row see it. Parameter indexes are declaration order.
class Invocation {
 public:
  Invocation(const Member& member, const DISPPARAMS& params, uint32_t* argumentError)
      : member_(member), params_(params), argumentError_(argumentError) {}

  Direction ParamDirection(size_t i) const { return member_.params[i].direction; }
  VARTYPE ParamType(size_t i) const { return member_.params[i].type; }
  HRESULT Coerce(size_t i, Coerced& out);
  HRESULT View(size_t i, VARIANT& view, VARIANT*& out);
  VARIANT* OutTarget(size_t i);  // the caller's variable, or nullptr when passed by value
  void SetResult(Variant&& value) { result_ = std::move(value); }
  Variant& Result() { return result_; }
  // Set once every argument is bound, just before the method runs.
  void MarkBound() { bound_ = true; }
  bool Bound() const { return bound_; }

 private:
  const VARIANT& Argument(size_t i) const;
  HRESULT Fail(size_t i, HRESULT hr);

  const Member& member_;
  const DISPPARAMS& params_;
  uint32_t* argumentError_;
  Variant result_;
  bool bound_ = false;
};

namespace detail {

// Never defined: a dispatch row that reaches one of them fails the build, naming the fault.
void RowHasMoreParametersThanTheMethod();
void RowHasFewerParametersThanTheMethod();
void RowHasTooManyParameters();
void ParameterTypeIsNotAnAutomationType();
void AutomationTypeDoesNotFitTheParameter();
void OutParameterMustBeVariantPointer();
void RetValMustBeAPointerAndComeLast();
void VariantMustBePassedByPointer();
void PropertyGetNeedsARetVal();
void PropertyPutNeedsAValueAndNoRetVal();

template <class T>
consteval VARTYPE DefaultType() {
  if constexpr (std::is_same_v<T, int32_t>) return VT_I4;
  else if constexpr (std::is_same_v<T, int16_t>) return VT_BOOL;
  else if constexpr (std::is_same_v<T, double>) return VT_R8;
  else if constexpr (std::is_same_v<T, float>) return VT_R4;
  else if constexpr (std::is_same_v<T, BSTR>) return VT_BSTR;
  else if constexpr (std::is_same_v<T, VARIANT>) return VT_VARIANT;
  else return VT_EMPTY;
}

template <class T>
consteval bool Fits(VARTYPE type) {
  if constexpr (std::is_same_v<T, int32_t>) return type == VT_I4 || type == VT_INT;
  else if constexpr (std::is_same_v<T, int16_t>) return type == VT_BOOL || type == VT_I2;
  else if constexpr (std::is_same_v<T, double>) return type == VT_R8 || type == VT_DATE;
  else return type == DefaultType<T>();
}

// A parameter type as the value it carries and whether it comes by pointer. BSTR is a value
// although C++ sees a pointer.
template <class A>
struct Shape {
  using Value = A;
  static constexpr bool kPointer = false;
};
template <class T>
struct Shape<T*> {
  using Value = T;
  static constexpr bool kPointer = true;
};
template <>
struct Shape<BSTR> {
  using Value = BSTR;
  static constexpr bool kPointer = false;
};

template <class A>
consteval Param Resolve(Param p, bool last) {
  using T = typename Shape<A>::Value;
  constexpr bool kPointer = Shape<A>::kPointer;
  if (DefaultType<T>() == VT_EMPTY) ParameterTypeIsNotAnAutomationType();
  if (p.direction == Direction::Out && !std::is_same_v<A, VARIANT*>)
    OutParameterMustBeVariantPointer();
  if (p.direction == Direction::RetVal && !(kPointer && last)) RetValMustBeAPointerAndComeLast();
  if (std::is_same_v<A, VARIANT>) VariantMustBePassedByPointer();
  if (p.type == VT_EMPTY) p.type = DefaultType<T>();
  if (!Fits<T>(p.type)) AutomationTypeDoesNotFitTheParameter();
  p.byRef = kPointer;
  return p;
}

// Where a value of type T sits in a VARIANT whose vt is its declared type.
template <class T>
T* Field(VARIANT& v) {
  if constexpr (std::is_same_v<T, int32_t>) return &v.lVal;
  else if constexpr (std::is_same_v<T, int16_t>) return &v.iVal;
  else if constexpr (std::is_same_v<T, double>) return &v.dblVal;
  else if constexpr (std::is_same_v<T, float>) return &v.fltVal;
  else return &v.bstrVal;
}

// What one parameter of a called method receives, bound from the Invocation.
template <class A>
class ValueSlot {  // a scalar or BSTR by value: [in]
 public:
  HRESULT Bind(Invocation& call, size_t i) { return call.Coerce(i, coerced_); }
  A Get() { return *Field<A>(const_cast<VARIANT&>(*coerced_.value)); }
  void Finish(Invocation&) {}

 private:
  Coerced coerced_;
};

template <class A>
class Slot : public ValueSlot<A> {};
template <>
class Slot<BSTR> : public ValueSlot<BSTR> {};

template <class T>
class Slot<T*> {
 public:
  HRESULT Bind(Invocation& call, size_t i) {
    direction_ = call.ParamDirection(i);
    if (direction_ == Direction::RetVal) {
      if constexpr (!std::is_same_v<T, VARIANT>) slot_.vt = call.ParamType(i);
      return S_OK;
    }
    if constexpr (std::is_same_v<T, VARIANT>) {
      if (direction_ == Direction::In) return call.View(i, coerced_.view, variant_);
      variant_ = call.OutTarget(i);
      if (!variant_) variant_ = &slot_;
      return S_OK;
    } else {
      return call.Coerce(i, coerced_);
    }
  }
  T* Get() {
    if constexpr (std::is_same_v<T, VARIANT>) {
      return direction_ == Direction::RetVal ? &slot_ : variant_;
    } else {
      return direction_ == Direction::RetVal ? Field<T>(slot_)
                                             : Field<T>(const_cast<VARIANT&>(*coerced_.value));
    }
  }
  void Finish(Invocation& call) {
    if (direction_ == Direction::RetVal) call.SetResult(std::move(slot_));
  }

 private:
  Direction direction_ = Direction::In;
  Coerced coerced_;
  Variant slot_;  // the retval, or the scratch target of an [out] passed by value
  VARIANT* variant_ = nullptr;
};

template <auto Fn>
struct MemberTraits;
template <class C, class... A, HRESULT (C::*Fn)(A...)>
struct MemberTraits<Fn> {
  static constexpr size_t kCount = sizeof...(A);

  template <size_t... I>
  static consteval void ResolveAll(std::array<Param, kMaxParams>& out, const Param* in,
                                   std::index_sequence<I...>) {
    ((out[I] = Resolve<A>(in[I], I + 1 == sizeof...(A))), ...);
  }

  // The thunk of a row: binds every argument, stops at the first that does not convert, calls
  // the method and, when it succeeds, hands its retval to the Invocation.
  static HRESULT Call(IDispatch* self, Invocation& call) {
    return [&]<size_t... I>(std::index_sequence<I...>) {
      [[maybe_unused]] std::tuple<Slot<A>...> slots;
      HRESULT hr = S_OK;
      (void)((SUCCEEDED(hr = std::get<I>(slots).Bind(call, I))) && ...);
      if (FAILED(hr)) return hr;
      call.MarkBound();
      hr = (static_cast<C*>(self)->*Fn)(std::get<I>(slots).Get()...);
      if (SUCCEEDED(hr)) (std::get<I>(slots).Finish(call), ...);
      return hr;
    }(std::index_sequence_for<A...>{});
  }
};

template <auto Fn>
consteval Member MakeMember(MemberKind kind, DISPID dispid, const char* name,
                            const char* helpString, std::initializer_list<Param> params) {
  using Traits = MemberTraits<Fn>;
  if (params.size() > kMaxParams) RowHasTooManyParameters();
  if (params.size() > Traits::kCount) RowHasMoreParametersThanTheMethod();
  if (params.size() < Traits::kCount) RowHasFewerParametersThanTheMethod();
  Member m{dispid, kind, name, helpString, {}, Traits::kCount, &Traits::Call};
  Traits::ResolveAll(m.params, params.begin(), std::make_index_sequence<Traits::kCount>{});
  if (kind == MemberKind::PropertyGet && !m.HasRetVal()) PropertyGetNeedsARetVal();
  if (kind == MemberKind::PropertyPut && (m.HasRetVal() || m.paramCount == 0))
    PropertyPutNeedsAValueAndNoRetVal();
  return m;
}

}  // namespace detail

template <auto Fn>
consteval Member Method(DISPID dispid, const char* name, const char* helpString,
                        std::initializer_list<Param> params = {}) {
  return detail::MakeMember<Fn>(MemberKind::Method, dispid, name, helpString, params);
}
template <auto Fn>
consteval Member PropertyGet(DISPID dispid, const char* name, const char* helpString,
                             std::initializer_list<Param> params) {
  return detail::MakeMember<Fn>(MemberKind::PropertyGet, dispid, name, helpString, params);
}
template <auto Fn>
consteval Member PropertyPut(DISPID dispid, const char* name, const char* helpString,
                             std::initializer_list<Param> params) {
  return detail::MakeMember<Fn>(MemberKind::PropertyPut, dispid, name, helpString, params);
}

// ---------------------------------------------------------------------------------------------
// Objects and class factories.

// The module's count of live objects, class factories and LockServer locks; DllCanUnloadNow
// reads it. Each binary that links this library has its own count.
void LockModule();
void UnlockModule();
HRESULT CanUnloadNow();  // S_OK when the count is zero, else S_FALSE

class ModuleLock {
 public:
  ModuleLock() { LockModule(); }
  ~ModuleLock() { UnlockModule(); }
  ModuleLock(const ModuleLock&) = delete;
  ModuleLock& operator=(const ModuleLock&) = delete;
};

template <class T>
HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** object);

// Base of a COM class with one dual interface: IUnknown (atomic count; delegating to the outer
// object when aggregated), IDispatch from Derived::kDispatch, and ISupportErrorInfo. Derived
// is `final`, default-constructible, implements Interface's own methods, defines
// `static const com::DispatchTable kDispatch;` and may set
//   static constexpr bool kAggregatable = true;       // CreateInstance accepts an outer object
//   static constexpr bool kSupportsErrorInfo = true;  // answers ISupportErrorInfo: S_OK for
//                                                     // kDispatch.iid, S_FALSE for others
// QueryInterface answers IUnknown, IDispatch and kDispatch.iid (and ISupportErrorInfo when
// set). Every object holds a module lock while it lives. Objects are created by CreateInstance.
template <class Derived, class Interface>
class Object : public Interface, public ISupportErrorInfo {
 public:
  static constexpr bool kAggregatable = false;
  static constexpr bool kSupportsErrorInfo = false;

  Object() = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  HRESULT QueryInterface(const IID& iid, void** object) override {
    return outer_ ? outer_->QueryInterface(iid, object) : InnerQueryInterface(iid, object);
  }
  uint32_t AddRef() override { return outer_ ? outer_->AddRef() : InnerAddRef(); }
  uint32_t Release() override { return outer_ ? outer_->Release() : InnerRelease(); }

  HRESULT GetTypeInfoCount(uint32_t* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(uint32_t, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetIDsOfNames(const IID& iid, OLECHAR** names, uint32_t count, LCID,
                        DISPID* ids) override {
    return Derived::kDispatch.GetIDsOfNames(iid, names, count, ids);
  }
  HRESULT Invoke(DISPID dispid, const IID& iid, LCID, uint16_t flags, DISPPARAMS* params,
                 VARIANT* result, EXCEPINFO* exception, uint32_t* argumentError) override {
    return Derived::kDispatch.Invoke(static_cast<Interface*>(this), dispid, iid, flags, params,
                                     result, exception, argumentError);
  }
  HRESULT InterfaceSupportsErrorInfo(const IID& iid) override {
    return iid == Derived::kDispatch.iid ? S_OK : S_FALSE;
  }

 protected:
  ~Object() = default;

 private:
  template <class T>
  friend HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** object);

  // The aggregated object's own IUnknown, which the outer object holds.
  class InnerUnknown final : public IUnknown {
   public:
    explicit InnerUnknown(Object& owner) : owner_(owner) {}
    HRESULT QueryInterface(const IID& iid, void** object) override {
      return owner_.InnerQueryInterface(iid, object);
    }
    uint32_t AddRef() override { return owner_.InnerAddRef(); }
    uint32_t Release() override { return owner_.InnerRelease(); }

   private:
    Object& owner_;
  };

  HRESULT InnerQueryInterface(const IID& iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    IUnknown* found = nullptr;
    if (iid == IID_IUnknown) {
      found = outer_ ? static_cast<IUnknown*>(&inner_) : static_cast<Interface*>(this);
    } else if (iid == IID_IDispatch || iid == Derived::kDispatch.iid) {
      found = static_cast<Interface*>(this);
    } else if (Derived::kSupportsErrorInfo && iid == IID_ISupportErrorInfo) {
      found = static_cast<ISupportErrorInfo*>(this);
    } else {
      return E_NOINTERFACE;
    }
    found->AddRef();
    *object = found;
    return S_OK;
  }
  uint32_t InnerAddRef() { return ++references_; }
  uint32_t InnerRelease() {
    const uint32_t left = --references_;
    if (left == 0) delete static_cast<Derived*>(this);
    return left;
  }

  ModuleLock lock_;
  std::atomic<uint32_t> references_{1};
  IUnknown* outer_ = nullptr;  // the controlling object when aggregated
  InnerUnknown inner_{*this};
};

// Creates a T (a com::Object) and asks it for `iid`. With an outer object: T must be
// aggregatable and iid IID_IUnknown (else CLASS_E_NOAGGREGATION); the result is then the inner
// IUnknown that the outer object keeps.
template <class T>
HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer && (!T::kAggregatable || iid != IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  T* created = nullptr;
  try {
    created = new T();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
  created->outer_ = outer;
  const HRESULT hr = created->InnerQueryInterface(iid, object);
  created->InnerRelease();
  return hr;
}

// ---------------------------------------------------------------------------------------------
// A module: its classes, its type library and its registry script, and the helpers that make
// the four exports one line each:
//
//   extern const char kThingRegistryScript[];  // from embed_text_resource() in CMake
//   const com::ClassEntry kClasses[] = {com::Class<Thing>(CLSID_Thing)};
//   const com::Module kModule{kThingRegistryScript, {LIBID_ThingLib, "ThingLib 1.0 Type Library",
//                                                    1, 0, 0}, kClasses};
//   HRESULT DllGetClassObject(const CLSID& c, const IID& i, void** o) {
//     return com::GetClassObject(kModule, c, i, o); }
//   HRESULT DllCanUnloadNow() { return com::CanUnloadNow(); }
//   HRESULT DllRegisterServer() { return com::RegisterServer(kModule); }
//   HRESULT DllUnregisterServer() { return com::UnregisterServer(kModule); }

using Creator = HRESULT (*)(IUnknown* outer, const IID& iid, void** object);

struct ClassEntry {
  CLSID clsid;
  const DispatchTable* dispatch;
  Creator create;
};
template <class T>
constexpr ClassEntry Class(const CLSID& clsid) {
  return {clsid, &T::kDispatch, &CreateInstance<T>};
}

struct TypeLibrary {
  GUID libid;
  const char* helpString;  // "Thing 1.0 Type Library"
  uint16_t majorVersion;
  uint16_t minorVersion;
  LCID lcid;
};

struct Module {
  const char* registryScript;  // ATL-style registry script text, NUL-terminated
  TypeLibrary typeLibrary;
  std::span<const ClassEntry> classes;
};

// A class factory for the module's class `clsid` (CLASS_E_CLASSNOTAVAILABLE for others). The
// factory holds a module lock while it lives; LockServer adds and removes locks.
HRESULT GetClassObject(const Module& module, const CLSID& clsid, const IID& iid, void** object);

// Registration, against the registry store (see RegistryStorePath). The registry script runs
// with %MODULE% replaced by the full path of the binary this library is linked into (%% is a
// "%"); then each class's interface and the type library are recorded under
// Interface\{IID} (name, members as IDL lines) and TypeLib\{LIBID}. Unregistration runs the
// same with ATL's removal rules: a ForceRemove key goes with all beneath it, a NoRemove key
// stays, any other key goes once nothing the script does not name is left beneath it.
// Syntax errors give DISP_E_EXCEPTION; an unreadable store REGDB_E_READREGDB; a failed write
// REGDB_E_WRITEREGDB. The whole change is one atomic replacement of the store file, made under
// a lock file, so concurrent registrations from any processes do not lose one another's keys.
HRESULT RegisterServer(const Module& module);
HRESULT UnregisterServer(const Module& module);

// Runs a registry script (as above) against the store; `modulePath` replaces %MODULE%.
HRESULT RunRegistryScript(std::string_view script, std::string_view modulePath, bool install);

// The full path of the binary (shared library or program) that contains this library's code.
std::string ModulePath();

// ---------------------------------------------------------------------------------------------
// The registry store: a text file that mirrors HKEY_CLASSES_ROOT, at $COM_REGISTRY_FILE or, when
// that is unset or empty, ~/.local/share/com/registry.reg. Key paths use "\" between names and
// are matched without regard to ASCII case.

std::string RegistryStorePath();
// A value of a key ("" names the default value); nullopt when key or value is absent or the
// store cannot be read. DWORD values read as decimal text.
std::optional<std::string> RegistryValue(std::string_view keyPath, std::string_view name = {});
bool RegistryKeyExists(std::string_view keyPath);

// ---------------------------------------------------------------------------------------------
// Error information: one slot per thread, per binary that links this library (a module's
// failures reach a script host through Invoke's EXCEPINFO, which is filled from it).

// Creates an error object from the texts and sets it as the thread's error info.
HRESULT PostErrorInfo(const GUID& iid, std::u16string_view source,
                      std::u16string_view description);

// ---------------------------------------------------------------------------------------------
// Script-host style calls, for clients and tests: looks `name` up and invokes it with `args` in
// their natural order (reversed into DISPPARAMS here); a property put passes its last argument
// as the DISPID_PROPERTYPUT value. `args` belong to the caller.
HRESULT Call(IDispatch* object, std::u16string_view name, uint16_t flags,
             std::initializer_list<VARIANT> args = {}, VARIANT* result = nullptr,
             EXCEPINFO* exception = nullptr, uint32_t* argumentError = nullptr);

}  // namespace com

// ---------------------------------------------------------------------------------------------
// Error information and activation, with their Windows names.

HRESULT SetErrorInfo(uint32_t reserved, IErrorInfo* info);  // replaces the thread's; nullptr clears
HRESULT GetErrorInfo(uint32_t reserved, IErrorInfo** info);  // takes it; S_FALSE when none

// "{...}" text to CLSID (CO_E_CLASSSTRING when malformed).
HRESULT CLSIDFromString(const OLECHAR* text, CLSID* clsid);
// The CLSID registered for a ProgID (its "CLSID" subkey); CO_E_CLASSSTRING when not registered.
HRESULT CLSIDFromProgID(const OLECHAR* progId, CLSID* clsid);
// Loads the class's InprocServer32 module (dlopen RTLD_NOW | RTLD_LOCAL, kept loaded in a
// process-wide table) and creates the object through its class factory. REGDB_E_CLASSNOTREG
// when the class has no InprocServer32 (or `context` lacks CLSCTX_INPROC_SERVER),
// CO_E_DLLNOTFOUND when the module cannot be loaded, CO_E_ERRORINDLL when it lacks
// DllGetClassObject; otherwise the factory's own result.
HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, uint32_t context, const IID& iid,
                         void** object);
// Unloads every loaded module that DllCanUnloadNow allows to go, unless a CoCreateInstance is
// using it at that moment.
void CoFreeUnusedLibraries();

// The four exports of every module. Declared here so that their definitions in a module are
// visible outside it, whatever the module's default visibility.
extern "C" {
[[gnu::visibility("default")]] HRESULT DllGetClassObject(const CLSID& clsid, const IID& iid,
                                                         void** object);
[[gnu::visibility("default")]] HRESULT DllCanUnloadNow();
[[gnu::visibility("default")]] HRESULT DllRegisterServer();
[[gnu::visibility("default")]] HRESULT DllUnregisterServer();
}
