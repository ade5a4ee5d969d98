// The module's four exports. Registration runs registry script 102 (textwell.rgs); the other
// script kept beside it, smsclient2.rgs (103), is never run, and its CLSID is not served.
#include "sms_client.h"

extern const char kTextwellRegistryScript[];

namespace {

const com::ClassEntry kClasses[] = {com::Class<SMSClient2>(CLSID_SMSClient2)};
const com::Module kModule{kTextwellRegistryScript,
                          {LIBID_TEXTWELLCOMLib, "TextwellCOM 1.0 Type Library", 1, 0, 1033},
                          kClasses};

}  // namespace

HRESULT DllGetClassObject(const CLSID& clsid, const IID& iid, void** object) {
  return com::GetClassObject(kModule, clsid, iid, object);
}
HRESULT DllCanUnloadNow() { return com::CanUnloadNow(); }
HRESULT DllRegisterServer() { return com::RegisterServer(kModule); }
HRESULT DllUnregisterServer() { return com::UnregisterServer(kModule); }
