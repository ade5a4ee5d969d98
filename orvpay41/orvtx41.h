// ORVtx41: the scriptable payment object. A thin COM skin over the transaction table: each
// method converts its arguments, finds the transaction by handle and delegates. Every method
// answers S_OK; outcomes are read through GetResult. Unknown handles make a method do nothing.
#pragma once

#include "com/com.h"

struct IORVtx41 : IDispatch {
  static constexpr IID kIid = com::MakeGuid("{8FF591D5-75C0-4A1D-83F6-984E1CC0BF4D}");
  virtual HRESULT Initialize(BSTR pIn, int32_t* nOut) = 0;                 // 1
  virtual HRESULT Destroy(int32_t* pIn) = 0;                               // 2
  virtual HRESULT SetField(int32_t* pIn, BSTR pName, BSTR pValue) = 0;     // 3
  virtual HRESULT SetActionType(int32_t* pIn, BSTR pType) = 0;             // 4
  virtual HRESULT StartAction(int32_t* pIn) = 0;                           // 5
  virtual HRESULT GetResult(int32_t* pIn, BSTR pName, BSTR* pOut) = 0;     // 6
  virtual HRESULT Ack(int32_t* pIn, BSTR* pOut) = 0;                       // 7
  virtual HRESULT GetIpAddr(BSTR* pOut) = 0;                               // 8
};

inline constexpr CLSID CLSID_ORVtx41 = com::MakeGuid("{798EB088-1625-4C6E-A72B-50A8C87B27DF}");
inline constexpr GUID LIBID_ORVPAY41Lib = com::MakeGuid("{3088D573-9478-4A41-BA77-3C7D58CDAF5E}");

class ORVtx41 final : public com::Object<ORVtx41, IORVtx41> {
 public:
  static const com::DispatchTable kDispatch;

  HRESULT Initialize(BSTR pIn, int32_t* nOut) override;
  HRESULT Destroy(int32_t* pIn) override;
  HRESULT SetField(int32_t* pIn, BSTR pName, BSTR pValue) override;
  HRESULT SetActionType(int32_t* pIn, BSTR pType) override;
  HRESULT StartAction(int32_t* pIn) override;
  HRESULT GetResult(int32_t* pIn, BSTR pName, BSTR* pOut) override;
  HRESULT Ack(int32_t* pIn, BSTR* pOut) override;
  HRESULT GetIpAddr(BSTR* pOut) override;
};
