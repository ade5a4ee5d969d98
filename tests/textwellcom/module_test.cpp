// libtextwellcom.so as a script host meets it: registered by comreg into a temporary store,
// created by ProgID, driven through IDispatch against the SMS test database.
#include <dlfcn.h>
#include <limits.h>
#include <stdio.h>
#include <sys/wait.h>

#include <set>

#include "../com/temp_store.h"
#include "module_support.h"
#include "test_database.h"
#include "sms_client.h"

namespace {

using Module = TempStore;

TEST_F(Module, ExportsExactlyTheFourEntryPoints) {
  EXPECT_EQ(test::DefinedExports(TEXTWELLCOM_MODULE_PATH), test::kComEntryPoints);
}

TEST_F(Module, ServesOnlyTheTextwellClass) {
  void* handle = dlopen(TEXTWELLCOM_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  const auto getClassObject = reinterpret_cast<HRESULT (*)(const CLSID&, const IID&, void**)>(
      dlsym(handle, "DllGetClassObject"));
  ASSERT_NE(getClassObject, nullptr);
  com::ComPtr<IClassFactory> factory;
  EXPECT_EQ(getClassObject(com::MakeGuid("{AC3104A1-2EE0-4CE7-879F-9D8B292E49B4}"),
                           IID_IClassFactory, factory.ReceiveVoid()),
            CLASS_E_CLASSNOTAVAILABLE);
  ASSERT_EQ(getClassObject(CLSID_SMSClient2, IID_IClassFactory, factory.ReceiveVoid()), S_OK);
  com::ComPtr<IUnknown> object;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, object.ReceiveVoid()), S_OK);
  {
    const com::ComPtr<ISupportErrorInfo> errorInfo = object.As<ISupportErrorInfo>();
    ASSERT_TRUE(errorInfo);
    EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(ISMSClient2::kIid), S_OK);
    EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
    EXPECT_TRUE(object.As<ISMSClient2>());
  }
  object.Reset();
  factory.Reset();
  const auto canUnloadNow = reinterpret_cast<HRESULT (*)()>(dlsym(handle, "DllCanUnloadNow"));
  EXPECT_EQ(canUnloadNow(), S_OK);
  dlclose(handle);
}

TEST_F(Module, RegisteredAndDrivenByProgId) {
  char resolved[PATH_MAX];
  ASSERT_NE(realpath(TEXTWELLCOM_MODULE_PATH, resolved), nullptr);
  const std::string module = resolved;
  const test::Outcome registered =
      test::Shell(std::string(COMREG_PATH) + " " + TEXTWELLCOM_MODULE_PATH);
  ASSERT_EQ(registered.status, 0) << registered.output;

  const std::string classKey = "CLSID\\{C8EB6851-7F3A-4329-919E-37171919AAC9}";
  EXPECT_EQ(com::RegistryValue("TextwellCOM.Textwell.1"), "Textwell Class");
  EXPECT_EQ(com::RegistryValue("TextwellCOM.Textwell\\CurVer"), "TextwellCOM.Textwell.1");
  EXPECT_EQ(com::RegistryValue(classKey), "Textwell Class");
  EXPECT_EQ(com::RegistryValue(classKey + "\\ProgID"), "TextwellCOM.Textwell.1");
  EXPECT_EQ(com::RegistryValue(classKey + "\\VersionIndependentProgID"), "TextwellCOM.Textwell");
  EXPECT_TRUE(com::RegistryKeyExists(classKey + "\\Programmable"));
  EXPECT_EQ(com::RegistryValue(classKey + "\\InprocServer32"), module);
  EXPECT_EQ(com::RegistryValue(classKey + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(com::RegistryValue(classKey + "\\TypeLib"), "{30594DB4-4E11-4951-B318-03C112F8DCE8}");
  EXPECT_EQ(com::RegistryValue("TypeLib\\{30594DB4-4E11-4951-B318-03C112F8DCE8}\\1.0"),
            "TextwellCOM 1.0 Type Library");
  const std::string members = "Interface\\{3526FEA7-0904-4ACC-85FA-4B94ADB87068}\\Members\\";
  EXPECT_EQ(com::RegistryValue(members + "SendExcelMessageWithPolling"),
            "[id(6), helpstring(\"method SendExcelMessageWithPolling\")] HRESULT "
            "SendExcelMessageWithPolling([out] VARIANT* vSendPhone, [out] VARIANT* "
            "vReceivePhone, [in] BSTR bstrMessage, [in] BSTR bstrReserve, [in] long lTimeout, "
            "[in] BSTR bstrPollingURL, [out] VARIANT* lResult)");
  EXPECT_FALSE(com::RegistryKeyExists("TextwellCOM.SMSClient2"));  // script 103 never runs
  EXPECT_FALSE(com::RegistryKeyExists("CLSID\\{AC3104A1-2EE0-4CE7-879F-9D8B292E49B4}"));

  {
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(u"TextwellCOM.Textwell", &clsid), S_OK);
    com::ComPtr<IDispatch> client;
    ASSERT_EQ(
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, client.ReceiveVoid()),
        S_OK);
    ASSERT_EQ(com::Call(client.Get(), u"OpenConnection", DISPATCH_METHOD,
                        {com::Variant(u"by-progid"), com::Variant(u""), com::Variant(u"pw")}),
              S_OK);
    com::Variant messageId;
    ASSERT_EQ(com::Call(client.Get(), u"sendmessage", DISPATCH_METHOD,
                        {com::Variant(u"0212345678"), com::Variant(u"01012345678"),
                         com::Variant(u"문자"), com::Variant(u"200612251030"),
                         com::Variant(int32_t{40000}), com::ByRef(messageId)}),
              S_OK);
    ASSERT_EQ(messageId.vt, VT_BSTR);
    const std::vector<Recorded> calls = RecordedCalls("by-progid");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0][13], com::ToCp949(messageId.bstrVal));
    EXPECT_EQ(calls[0][5], "문자");
    com::Variant sendPhone, receivePhone, result;
    EXPECT_EQ(com::Call(client.Get(), u"SendExcelMessageWithPolling", DISPATCH_METHOD,
                        {com::ByRef(sendPhone), com::ByRef(receivePhone), com::Variant(u"m"),
                         com::Variant(u""), com::Variant(int32_t{0}), com::Variant(u""),
                         com::ByRef(result)}),
              S_FALSE);
    EXPECT_EQ(result.vt, VT_BSTR);
    EXPECT_EQ(com::Call(client.Get(), u"ShutdownConnection", DISPATCH_METHOD), S_OK);
  }

  const test::Outcome unregistered =
      test::Shell(std::string(COMREG_PATH) + " -u " + TEXTWELLCOM_MODULE_PATH);
  ASSERT_EQ(unregistered.status, 0) << unregistered.output;
  EXPECT_FALSE(com::RegistryKeyExists("TextwellCOM.Textwell"));
  EXPECT_FALSE(com::RegistryKeyExists(classKey));
  EXPECT_TRUE(com::RegistryKeyExists("CLSID"));
}

}  // namespace
