// End to end: the test module registered by the real registrar, created by ProgID, driven
// through GetIDsOfNames + Invoke, unloaded when idle, and unregistered.
#include <dlfcn.h>
#include <limits.h>
#include <stdio.h>
#include <sys/wait.h>

#include <set>

#include "probe.h"
#include "module_support.h"
#include "temp_store.h"

namespace {

using Module = TempStore;

std::string ModuleFile() {
  char resolved[PATH_MAX];
  return realpath(PROBE_MODULE_PATH, resolved) ? resolved : "";
}

bool IsLoaded(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle) dlclose(handle);
  return handle != nullptr;
}

TEST_F(Module, ExportsExactlyTheFourEntryPoints) {
  EXPECT_EQ(test::DefinedExports(PROBE_MODULE_PATH), test::kComEntryPoints);
}

TEST_F(Module, RegisterCreateByProgIdCallUnloadUnregister) {
  const std::string module = ModuleFile();
  const test::Outcome registered = test::Shell(std::string(COMREG_PATH) + " " + PROBE_MODULE_PATH);
  ASSERT_EQ(registered.status, 0) << registered.output;
  EXPECT_EQ(registered.output, "comreg: registered " + module + "\n");

  const std::string classKey = "CLSID\\" + com::FormatGuid(CLSID_Probe);
  const std::string interfaceKey = "Interface\\" + com::FormatGuid(IProbe::kIid);
  EXPECT_EQ(com::RegistryValue(classKey + "\\InprocServer32"), module);
  EXPECT_EQ(com::RegistryValue(classKey + "\\InprocServer32", "ThreadingModel"), "Both");
  EXPECT_EQ(com::RegistryValue("ComTest.Probe\\CurVer"), "ComTest.Probe.1");
  EXPECT_EQ(com::RegistryValue(interfaceKey), "IProbe");
  EXPECT_EQ(com::RegistryValue(interfaceKey + "\\TypeLib", "Version"), "1.0");
  EXPECT_EQ(com::RegistryValue(interfaceKey + "\\Members\\Twice"),
            "[id(2), helpstring(\"method Twice\")] HRESULT Twice([in] int* handle, "
            "[out, retval] long* result)");
  EXPECT_EQ(com::RegistryValue(interfaceKey + "\\Members\\propput Key"),
            "[propput, id(5), helpstring(\"property Key\")] HRESULT Key([in] VARIANT* value)");
  const std::string libraryKey = "TypeLib\\" + com::FormatGuid(LIBID_ProbeLib) + "\\1.0";
  EXPECT_EQ(com::RegistryValue(libraryKey), "ComTest 1.0 Type Library");
  EXPECT_EQ(com::RegistryValue(libraryKey + "\\0\\win64"), module);

  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(u"ComTest.Probe", &clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_Probe);
  ASSERT_EQ(CLSIDFromProgID(u"comtest.probe.1", &clsid), S_OK);
  EXPECT_EQ(CLSIDFromProgID(u"ComTest.Nothing", &clsid), CO_E_CLASSSTRING);
  EXPECT_EQ(CLSIDFromProgID(u"ComTest.Probe\\CLSID", &clsid), CO_E_CLASSSTRING);

  {
    com::ComPtr<IDispatch> probe;
    ASSERT_EQ(
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, probe.ReceiveVoid()),
        S_OK);
    int32_t handle = 1234;
    com::Variant result;
    ASSERT_EQ(
        com::Call(probe.Get(), u"Twice", DISPATCH_METHOD, {com::ByRef(handle, VT_INT)}, &result),
        S_OK);
    EXPECT_EQ(result.lVal, 2468);
    ASSERT_EQ(
        com::Call(probe.Get(), u"echo", DISPATCH_METHOD, {com::Variant(u"결제")}, result.Receive()),
        S_OK);
    EXPECT_EQ(com::ToCp949(result.bstrVal), "결제");  // a BSTR of the module, freed here
    EXPECT_TRUE(IsLoaded(module));
    CoFreeUnusedLibraries();
    EXPECT_TRUE(IsLoaded(module));  // the object holds it
  }
  CoFreeUnusedLibraries();
  EXPECT_FALSE(IsLoaded(module));

  const test::Outcome unregistered = test::Shell(std::string(COMREG_PATH) + " -u " + PROBE_MODULE_PATH);
  ASSERT_EQ(unregistered.status, 0) << unregistered.output;
  EXPECT_EQ(unregistered.output, "comreg: unregistered " + module + "\n");
  EXPECT_EQ(CLSIDFromProgID(u"ComTest.Probe", &clsid), CO_E_CLASSSTRING);
  EXPECT_FALSE(com::RegistryKeyExists("ComTest.Probe.1"));
  EXPECT_FALSE(com::RegistryKeyExists(classKey));
  EXPECT_FALSE(com::RegistryKeyExists(interfaceKey));
  EXPECT_TRUE(com::RegistryKeyExists("CLSID"));  // NoRemove
  EXPECT_TRUE(com::RegistryKeyExists("Interface"));
  com::ComPtr<IUnknown> none;
  EXPECT_EQ(CoCreateInstance(CLSID_Probe, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             none.ReceiveVoid()),
            REGDB_E_CLASSNOTREG);
}

