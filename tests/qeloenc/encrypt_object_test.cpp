// The Encrypt object as scripts meet it: libqeloenc.so registered into a temporary store by
// comreg, created by ProgID, called through IDispatch (and its dual interface where a script
// host cannot show the difference), and unregistered.
#include <dlfcn.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <set>
#include <string>
#include <vector>

#include "qeloenc.h"
#include "reference_des.h"
#include "module_support.h"
#include "temp_store.h"

namespace {

std::string ModuleFile() {
  char resolved[PATH_MAX];
  return realpath(QELOENC_MODULE_PATH, resolved) ? resolved : "";
}

constexpr std::u16string_view kHashKey = u"0123456789abcdef";

// Standard DES-ECB with PKCS #5 padding of code page 949 bytes under the key 0123456789ABCDEF,
// on one Base64 line.
std::u16string Expected(std::string_view cp949) {
  const std::uint8_t key[] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  const std::span bytes(reinterpret_cast<const std::uint8_t*>(cp949.data()), cp949.size());
  const std::string base64 =
      qelo::reference::Base64(qelo::reference::Encrypt("DES-ECB", key, {}, bytes, true));
  return {base64.begin(), base64.end()};
}

std::u16string Text(const VARIANT& value) {
  return value.vt == VT_BSTR ? std::u16string(com::View(value.bstrVal)) : u"(not a string)";
}

HRESULT SetHashKey(IDispatch* object, const VARIANT& value) {
  return com::Call(object, u"setHashKey", DISPATCH_PROPERTYPUT, {value});
}

std::u16string GetHashKey(IDispatch* object) {
  com::Variant value;
  EXPECT_EQ(com::Call(object, u"getHashKey", DISPATCH_PROPERTYGET, {}, &value), S_OK);
  return Text(value);
}

HRESULT DesEncrypt(IDispatch* object, const VARIANT& value, com::Variant& result) {
  return com::Call(object, u"DesEncrypt", DISPATCH_METHOD, {value}, result.Receive());
}

class EncryptObject : public TempStore {
 protected:
  void SetUp() override {
    TempStore::SetUp();
    const test::Outcome registered = test::Shell(std::string(COMREG_PATH) + " " + QELOENC_MODULE_PATH);
    ASSERT_EQ(registered.status, 0) << registered.output;
  }

  static com::ComPtr<IDispatch> Create() {
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(u"QeloEnc.Encrypt", &clsid), S_OK);
    com::ComPtr<IDispatch> object;
    EXPECT_EQ(
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.ReceiveVoid()),
        S_OK);
    return object;
  }

  static com::ComPtr<IDispatch> CreateWithKey(std::u16string_view hashKey) {
    com::ComPtr<IDispatch> object = Create();
    if (object) {
      EXPECT_EQ(SetHashKey(object.Get(), com::Variant(hashKey)), S_OK);
    }
    return object;
  }
};

TEST_F(EncryptObject, EqualsStandardDesEcbOfTheCp949Bytes) {
  struct Case {
    std::u16string text;
    std::string cp949;
  };
  std::vector<Case> cases = {
      {u"", ""},
      {u"a", "a"},
      {u"1234567", "1234567"},
      {u"12345678", "12345678"},
      {u"주문번호 20240611-000123 결제 금액 15,000원", "주문번호 20240611-000123 결제 금액 15,000원"},
      {std::u16string(u"abc\0def", 7), "abc"},  // the message ends at its first NUL
      {std::u16string(751, u'x'), std::string(751, 'x')},
  };
  // Longer than the old 1024-byte working area allowed: encrypted and returned whole.
  Case longText;
  for (int i = 0; i < 400; ++i) {
    longText.text += u"가나";
    longText.cp949 += "가나";
  }
  cases.push_back(longText);

  const com::ComPtr<IDispatch> object = CreateWithKey(kHashKey);
  ASSERT_TRUE(object);
  for (const Case& c : cases) {
    com::Variant result;
    ASSERT_EQ(DesEncrypt(object.Get(), com::Variant(c.text), result), S_OK) << c.cp949;
    EXPECT_EQ(Text(result), Expected(c.cp949)) << c.cp949;
    EXPECT_EQ(SysStringLen(result.bstrVal), (c.cp949.size() / 8 * 8 + 8 + 2) / 3 * 4);
  }

  // A script passes its variable by reference.
  com::Variant variable(u"주문");
  com::Variant result;
  ASSERT_EQ(DesEncrypt(object.Get(), com::ByRef(variable), result), S_OK);
  EXPECT_EQ(Text(result), Expected("주문"));
}

