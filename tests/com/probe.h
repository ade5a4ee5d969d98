// Probe: a small COM class that exercises the dispatch table, for the tests of platform/com.
// The same class is linked into the tests directly and into the test module com_probe.
#pragma once

#include "com/com.h"

struct IProbe : IDispatch {
  static constexpr IID kIid = com::MakeGuid("{EF0E6E2D-D6C5-4CE0-B372-3EC5ACF09682}");
  virtual HRESULT Echo(BSTR text, BSTR* result) = 0;            // 1
  virtual HRESULT Twice(int32_t* handle, int32_t* result) = 0;  // 2
  virtual HRESULT Describe(int32_t number, double real, VARIANT_BOOL flag,
                           BSTR* result) = 0;            // 3
  virtual HRESULT Fill(BSTR text, VARIANT* target) = 0;  // 4
  virtual HRESULT put_Key(VARIANT* value) = 0;           // 5
  virtual HRESULT get_Key(VARIANT* value) = 0;           // 5
  virtual HRESULT Fail() = 0;                            // 6
};

inline constexpr CLSID CLSID_Probe = com::MakeGuid("{8EEBE4C0-7786-40C3-A173-F12DE356AB5A}");
inline constexpr GUID LIBID_ProbeLib = com::MakeGuid("{F42DB2B2-C70C-4425-A4E7-4EF34401545E}");

class Probe final : public com::Object<Probe, IProbe> {
 public:
  static constexpr bool kAggregatable = true;
  static constexpr bool kSupportsErrorInfo = true;
  static const com::DispatchTable kDispatch;

  // Echo: the text. Twice: 2 * *handle. Describe: "number|real|flag" as texts. Fill: writes
  // text + "!" into *target. Key: stores a string (S_FALSE for anything else). Fail: posts
  // error info and returns E_FAIL.
  HRESULT Echo(BSTR text, BSTR* result) override;
  HRESULT Twice(int32_t* handle, int32_t* result) override;
  HRESULT Describe(int32_t number, double real, VARIANT_BOOL flag, BSTR* result) override;
  HRESULT Fill(BSTR text, VARIANT* target) override;
  HRESULT put_Key(VARIANT* value) override;
  HRESULT get_Key(VARIANT* value) override;
  HRESULT Fail() override;

 private:
  com::Variant key_;
};
