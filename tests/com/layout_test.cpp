// Binary layouts: what a client written from the Windows x64 definitions relies on.
#include <gtest/gtest.h>

#include <cstddef>

#include "probe.h"

namespace {

static_assert(sizeof(GUID) == 16 && offsetof(GUID, Data2) == 4 && offsetof(GUID, Data4) == 8);
static_assert(sizeof(CY) == 8 && sizeof(DATE) == 8 && sizeof(VARIANT_BOOL) == 2);
static_assert(sizeof(VARIANT) == 24 && alignof(VARIANT) == 8);
static_assert(offsetof(VARIANT, vt) == 0 && offsetof(VARIANT, wReserved3) == 6);
static_assert(offsetof(VARIANT, bstrVal) == 8 && offsetof(VARIANT, dblVal) == 8 &&
              offsetof(VARIANT, boolVal) == 8 && offsetof(VARIANT, pvarVal) == 8);
static_assert(offsetof(DECIMAL, wReserved) == 0 && offsetof(DECIMAL, sign) == 3 &&
              offsetof(DECIMAL, Hi32) == 4 && offsetof(DECIMAL, Lo64) == 8);
static_assert(sizeof(DISPPARAMS) == 24 && offsetof(DISPPARAMS, rgdispidNamedArgs) == 8 &&
              offsetof(DISPPARAMS, cArgs) == 16 && offsetof(DISPPARAMS, cNamedArgs) == 20);
static_assert(sizeof(EXCEPINFO) == 64 && offsetof(EXCEPINFO, bstrDescription) == 16 &&
              offsetof(EXCEPINFO, dwHelpContext) == 32 && offsetof(EXCEPINFO, pvReserved) == 40 &&
              offsetof(EXCEPINFO, pfnDeferredFillIn) == 48 && offsetof(EXCEPINFO, scode) == 56);

TEST(Layout, DecimalOverlaysTheWholeVariant) {
  VARIANT v{};
  v.decVal.Lo64 = 0x1122334455667788u;
  v.decVal.Hi32 = 7;
  v.vt = VT_DECIMAL;
  EXPECT_EQ(v.decVal.wReserved, VT_DECIMAL);
  EXPECT_EQ(v.wReserved2, 7);  // Hi32 takes the reserved words, Lo64 the value union
  EXPECT_EQ(static_cast<uint64_t>(v.llVal), 0x1122334455667788u);
}

TEST(Layout, StandardIdentifiers) {
  EXPECT_EQ(com::FormatGuid(IID_IUnknown), "{00000000-0000-0000-C000-000000000046}");
  EXPECT_EQ(com::FormatGuid(IID_IDispatch), "{00020400-0000-0000-C000-000000000046}");
  EXPECT_EQ(com::FormatGuid(IID_IClassFactory), "{00000001-0000-0000-C000-000000000046}");
  EXPECT_EQ(com::FormatGuid(IID_ISupportErrorInfo), "{DF0B3D60-548F-101B-8E65-08002B2BD119}");
  EXPECT_EQ(com::FormatGuid(IID_IErrorInfo), "{1CF2B120-547D-101B-8E65-08002B2BD119}");
  EXPECT_EQ(IID_IDispatch.Data1, 0x00020400u);
  EXPECT_EQ(IID_IDispatch.Data4[0], 0xC0);
  EXPECT_EQ(com::ParseGuid("{ef0e6e2d-d6c5-4ce0-b372-3ec5acf09682}"), IProbe::kIid);
  for (std::string_view bad :
       {"", "{EF0E6E2D-D6C5-4CE0-B372-3EC5ACF0968}", "{EF0E6E2D-D6C5-4CE0-B372+3EC5ACF09682}",
        "{EF0E6E2D-D6C5-4CE0-B372-3EC5ACF0968G}", "EF0E6E2D-D6C5-4CE0-B372-3EC5ACF09682XX"})
    EXPECT_FALSE(com::ParseGuid(bad)) << bad;
}

// A client written in C sees an interface as a pointer to a table of function pointers taking
// the interface pointer first. Calling through that table must reach the right methods.
struct DispatchVtbl {
  HRESULT (*QueryInterface)(void*, const IID&, void**);
  uint32_t (*AddRef)(void*);
  uint32_t (*Release)(void*);
  HRESULT (*GetTypeInfoCount)(void*, uint32_t*);
  HRESULT (*GetTypeInfo)(void*, uint32_t, LCID, ITypeInfo**);
  HRESULT (*GetIDsOfNames)(void*, const IID&, OLECHAR**, uint32_t, LCID, DISPID*);
  HRESULT (*Invoke)
  (void*, DISPID, const IID&, LCID, uint16_t, DISPPARAMS*, VARIANT*, EXCEPINFO*, uint32_t*);
  HRESULT (*Echo)(void*, BSTR, BSTR*);
  HRESULT (*Twice)(void*, int32_t*, int32_t*);
};

TEST(Layout, VtableSlotsInWindowsOrder) {
  void* object = nullptr;
  ASSERT_EQ(com::CreateInstance<Probe>(nullptr, IID_IDispatch, &object), S_OK);
  const DispatchVtbl& vtbl = **static_cast<DispatchVtbl**>(object);

  EXPECT_EQ(vtbl.AddRef(object), 2u);
  EXPECT_EQ(vtbl.Release(object), 1u);
  uint32_t count = 99;
  EXPECT_EQ(vtbl.GetTypeInfoCount(object, &count), S_OK);
  EXPECT_EQ(count, 0u);
  OLECHAR name[] = u"twice";
  OLECHAR* names[] = {name};
  DISPID dispid = 0;
  EXPECT_EQ(vtbl.GetIDsOfNames(object, IID_NULL, names, 1, 0, &dispid), S_OK);
  EXPECT_EQ(dispid, 2);
  int32_t handle = 21, doubled = 0;
  EXPECT_EQ(vtbl.Twice(object, &handle, &doubled), S_OK);
  EXPECT_EQ(doubled, 42);
  VARIANT arg = com::ByRef(handle, VT_INT);
  DISPPARAMS params{&arg, nullptr, 1, 0};
  com::Variant result;
  EXPECT_EQ(
      vtbl.Invoke(object, dispid, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr),
      S_OK);
  EXPECT_EQ(result.vt, VT_I4);
  EXPECT_EQ(result.lVal, 42);
  void* same = nullptr;
  EXPECT_EQ(vtbl.QueryInterface(object, IProbe::kIid, &same), S_OK);
  EXPECT_EQ(same, object);
  vtbl.Release(same);
  EXPECT_EQ(vtbl.Release(object), 0u);
}

}  // namespace