TEST_F(EncryptObject, FailuresLeaveRetValUntouched) {
  struct Case {
    const char* situation;
    com::Variant key;
    com::Variant value;
  };
  Case cases[] = {
      {"a number to encrypt", com::Variant(kHashKey), com::Variant(12345)},
      {"Null to encrypt", com::Variant(kHashKey), com::Variant::Null()},
      {"Empty to encrypt", com::Variant(kHashKey), com::Variant()},
      {"a number as key", com::Variant(0x01234567), com::Variant(u"text")},
      {"an empty key", com::Variant(u""), com::Variant(u"text")},
      {"a key with a non-digit", com::Variant(u"0123456789ABCDEG"), com::Variant(u"text")},
      {"a key of odd length", com::Variant(u"0123456789ABCDE"), com::Variant(u"text")},
      {"non-digits past the 16th", com::Variant(u"0123456789ABCDEFxy"), com::Variant(u"text")},
      {"a short key", com::Variant(u"0123456789ABCD"), com::Variant(u"text")},
      {"a zero key byte", com::Variant(u"0123456700ABCDEF"), com::Variant(u"text")},
      {"a weak key", com::Variant(u"0101010101010101"), com::Variant(u"text")},
      {"a semi-weak key", com::Variant(u"e0fee0fef1fef1fe"), com::Variant(u"text")},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.situation);
    const com::ComPtr<IDispatch> object = Create();
    ASSERT_TRUE(object);
    EXPECT_EQ(SetHashKey(object.Get(), c.key), c.key.vt == VT_BSTR ? S_OK : S_FALSE);

    com::Variant result;
    EXPECT_EQ(DesEncrypt(object.Get(), c.value, result), S_FALSE);
    EXPECT_EQ(result.vt, VT_EMPTY);  // what the script receives

    const com::ComPtr<IEncrypt> dual = object.As<IEncrypt>();
    ASSERT_TRUE(dual);
    com::Variant retVal(u"untouched");
    const BSTR before = retVal.bstrVal;
    EXPECT_EQ(dual->DesEncrypt(&c.value, &retVal), S_FALSE);
    EXPECT_EQ(retVal.vt, VT_BSTR);
    EXPECT_EQ(retVal.bstrVal, before);
  }
}

TEST_F(EncryptObject, HashKeyKeepsFortyBytes) {
  const com::ComPtr<IDispatch> object = Create();
  ASSERT_TRUE(object);
  EXPECT_EQ(GetHashKey(object.Get()), u"");

  const std::u16string fortyOne = u"0123456789ABCDEF0123456789ABCDEF01234567X";
  EXPECT_EQ(SetHashKey(object.Get(), com::Variant(fortyOne)), S_OK);
  EXPECT_EQ(GetHashKey(object.Get()), fortyOne.substr(0, 40));
  com::Variant result;
  ASSERT_EQ(DesEncrypt(object.Get(), com::Variant(u"text"), result), S_OK);  // the X is gone
  EXPECT_EQ(Text(result), Expected("text"));

  EXPECT_EQ(SetHashKey(object.Get(), com::Variant(42)), S_FALSE);
  EXPECT_EQ(SetHashKey(object.Get(), com::Variant::Null()), S_FALSE);
  EXPECT_EQ(GetHashKey(object.Get()), fortyOne.substr(0, 40));

  // Forty bytes of code page 949: twenty syllables of twenty-one.
  EXPECT_EQ(SetHashKey(object.Get(), com::Variant(std::u16string(21, u'가'))), S_OK);
  EXPECT_EQ(GetHashKey(object.Get()), std::u16string(20, u'가'));
}

TEST_F(EncryptObject, HexDigitsInEitherCaseGiveTheSameKey) {
  for (std::u16string_view hashKey :
       {u"0123456789abcdef", u"0123456789ABCDEF", u"0123456789aBcDeF"}) {
    const com::ComPtr<IDispatch> object = CreateWithKey(hashKey);
    ASSERT_TRUE(object);
    com::Variant result;
    ASSERT_EQ(DesEncrypt(object.Get(), com::Variant(u"같은 키"), result), S_OK);
    EXPECT_EQ(Text(result), Expected("같은 키"));
  }
}

