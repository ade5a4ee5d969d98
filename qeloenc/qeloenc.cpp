// The module: the COM class Encrypt over qelo::Encrypt, and the four exports.
#include "qeloenc.h"

#include "encrypt.h"

extern const char kEncryptRegistryScript[];

namespace {

// Memory running out is the only exception below; it must not cross the module boundary.
template <class Fn>
HRESULT Guarded(Fn&& fn) noexcept {
  try {
    return fn();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

class Encrypt final : public com::Object<Encrypt, IEncrypt> {
 public:
  static constexpr bool kAggregatable = true;
  static const com::DispatchTable kDispatch;

  HRESULT DesEncrypt(VARIANT* pVal, VARIANT* retVal) override {
    if (!pVal || !retVal) return E_POINTER;
    return Guarded([&] {
      if (pVal->vt != VT_BSTR) return S_FALSE;
      const std::optional<std::string> encrypted =
          encrypt_.DesEncrypt(com::ToCp949(pVal->bstrVal));
      if (!encrypted) return S_FALSE;
      // Base64 is ASCII, which code page 949 keeps as it is: widening is the conversion.
      com::Variant(std::u16string(encrypted->begin(), encrypted->end())).MoveTo(retVal);
      return S_OK;
    });
  }

  HRESULT put_setHashKey(VARIANT* newVal) override {
    if (!newVal) return E_POINTER;
    return Guarded([&] {
      if (newVal->vt != VT_BSTR) return S_FALSE;
      encrypt_.SetHashKey(com::ToCp949(newVal->bstrVal));
      return S_OK;
    });
  }

  HRESULT get_getHashKey(VARIANT* pVal) override {
    if (!pVal) return E_POINTER;
    return Guarded([&] {
      com::Variant(com::Bstr::FromCp949(encrypt_.GetHashKey())).MoveTo(pVal);
      return S_OK;
    });
  }

 private:
  qelo::Encrypt encrypt_;
};

const com::Member kEncryptMembers[] = {
    com::Method<&IEncrypt::DesEncrypt>(1, "DesEncrypt", "method DesEncrypt",
                                       {com::In("pVal"), com::RetVal("retVal")}),
    com::PropertyPut<&IEncrypt::put_setHashKey>(2, "setHashKey", "property setHashKey",
                                                {com::In("newVal")}),
    com::PropertyGet<&IEncrypt::get_getHashKey>(3, "getHashKey", "property getHashKey",
                                                {com::RetVal("pVal")}),
};

const com::DispatchTable Encrypt::kDispatch{IEncrypt::kIid, "IEncrypt", "IEncrypt Interface",
                                            kEncryptMembers};

const com::ClassEntry kClasses[] = {com::Class<Encrypt>(CLSID_Encrypt)};
const com::Module kModule{kEncryptRegistryScript,
                          {LIBID_QELOENCLib, "qeloEnc 1.0 Type Library", 1, 0, 0},
                          kClasses};

}  // namespace

HRESULT DllGetClassObject(const CLSID& clsid, const IID& iid, void** object) {
  return com::GetClassObject(kModule, clsid, iid, object);
}
HRESULT DllCanUnloadNow() { return com::CanUnloadNow(); }
HRESULT DllRegisterServer() { return com::RegisterServer(kModule); }
HRESULT DllUnregisterServer() { return com::UnregisterServer(kModule); }
