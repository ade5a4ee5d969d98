#include "payment_object.h"

#include "acknowledgement.h"
#include "text/cp949.h"
#include "transaction.h"

namespace paydemo {

int ComponentPaymentObject::Initialize() {
  const int handle = orv::Transactions().Initialize();
  orv::Transactions().Find(handle)->fields.moduleDirectory = moduleDirectory_;
  return handle;
}

void ComponentPaymentObject::SetActionType(int handle, const std::string& type) {
  if (const auto t = orv::Transactions().Find(handle))
    t->fields.SetNamedField("type", text::Utf8ToCp949(type));
}

void ComponentPaymentObject::SetField(int handle, const std::string& name,
                                      const std::string& value) {
  const auto t = orv::Transactions().Find(handle);
  if (t && t->logFailed == 0) t->fields.SetNamedField(name, text::Utf8ToCp949(value));
}

void ComponentPaymentObject::StartAction(int handle) {
  if (const auto t = orv::Transactions().Find(handle)) orv::StartAction(*t);
}

std::string ComponentPaymentObject::GetResult(int handle, const std::string& name) {
  const auto t = orv::Transactions().Find(handle);
  return t ? text::Cp949ToUtf8(t->fields.GetNamedResult(name)) : "";
}

std::string ComponentPaymentObject::Ack(int handle) {
  const auto t = orv::Transactions().Find(handle);
  return t && orv::RunAcknowledgement(*t) == 1 ? "SUCCESS" : "ERROR";
}

void ComponentPaymentObject::Destroy(int handle) { orv::Transactions().Destroy(handle); }

}  // namespace paydemo