TEST_F(EncryptObject, MembersAndInterfaces) {
  const com::ComPtr<IDispatch> object = Create();
  ASSERT_TRUE(object);
  struct Name {
    const char16_t* name;
    DISPID dispid;
  };
  for (const Name& n : {Name{u"DesEncrypt", 1}, Name{u"setHashKey", 2}, Name{u"GETHASHKEY", 3}}) {
    std::u16string text(n.name);
    OLECHAR* names[] = {text.data()};
    DISPID dispid = DISPID_UNKNOWN;
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, 0, &dispid), S_OK);
    EXPECT_EQ(dispid, n.dispid);
  }
  // Two properties, each one way only.
  com::Variant value;
  EXPECT_EQ(com::Call(object.Get(), u"setHashKey", DISPATCH_PROPERTYGET, {}, &value),
            DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(com::Call(object.Get(), u"getHashKey", DISPATCH_PROPERTYPUT, {com::Variant(u"00")}),
            DISP_E_MEMBERNOTFOUND);

  EXPECT_TRUE(object.As<IUnknown>());
  EXPECT_TRUE(object.As<IEncrypt>());
  EXPECT_FALSE(object.As<ISupportErrorInfo>());  // no rich error information

  const com::ComPtr<IEncrypt> dual = object.As<IEncrypt>();
  com::Variant text(u"text");
  EXPECT_EQ(dual->DesEncrypt(nullptr, &value), E_POINTER);
  EXPECT_EQ(dual->DesEncrypt(&text, nullptr), E_POINTER);
  EXPECT_EQ(dual->put_setHashKey(nullptr), E_POINTER);
  EXPECT_EQ(dual->get_getHashKey(nullptr), E_POINTER);
}

// The controlling object of an aggregate: answers IUnknown itself and everything else from the
// Encrypt object inside it. Lives on the test's stack.
class Outer final : public IUnknown {
 public:
  HRESULT QueryInterface(const IID& iid, void** object) override {
    if (iid != IID_IUnknown) return inner.Get()->QueryInterface(iid, object);
    AddRef();
    *object = static_cast<IUnknown*>(this);
    return S_OK;
  }
  uint32_t AddRef() override { return ++references; }
  uint32_t Release() override { return --references; }

  com::ComPtr<IUnknown> inner;
  uint32_t references = 1;
};

TEST_F(EncryptObject, CanBeAggregated) {
  Outer outer;
  ASSERT_EQ(CoCreateInstance(CLSID_Encrypt, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             outer.inner.ReceiveVoid()),
            S_OK);
  com::ComPtr<IDispatch> dispatch;
  ASSERT_EQ(outer.QueryInterface(IID_IDispatch, dispatch.ReceiveVoid()), S_OK);
  EXPECT_EQ(outer.references, 2u);  // the inner object's references count on the outer one
  com::ComPtr<IUnknown> identity;
  ASSERT_EQ(dispatch->QueryInterface(IID_IUnknown, identity.ReceiveVoid()), S_OK);
  EXPECT_EQ(identity.Get(), &outer);
  identity.Reset();

  EXPECT_EQ(SetHashKey(dispatch.Get(), com::Variant(kHashKey)), S_OK);
  com::Variant result;
  ASSERT_EQ(DesEncrypt(dispatch.Get(), com::Variant(u"aggregated"), result), S_OK);
  EXPECT_EQ(Text(result), Expected("aggregated"));
  dispatch.Reset();
  EXPECT_EQ(outer.references, 1u);

  com::ComPtr<IDispatch> refused;
  EXPECT_EQ(CoCreateInstance(CLSID_Encrypt, &outer, CLSCTX_INPROC_SERVER, IID_IDispatch,
                             refused.ReceiveVoid()),
            CLASS_E_NOAGGREGATION);
}

