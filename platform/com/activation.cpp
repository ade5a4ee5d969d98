// Activation: ProgID to CLSID, CLSID to a loaded module and an object from its class factory.
#include <dlfcn.h>

#include <map>
#include <mutex>

#include "com/internal.h"

namespace {

using GetClassObjectFunction = HRESULT (*)(const CLSID&, const IID&, void**);
using CanUnloadNowFunction = HRESULT (*)();

struct Library {
  void* handle = nullptr;
  GetClassObjectFunction getClassObject = nullptr;
  CanUnloadNowFunction canUnloadNow = nullptr;  // none: the module stays loaded
  int activations = 0;  // CoCreateInstance calls running the module's code now
};

// The modules that CoCreateInstance loaded, by path. An entry is erased (and its module
// unloaded) only under the lock and only while no activation uses it, so an activation may use
// its entry outside the lock.
struct Libraries {
  std::mutex mutex;
  std::map<std::string, Library> byPath;
};

Libraries& LoadedLibraries() {
  static Libraries libraries;
  return libraries;
}

// Finds or loads the module and counts one activation on it.
HRESULT BeginActivation(const std::string& path, Library*& out) {
  Libraries& libraries = LoadedLibraries();
  std::lock_guard<std::mutex> lock(libraries.mutex);
  const auto [it, inserted] = libraries.byPath.try_emplace(path);
  Library& library = it->second;
  if (inserted) {
    library.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library.handle) {
      library.getClassObject =
          reinterpret_cast<GetClassObjectFunction>(dlsym(library.handle, "DllGetClassObject"));
      library.canUnloadNow =
          reinterpret_cast<CanUnloadNowFunction>(dlsym(library.handle, "DllCanUnloadNow"));
    }
    if (!library.getClassObject) {
      const HRESULT hr = library.handle ? CO_E_ERRORINDLL : CO_E_DLLNOTFOUND;
      if (library.handle) dlclose(library.handle);
      libraries.byPath.erase(it);
      return hr;
    }
  }
  ++library.activations;
  out = &library;
  return S_OK;
}

void EndActivation(Library& library) {
  Libraries& libraries = LoadedLibraries();
  std::lock_guard<std::mutex> lock(libraries.mutex);
  --library.activations;
}

// The default value of a key as text, or "" when absent.
std::string DefaultText(std::string_view keyPath) {
  const auto store = com::internal::CurrentStore();
  const com::internal::StoredValue* value = store ? store->FindValue(keyPath, "") : nullptr;
  return value && value->type == com::internal::StoredValue::Type::String ? value->text : "";
}

}  // namespace

HRESULT CLSIDFromString(const OLECHAR* text, CLSID* clsid) {
  if (!text || !clsid) return E_INVALIDARG;
  const std::optional<GUID> guid = com::ParseGuid(std::u16string_view(text));
  if (!guid) return CO_E_CLASSSTRING;
  *clsid = *guid;
  return S_OK;
}

HRESULT CLSIDFromProgID(const OLECHAR* progId, CLSID* clsid) {
  if (!progId || !clsid) return E_INVALIDARG;
  try {
    std::string name;
    for (const OLECHAR* c = progId; *c; ++c) {
      if (*c > 0x7F || *c == u'\\') return CO_E_CLASSSTRING;  // ProgIDs are ASCII names
      name += static_cast<char>(*c);
    }
    if (name.empty()) return CO_E_CLASSSTRING;
    const std::optional<GUID> guid = com::ParseGuid(DefaultText(name + "\\CLSID"));
    if (!guid) return CO_E_CLASSSTRING;
    *clsid = *guid;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, uint32_t context, const IID& iid,
                         void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!(context & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
  try {
    const std::string path = DefaultText("CLSID\\" + com::FormatGuid(clsid) + "\\InprocServer32");
    if (path.empty()) return REGDB_E_CLASSNOTREG;
    Library* library = nullptr;
    HRESULT hr = BeginActivation(path, library);
    if (FAILED(hr)) return hr;
    {
      com::ComPtr<IClassFactory> factory;
      hr = library->getClassObject(clsid, IID_IClassFactory, factory.ReceiveVoid());
      if (SUCCEEDED(hr)) hr = factory->CreateInstance(outer, iid, object);
    }
    EndActivation(*library);
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

void CoFreeUnusedLibraries() {
  Libraries& libraries = LoadedLibraries();
  std::lock_guard<std::mutex> lock(libraries.mutex);
  for (auto it = libraries.byPath.begin(); it != libraries.byPath.end();) {
    Library& library = it->second;
    if (library.activations == 0 && library.canUnloadNow && library.canUnloadNow() == S_OK) {
      dlclose(library.handle);
      it = libraries.byPath.erase(it);
    } else {
      ++it;
    }
  }
}
