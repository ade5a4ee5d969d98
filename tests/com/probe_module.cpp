// The test module: the Probe class behind the four exports.
#include "probe.h"

extern const char kProbeRegistryScript[];

namespace {

const com::ClassEntry kClasses[] = {com::Class<Probe>(CLSID_Probe)};
const com::Module kModule{
    kProbeRegistryScript, {LIBID_ProbeLib, "ComTest 1.0 Type Library", 1, 0, 0}, kClasses};

}  // namespace

HRESULT DllGetClassObject(const CLSID& clsid, const IID& iid, void** object) {
  return com::GetClassObject(kModule, clsid, iid, object);
}
HRESULT DllCanUnloadNow() { return com::CanUnloadNow(); }
HRESULT DllRegisterServer() { return com::RegisterServer(kModule); }
HRESULT DllUnregisterServer() { return com::UnregisterServer(kModule); }
