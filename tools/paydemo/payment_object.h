// The calls a merchant's page makes on the payment object, in the order a page makes them,
// with texts in UTF-8 as a page holds them: the object is created by its ProgID and every
// method is called by name through IDispatch, as a script host calls it.
#pragma once

#include <string>

#include "com/com.h"

namespace paydemo {

class PaymentObject {
 public:
  // Creates "ORVtx41.ORVtx41" from the registry store; throws when it is not registered.
  PaymentObject();
  int Initialize();
  void SetActionType(int handle, const std::string& type);
  void SetField(int handle, const std::string& name, const std::string& value);
  void StartAction(int handle);
  std::string GetResult(int handle, const std::string& name);
  std::string Ack(int handle);  // "SUCCESS" or "ERROR"
  void Destroy(int handle);

 private:
  // Calls `method` with the handle by reference (VT_INT | VT_BYREF), as scripts pass it.
  com::Variant Call(const char16_t* method, int handle, std::initializer_list<VARIANT> texts);

  com::ComPtr<IDispatch> object_;
};

}  // namespace paydemo
