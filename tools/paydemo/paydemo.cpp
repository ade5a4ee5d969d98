// paydemo: a payment transaction as a merchant's script runs it, through the scriptable
// object created by its ProgID. Expects the module registered (scripts/demo.sh does that).
// Prints the result fields.
#include <iostream>
#include <stdexcept>
#include <string>

#include "com/com.h"
#include "text/cp949.h"

namespace {

class PaymentScript {
 public:
  explicit PaymentScript(IDispatch* object) : object_(object) {}

  int32_t Initialize() {
    com::Variant handle;
    Check(com::Call(object_, u"Initialize", DISPATCH_METHOD, {com::Variant(u"")}, &handle));
    return handle.intVal;
  }
  void SetActionType(int32_t handle, std::u16string_view type) {
    Check(com::Call(object_, u"SetActionType", DISPATCH_METHOD,
                    {com::ByRef(handle, VT_INT), com::Variant(type)}));
  }
  void SetField(int32_t handle, std::u16string_view name, std::u16string_view value) {
    Check(com::Call(object_, u"SetField", DISPATCH_METHOD,
                    {com::ByRef(handle, VT_INT), com::Variant(name), com::Variant(value)}));
  }
  void StartAction(int32_t handle) {
    Check(com::Call(object_, u"StartAction", DISPATCH_METHOD, {com::ByRef(handle, VT_INT)}));
  }
  std::string GetResult(int32_t handle, std::u16string_view name) {
    com::Variant result;
    Check(com::Call(object_, u"GetResult", DISPATCH_METHOD,
                    {com::ByRef(handle, VT_INT), com::Variant(name)}, &result));
    return Utf8(result.bstrVal);
  }
  void Destroy(int32_t handle) {
    Check(com::Call(object_, u"Destroy", DISPATCH_METHOD, {com::ByRef(handle, VT_INT)}));
  }

 private:
  static void Check(HRESULT hr) {
    if (FAILED(hr)) throw std::runtime_error("call failed: " + std::to_string(hr));
  }
  static std::string Utf8(BSTR text) { return text::Cp949ToUtf8(com::ToCp949(text)); }

  IDispatch* object_;
};

}  // namespace

int main() {
  CLSID clsid{};
  com::ComPtr<IDispatch> object;
  if (CLSIDFromProgID(u"ORVtx41.ORVtx41", &clsid) != S_OK ||
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                       object.ReceiveVoid()) != S_OK) {
    std::cerr << "paydemo: ORVtx41.ORVtx41 is not registered\n";
    return 1;
  }
  try {
    PaymentScript script(object.Get());
    const int32_t handle = script.Initialize();
    script.SetActionType(handle, u"securepay");
    script.SetField(handle, u"mid", u"demoshop01");
    script.SetField(handle, u"goodname", u"데모 상품");
    script.SetField(handle, u"price", u"1000");
    script.StartAction(handle);
    for (const std::u16string name :
         {u"type", u"mid", u"goodname", u"price", u"resultcode", u"resultmsg"})
      std::cout << std::string(name.begin(), name.end()) << ": " << script.GetResult(handle, name)
                << "\n";
    script.Destroy(handle);
  } catch (const std::exception& e) {
    std::cerr << "paydemo: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
