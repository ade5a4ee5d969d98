// comreg: registers an in-process COM module into the registry store, or with -u unregisters
// it, by loading it and calling its DllRegisterServer / DllUnregisterServer.
//
//   comreg MODULE.so       comreg -u MODULE.so
//
// Prints one line; exits 0 on success, 1 on failure, 2 on a usage error. The store is the one
// that $COM_REGISTRY_FILE names (or the per-user default).
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "com/com.h"

namespace {

using EntryPoint = HRESULT (*)();

int Run(const char* modulePath, bool install) {
  char resolved[PATH_MAX];
  if (!realpath(modulePath, resolved)) {
    std::printf("comreg: cannot find %s: %s\n", modulePath, std::strerror(errno));
    return 1;
  }
  void* module = dlopen(resolved, RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    std::printf("comreg: cannot load %s: %s\n", resolved, dlerror());
    return 1;
  }
  const char* name = install ? "DllRegisterServer" : "DllUnregisterServer";
  const auto entry = reinterpret_cast<EntryPoint>(dlsym(module, name));
  int status = 1;
  if (!entry) {
    std::printf("comreg: %s has no %s\n", resolved, name);
  } else if (const HRESULT hr = entry(); FAILED(hr)) {
    std::printf("comreg: %s in %s failed: 0x%08X\n", name, resolved, static_cast<unsigned>(hr));
  } else {
    std::printf("comreg: %s %s\n", install ? "registered" : "unregistered", resolved);
    status = 0;
  }
  dlclose(module);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const bool uninstall = argc == 3 && std::strcmp(argv[1], "-u") == 0;
  if (argc != 2 + (uninstall ? 1 : 0) || argv[argc - 1][0] == '-') {
    std::fprintf(stderr, "usage: comreg [-u] MODULE.so\n");
    return 2;
  }
  return Run(argv[argc - 1], !uninstall);
}