TEST_F(Module, ClassObjectOfTheLoadedModule) {
  void* handle = dlopen(PROBE_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  const auto getClassObject = reinterpret_cast<HRESULT (*)(const CLSID&, const IID&, void**)>(
      dlsym(handle, "DllGetClassObject"));
  ASSERT_NE(getClassObject, nullptr);
  com::ComPtr<IClassFactory> factory;
  EXPECT_EQ(getClassObject(IProbe::kIid, IID_IClassFactory, factory.ReceiveVoid()),
            CLASS_E_CLASSNOTAVAILABLE);
  const auto canUnloadNow = reinterpret_cast<HRESULT (*)()>(dlsym(handle, "DllCanUnloadNow"));
  ASSERT_NE(canUnloadNow, nullptr);
  EXPECT_EQ(canUnloadNow(), S_OK);
  ASSERT_EQ(getClassObject(CLSID_Probe, IID_IClassFactory, factory.ReceiveVoid()), S_OK);
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  com::ComPtr<IDispatch> probe;
  IUnknown* outer = factory.Get();  // never called: the request is refused first
  EXPECT_EQ(factory->CreateInstance(outer, IID_IDispatch, probe.ReceiveVoid()),
            CLASS_E_NOAGGREGATION);
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, probe.ReceiveVoid()), S_OK);
  factory.Reset();
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  probe.Reset();
  EXPECT_EQ(canUnloadNow(), S_OK);
  dlclose(handle);
}

TEST_F(Module, RegistrationToolFailures) {
  test::Outcome missing = test::Shell(std::string(COMREG_PATH) + " " + directory_ + "/absent.so");
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.output.find("comreg: cannot find"), 0u) << missing.output;
  std::ofstream(directory_ + "/not-a-module.so") << "text";
  test::Outcome junk = test::Shell(std::string(COMREG_PATH) + " " + directory_ + "/not-a-module.so");
  EXPECT_EQ(junk.status, 1);
  EXPECT_EQ(junk.output.find("comreg: cannot load"), 0u) << junk.output;
  EXPECT_EQ(test::Shell(std::string(COMREG_PATH)).status, 2);
  EXPECT_EQ(test::Shell(std::string(COMREG_PATH) + " -x " + PROBE_MODULE_PATH).status, 2);
  // A store that cannot be written: the module's DllRegisterServer reports it.
  const test::Outcome unwritable = test::Shell("COM_REGISTRY_FILE=/proc/com-store " + std::string(COMREG_PATH) +
                                   " " + PROBE_MODULE_PATH);
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_NE(unwritable.output.find("DllRegisterServer in"), std::string::npos) << unwritable.output;
  EXPECT_NE(unwritable.output.find("failed: 0x80040151"), std::string::npos) << unwritable.output;
}

}  // namespace