TEST_F(EncryptObject, ClassObjectOnlyForItsClass) {
  void* module = dlopen(QELOENC_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << dlerror();
  const auto getClassObject = reinterpret_cast<HRESULT (*)(const CLSID&, const IID&, void**)>(
      dlsym(module, "DllGetClassObject"));
  const auto canUnloadNow = reinterpret_cast<HRESULT (*)()>(dlsym(module, "DllCanUnloadNow"));
  ASSERT_TRUE(getClassObject && canUnloadNow);
  com::ComPtr<IClassFactory> factory;
  EXPECT_EQ(getClassObject(IEncrypt::kIid, IID_IClassFactory, factory.ReceiveVoid()),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(getClassObject(LIBID_QELOENCLib, IID_IClassFactory, factory.ReceiveVoid()),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_FALSE(factory);
  EXPECT_EQ(canUnloadNow(), S_OK);

  ASSERT_EQ(getClassObject(CLSID_Encrypt, IID_IClassFactory, factory.ReceiveVoid()), S_OK);
  com::ComPtr<IDispatch> object;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, object.ReceiveVoid()), S_OK);
  factory.Reset();
  EXPECT_EQ(canUnloadNow(), S_FALSE);  // the object holds the module
  object.Reset();
  EXPECT_EQ(canUnloadNow(), S_OK);
  dlclose(module);
}

TEST_F(EncryptObject, ExportsExactlyTheFourEntryPoints) {
  EXPECT_EQ(test::DefinedExports(QELOENC_MODULE_PATH), test::kComEntryPoints);
}

TEST_F(EncryptObject, RegistrationAndUnregistration) {
  const std::string classKey = "CLSID\\{162B352B-CA08-49D4-A025-BA92D90DC6AD}";
  const std::string clsid = "{162B352B-CA08-49D4-A025-BA92D90DC6AD}";
  EXPECT_EQ(com::RegistryValue("QeloEnc.Encrypt.1"), "Encrypt Class");
  EXPECT_EQ(com::RegistryValue("QeloEnc.Encrypt.1\\CLSID"), clsid);
  EXPECT_EQ(com::RegistryValue("QeloEnc.Encrypt"), "Encrypt Class");
  EXPECT_EQ(com::RegistryValue("QeloEnc.Encrypt\\CLSID"), clsid);
  EXPECT_EQ(com::RegistryValue("QeloEnc.Encrypt\\CurVer"), "QeloEnc.Encrypt.1");
  EXPECT_EQ(com::RegistryValue(classKey), "Encrypt Class");
  EXPECT_EQ(com::RegistryValue(classKey + "\\ProgID"), "QeloEnc.Encrypt.1");
  EXPECT_EQ(com::RegistryValue(classKey + "\\VersionIndependentProgID"), "QeloEnc.Encrypt");
  EXPECT_TRUE(com::RegistryKeyExists(classKey + "\\Programmable"));
  EXPECT_EQ(com::RegistryValue(classKey + "\\InprocServer32"), ModuleFile());
  EXPECT_EQ(com::RegistryValue(classKey + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(com::RegistryValue(classKey + "\\TypeLib"), "{971F541A-8668-4A65-B80F-1E022300C0B8}");

  const std::string libraryKey = "TypeLib\\{971F541A-8668-4A65-B80F-1E022300C0B8}\\1.0";
  EXPECT_EQ(com::RegistryValue(libraryKey), "qeloEnc 1.0 Type Library");
  const std::string members = "Interface\\{943D9394-CF25-4F45-A8E8-5678DA493FD8}\\Members\\";
  EXPECT_EQ(com::RegistryValue(members + "DesEncrypt"),
            "[id(1), helpstring(\"method DesEncrypt\")] HRESULT DesEncrypt([in] VARIANT* pVal, "
            "[out, retval] VARIANT* retVal)");
  EXPECT_EQ(com::RegistryValue(members + "propput setHashKey"),
            "[propput, id(2), helpstring(\"property setHashKey\")] HRESULT setHashKey([in] "
            "VARIANT* newVal)");
  EXPECT_EQ(com::RegistryValue(members + "propget getHashKey"),
            "[propget, id(3), helpstring(\"property getHashKey\")] HRESULT getHashKey([out, "
            "retval] VARIANT* pVal)");

  const test::Outcome unregistered = test::Shell(std::string(COMREG_PATH) + " -u " + QELOENC_MODULE_PATH);
  ASSERT_EQ(unregistered.status, 0) << unregistered.output;
  CLSID found{};
  EXPECT_EQ(CLSIDFromProgID(u"QeloEnc.Encrypt", &found), CO_E_CLASSSTRING);
  EXPECT_EQ(CLSIDFromProgID(u"QeloEnc.Encrypt.1", &found), CO_E_CLASSSTRING);
  EXPECT_FALSE(com::RegistryKeyExists("QeloEnc.Encrypt"));
  EXPECT_FALSE(com::RegistryKeyExists("QeloEnc.Encrypt.1"));
  EXPECT_FALSE(com::RegistryKeyExists(classKey));
  EXPECT_FALSE(com::RegistryKeyExists("TypeLib\\{971F541A-8668-4A65-B80F-1E022300C0B8}"));
  EXPECT_TRUE(com::RegistryKeyExists("CLSID"));
}

}  // namespace
