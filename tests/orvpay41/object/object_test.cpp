// The payment object as scripts see it: created by ProgID (or by CLSID through the module's
// own class factory), every method called by name.
#include <dlfcn.h>
#include <stdio.h>

#include <regex>
#include <set>

#include "module_support.h"
#include "orvtx41.h"
#include "payment_object.h"

namespace {

using PaymentObject = PaymentModule;

TEST_F(PaymentObject, ExportsExactlyTheFourEntryPoints) {
  EXPECT_EQ(test::DefinedExports(module_), test::kComEntryPoints);
}

TEST_F(PaymentObject, RegistrationRecordsTheClass) {
  const std::string classKey = "CLSID\\{798EB088-1625-4C6E-A72B-50A8C87B27DF}";
  EXPECT_EQ(com::RegistryValue(classKey), "ORVtx41 Class");
  EXPECT_EQ(com::RegistryValue(classKey + "\\ProgID"), "ORVtx41.ORVtx41.1");
  EXPECT_EQ(com::RegistryValue(classKey + "\\VersionIndependentProgID"), "ORVtx41.ORVtx41");
  EXPECT_TRUE(com::RegistryKeyExists(classKey + "\\Programmable"));
  EXPECT_EQ(com::RegistryValue(classKey + "\\InprocServer32"), module_);
  EXPECT_EQ(com::RegistryValue(classKey + "\\InprocServer32", "ThreadingModel"), "Both");
  EXPECT_EQ(com::RegistryValue("ORVtx41.ORVtx41\\CurVer"), "ORVtx41.ORVtx41.1");
  EXPECT_EQ(com::RegistryValue("ORVtx41.ORVtx41.1\\CLSID"), classKey.substr(6));
  const std::string members = "Interface\\{8FF591D5-75C0-4A1D-83F6-984E1CC0BF4D}\\Members\\";
  EXPECT_EQ(com::RegistryValue(members + "GetResult"),
            "[id(6), helpstring(\"method GetResult\")] HRESULT GetResult([in] int* pIn, "
            "[in] BSTR pName, [out, retval] BSTR* pOut)");
  EXPECT_EQ(com::RegistryValue("TypeLib\\{3088D573-9478-4A41-BA77-3C7D58CDAF5E}\\1.0"),
            "ORVpay41 1.0 Type Library");
}

TEST_F(PaymentObject, EveryMethodByNameWithHandlesByReferenceOrByValue) {
  const int32_t handle = Initialize();
  EXPECT_GT(handle, 0);
  SetField(handle, u"MID", u"shop000001");
  EXPECT_EQ(Call(u"SetActionType", handle, {u"securepay"}), S_OK);
  EXPECT_EQ(GetResult(handle, u"mid"), u"shop000001");
  EXPECT_EQ(GetResult(handle, u"TYPE"), u"securepay");

  // By value, as VT_I4 and VT_INT.
  com::Variant result;
  VARIANT asInt{};
  asInt.vt = VT_INT;
  asInt.intVal = handle;
  ASSERT_EQ(com::Call(object_.Get(), u"getresult", DISPATCH_METHOD,
                      {asInt, com::Variant(u"mid")}, &result),
            S_OK);
  EXPECT_EQ(com::View(result.bstrVal), u"shop000001");
  ASSERT_EQ(com::Call(object_.Get(), u"GetResult", DISPATCH_METHOD,
                      {com::Variant(handle), com::Variant(u"mid")}, result.Receive()),
            S_OK);
  EXPECT_EQ(com::View(result.bstrVal), u"shop000001");

  EXPECT_EQ(Call(u"StartAction", handle, {}), S_OK);
  ASSERT_EQ(Call(u"Ack", handle, {}, result.Receive()), S_OK);
  EXPECT_EQ(com::View(result.bstrVal), u"ERROR");  // nothing awaits acknowledgement
  ASSERT_EQ(com::Call(object_.Get(), u"GetIpAddr", DISPATCH_METHOD, {}, result.Receive()), S_OK);
  EXPECT_TRUE(std::regex_match(com::ToCp949(result.bstrVal),
                               std::regex(R"(\d+\.\d+\.\d+\.\d+)")));
  EXPECT_EQ(Call(u"Destroy", handle, {}), S_OK);
  EXPECT_EQ(GetResult(handle, u"mid"), u"");  // a destroyed handle reads nothing
}

TEST_F(PaymentObject, UnknownHandlesDoNothingAndSucceed) {
  for (const int32_t handle : {0, -1, 12345}) {
    com::Variant result;
    EXPECT_EQ(Call(u"SetField", handle, {u"mid", u"x"}), S_OK);
    EXPECT_EQ(Call(u"SetActionType", handle, {u"cancel"}), S_OK);
    EXPECT_EQ(Call(u"StartAction", handle, {}), S_OK);
    EXPECT_EQ(GetResult(handle, u"mid"), u"");
    ASSERT_EQ(Call(u"Ack", handle, {}, &result), S_OK);
    EXPECT_EQ(com::View(result.bstrVal), u"ERROR");
    EXPECT_EQ(Call(u"Destroy", handle, {}), S_OK);
  }
}

TEST_F(PaymentObject, KoreanTextsRoundTripThroughCodePage949) {
  const int32_t handle = Initialize();
  SetField(handle, u"goodname", u"한글 상품명 テスト 😀ก");
  EXPECT_EQ(GetResult(handle, u"goodname"), u"한글 상품명 テスト ??");  // outside code page 949
  SetField(handle, u"buyername", u"홍길동");
  EXPECT_EQ(GetResult(handle, u"buyername"), u"홍길동");
  // The 30-byte cut counts code page 949 bytes: 16 Hangul syllables are 32 bytes.
  SetField(handle, u"buyername", u"가나다라마바사아자차카타파하가나");
  EXPECT_EQ(GetResult(handle, u"buyername"), u"가나다라마바사아자차카타파하가");
}

TEST_F(PaymentObject, LogFailureIsReportedInKoreanAndBlocksFields) {
  const int32_t handle = Initialize();
  // No type yet: the log cannot be named.
  EXPECT_EQ(Call(u"StartAction", handle, {}), S_OK);
  EXPECT_EQ(GetResult(handle, u"resultcode"), u"01");
  EXPECT_EQ(GetResult(handle, u"resultmsg"), u"[9406][실패|로그 초기화 오류]");
  SetField(handle, u"mid", u"blocked");
  EXPECT_EQ(GetResult(handle, u"mid"), u"");
  EXPECT_EQ(Call(u"SetActionType", handle, {u"securepay"}), S_OK);
  EXPECT_EQ(GetResult(handle, u"type"), u"securepay");
}

TEST_F(PaymentObject, StartLineIsWrittenBesideTheModule) {
  const int32_t handle = Initialize();
  SetField(handle, u"mid", u"shop000001");
  Call(u"SetActionType", handle, {u"cancel"});
  Call(u"StartAction", handle, {});
  char digits[16];
  std::snprintf(digits, sizeof digits, "%08d", handle);
  const std::string log = ReadLog("cancel", "shop000001");
  EXPECT_TRUE(std::regex_search(
      log, std::regex(std::string("^INFO  \\[[0-9:-]{23}\\] <") + digits +
                      "> START cancel \\(V4\\.1B4108D030730\\)\r\n")))
      << log;
}

TEST_F(PaymentObject, CreatedByClsidThroughTheModulesClassFactory) {
  void* library = dlopen(module_.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  const auto getClassObject = reinterpret_cast<HRESULT (*)(const CLSID&, const IID&, void**)>(
      dlsym(library, "DllGetClassObject"));
  ASSERT_NE(getClassObject, nullptr);
  com::ComPtr<IClassFactory> factory;
  ASSERT_EQ(getClassObject(CLSID_ORVtx41, IID_IClassFactory, factory.ReceiveVoid()), S_OK);
  com::ComPtr<IDispatch> object;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, object.ReceiveVoid()), S_OK);
  com::Variant handle;
  ASSERT_EQ(com::Call(object.Get(), u"Initialize", DISPATCH_METHOD, {com::Variant(u"x")},
                      &handle),
            S_OK);
  com::Variant result;
  int32_t h = handle.intVal;
  ASSERT_EQ(com::Call(object.Get(), u"GetResult", DISPATCH_METHOD,
                      {com::ByRef(h, VT_INT), com::Variant(u"resultcode")}, &result),
            S_OK);
  EXPECT_EQ(com::View(result.bstrVal), u"");
  com::ComPtr<IUnknown> unknown;
  EXPECT_EQ(object->QueryInterface(IORVtx41::kIid, unknown.ReceiveVoid()), S_OK);
  EXPECT_EQ(getClassObject(IORVtx41::kIid, IID_IClassFactory, factory.ReceiveVoid()),
            CLASS_E_CLASSNOTAVAILABLE);
  object.Reset();
  unknown.Reset();
  factory.Reset();
  dlclose(library);
}

}  // namespace
