// Module lock count, the generic class factory, and per-thread error information.
#include <pthread.h>

#include "com/com.h"

namespace com {

namespace {

// Objects, factories and server locks of this binary. Touched only through Lock/UnlockModule.
std::atomic<int64_t> moduleLocks{0};

// IUnknown for the small helper objects below, which are never aggregated.
template <class Interface>
class Unknown : public Interface {
 public:
  HRESULT QueryInterface(const IID& iid, void** object) override {
    if (!object) return E_POINTER;
    if (iid != IID_IUnknown && iid != Interface::kIid) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    *object = static_cast<Interface*>(this);
    return S_OK;
  }
  uint32_t AddRef() override { return ++references_; }
  uint32_t Release() override {
    const uint32_t left = --references_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~Unknown() = default;

 private:
  ModuleLock lock_;
  std::atomic<uint32_t> references_{1};
};

class ClassFactory final : public Unknown<IClassFactory> {
 public:
  explicit ClassFactory(Creator create) : create_(create) {}
  HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** object) override {
    return create_(outer, iid, object);
  }
  HRESULT LockServer(int32_t lock) override {
    if (lock)
      LockModule();
    else
      UnlockModule();
    return S_OK;
  }

 private:
  Creator create_;
};

class ErrorInfo final : public Unknown<IErrorInfo> {
 public:
  ErrorInfo(const GUID& iid, Bstr source, Bstr description)
      : iid_(iid), source_(std::move(source)), description_(std::move(description)) {}
  HRESULT GetGUID(GUID* guid) override {
    if (!guid) return E_INVALIDARG;
    *guid = iid_;
    return S_OK;
  }
  HRESULT GetSource(BSTR* source) override { return Copy(source_, source); }
  HRESULT GetDescription(BSTR* description) override { return Copy(description_, description); }
  HRESULT GetHelpFile(BSTR* helpFile) override {
    if (!helpFile) return E_INVALIDARG;
    *helpFile = nullptr;
    return S_OK;
  }
  HRESULT GetHelpContext(uint32_t* helpContext) override {
    if (!helpContext) return E_INVALIDARG;
    *helpContext = 0;
    return S_OK;
  }

 private:
  static HRESULT Copy(const Bstr& text, BSTR* out) {
    if (!out) return E_INVALIDARG;
    *out = SysAllocStringLen(text.Get(), text.Length());
    return *out ? S_OK : E_OUTOFMEMORY;
  }

  GUID iid_;
  Bstr source_;
  Bstr description_;
};

// The error info of each thread, set by SetErrorInfo and taken by GetErrorInfo; a thread that
// ends with one releases it. A pthread key rather than a thread_local object: glibc keeps a
// shared library with live thread_local destructors loaded until those threads end, and modules
// must unload when idle. The key goes when the binary does; by then no error info is alive,
// since each holds a module lock.
class ThreadErrorInfo {
 public:
  ThreadErrorInfo() {
    valid_ = pthread_key_create(&key_,
                                [](void* info) { static_cast<IErrorInfo*>(info)->Release(); }) == 0;
  }
  ~ThreadErrorInfo() {
    if (valid_) pthread_key_delete(key_);
  }
  bool Set(IErrorInfo* info) { return valid_ && pthread_setspecific(key_, info) == 0; }
  IErrorInfo* Get() const {
    return valid_ ? static_cast<IErrorInfo*>(pthread_getspecific(key_)) : nullptr;
  }

 private:
  pthread_key_t key_{};
  bool valid_ = false;
};

ThreadErrorInfo& ErrorSlot() {
  static ThreadErrorInfo slot;
  return slot;
}

}  // namespace

void LockModule() { ++moduleLocks; }
void UnlockModule() { --moduleLocks; }
HRESULT CanUnloadNow() { return moduleLocks.load() == 0 ? S_OK : S_FALSE; }

HRESULT GetClassObject(const Module& module, const CLSID& clsid, const IID& iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  for (const ClassEntry& entry : module.classes) {
    if (entry.clsid != clsid) continue;
    ClassFactory* factory = new (std::nothrow) ClassFactory(entry.create);
    if (!factory) return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(iid, object);
    factory->Release();
    return hr;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT PostErrorInfo(const GUID& iid, std::u16string_view source,
                      std::u16string_view description) {
  try {
    ComPtr<IErrorInfo> info =
        ComPtr<IErrorInfo>::Adopt(new ErrorInfo(iid, Bstr(source), Bstr(description)));
    return SetErrorInfo(0, info.Get());
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace com

HRESULT SetErrorInfo(uint32_t, IErrorInfo* info) {
  com::ThreadErrorInfo& slot = com::ErrorSlot();
  IErrorInfo* previous = slot.Get();
  if (info == previous) return S_OK;
  if (info) info->AddRef();
  if (!slot.Set(info)) {
    if (info) info->Release();
    return E_OUTOFMEMORY;
  }
  if (previous) previous->Release();
  return S_OK;
}

HRESULT GetErrorInfo(uint32_t, IErrorInfo** info) {
  if (!info) return E_INVALIDARG;
  com::ThreadErrorInfo& slot = com::ErrorSlot();
  *info = slot.Get();
  if (!*info) return S_FALSE;
  slot.Set(nullptr);
  return S_OK;
}
