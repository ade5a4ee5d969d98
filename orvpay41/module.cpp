// The module's four entry points.
#include "orvtx41.h"

extern const char kOrvpay41RegistryScript[];

namespace {

const com::ClassEntry kClasses[] = {com::Class<ORVtx41>(CLSID_ORVtx41)};
const com::Module kModule{
    kOrvpay41RegistryScript, {LIBID_ORVPAY41Lib, "ORVpay41 1.0 Type Library", 1, 0, 1033},
    kClasses};

}  // namespace

HRESULT DllGetClassObject(const CLSID& clsid, const IID& iid, void** object) {
  return com::GetClassObject(kModule, clsid, iid, object);
}
HRESULT DllCanUnloadNow() { return com::CanUnloadNow(); }
HRESULT DllRegisterServer() { return com::RegisterServer(kModule); }
HRESULT DllUnregisterServer() { return com::UnregisterServer(kModule); }
