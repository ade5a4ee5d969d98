#include "payment_object.h"

#include <stdexcept>
#include <vector>

#include "text/cp949.h"

namespace paydemo {

namespace {

com::Variant Text(const std::string& utf8) {
  return com::Variant(text::FromCp949(text::Utf8ToCp949(utf8)));
}

std::string Utf8(const com::Variant& value) {
  return value.vt == VT_BSTR ? text::Cp949ToUtf8(com::ToCp949(value.bstrVal)) : "";
}

void Check(HRESULT hr, const char16_t* method) {
  if (FAILED(hr))
    throw std::runtime_error("calling " + text::Cp949ToUtf8(text::ToCp949(method)) +
                             " failed: HRESULT " + std::to_string(hr));
}

}  // namespace

PaymentObject::PaymentObject() {
  CLSID clsid{};
  if (CLSIDFromProgID(u"ORVtx41.ORVtx41", &clsid) != S_OK ||
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                       object_.ReceiveVoid()) != S_OK)
    throw std::runtime_error("ORVtx41.ORVtx41 is not registered");
}

com::Variant PaymentObject::Call(const char16_t* method, int handle,
                                 std::initializer_list<VARIANT> texts) {
  int32_t byReference = handle;
  std::vector<VARIANT> args = {com::ByRef(byReference, VT_INT)};
  args.insert(args.end(), texts);
  com::Variant result;
  HRESULT hr = E_INVALIDARG;
  switch (args.size()) {
    case 1: hr = com::Call(object_.Get(), method, DISPATCH_METHOD, {args[0]}, &result); break;
    case 2:
      hr = com::Call(object_.Get(), method, DISPATCH_METHOD, {args[0], args[1]}, &result);
      break;
    case 3:
      hr = com::Call(object_.Get(), method, DISPATCH_METHOD, {args[0], args[1], args[2]},
                     &result);
      break;
  }
  Check(hr, method);
  return result;
}

int PaymentObject::Initialize() {
  com::Variant handle;
  Check(com::Call(object_.Get(), u"Initialize", DISPATCH_METHOD, {com::Variant(u"")}, &handle),
        u"Initialize");
  return handle.intVal;
}

void PaymentObject::SetActionType(int handle, const std::string& type) {
  Call(u"SetActionType", handle, {Text(type)});
}

void PaymentObject::SetField(int handle, const std::string& name, const std::string& value) {
  Call(u"SetField", handle, {Text(name), Text(value)});
}

void PaymentObject::StartAction(int handle) { Call(u"StartAction", handle, {}); }

std::string PaymentObject::GetResult(int handle, const std::string& name) {
  return Utf8(Call(u"GetResult", handle, {Text(name)}));
}

std::string PaymentObject::Ack(int handle) { return Utf8(Call(u"Ack", handle, {})); }

void PaymentObject::Destroy(int handle) { Call(u"Destroy", handle, {}); }

}  // namespace paydemo
