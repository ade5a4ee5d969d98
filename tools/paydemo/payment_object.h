// The calls a merchant's page makes on the payment object, in the order a page makes them,
// with texts in UTF-8 as a page holds them. The demo's steps are written against this alone,
// so that they run unchanged on whichever object serves them.
#pragma once

#include <string>

namespace paydemo {

class PaymentObject {
 public:
  virtual ~PaymentObject() = default;
  virtual int Initialize() = 0;
  virtual void SetActionType(int handle, const std::string& type) = 0;
  virtual void SetField(int handle, const std::string& name, const std::string& value) = 0;
  virtual void StartAction(int handle) = 0;
  virtual std::string GetResult(int handle, const std::string& name) = 0;
  virtual std::string Ack(int handle) = 0;  // "SUCCESS" or "ERROR"
  virtual void Destroy(int handle) = 0;
};

// The payment module's components behind the object's methods, texts converted to and from
// code page 949 as the object converts them. The module directory (keys, log, address
// override file) is `moduleDirectory` rather than the module's own.
class ComponentPaymentObject : public PaymentObject {
 public:
  explicit ComponentPaymentObject(std::string moduleDirectory)
      : moduleDirectory_(std::move(moduleDirectory)) {}
  int Initialize() override;
  void SetActionType(int handle, const std::string& type) override;
  void SetField(int handle, const std::string& name, const std::string& value) override;
  void StartAction(int handle) override;
  std::string GetResult(int handle, const std::string& name) override;
  std::string Ack(int handle) override;
  void Destroy(int handle) override;

 private:
  std::string moduleDirectory_;
};

}  // namespace paydemo
