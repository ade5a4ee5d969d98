// Whole transactions as a merchant's script runs them: the module installed beside a
// merchant's keys, registered by the real registrar, created by its ProgID and called by name,
// against the payment gateway on loopback. Each test owns the gateway address 127.97.<block>.1
// (blocks 40 and up here).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "com/com.h"
#include "payment_world.h"
#include "text/cp949.h"

namespace orv {
namespace {

using test::PaymentWorld;
using testgw::PriceOf;
using testgw::Scenario;

// A script's session with the object: texts in code page 949 as the module keeps them.
class Script {
 public:
  explicit Script(const PaymentWorld& world) {
    const std::string module = world.moduleDirectory() + "liborvpay41.so";
    std::filesystem::copy_file(ORVPAY41_MODULE_PATH, module);
    setenv("COM_REGISTRY_FILE", (world.moduleDirectory() + "registry.reg").c_str(), 1);
    EXPECT_EQ(std::system((std::string(COMREG_PATH) + " " + module + " >/dev/null").c_str()), 0);
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(u"ORVtx41.ORVtx41", &clsid), S_OK);
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               object_.ReceiveVoid()),
              S_OK);
  }
  ~Script() {
    object_.Reset();
    CoFreeUnusedLibraries();
    unsetenv("COM_REGISTRY_FILE");
  }

  int32_t Initialize() {
    com::Variant handle;
    EXPECT_EQ(com::Call(object_.Get(), u"Initialize", DISPATCH_METHOD, {com::Variant(u"")},
                        &handle),
              S_OK);
    return handle.intVal;
  }
  std::string Call(const char16_t* method, int32_t handle,
                   std::initializer_list<std::string> texts = {}) {
    std::vector<com::Variant> owned;
    for (const std::string& text : texts) owned.emplace_back(text::FromCp949(text));
    std::vector<VARIANT> args = {com::ByRef(handle, VT_INT)};
    args.insert(args.end(), owned.begin(), owned.end());
    com::Variant result;
    const HRESULT hr =
        args.size() == 1   ? com::Call(object_.Get(), method, DISPATCH_METHOD, {args[0]}, &result)
        : args.size() == 2 ? com::Call(object_.Get(), method, DISPATCH_METHOD,
                                       {args[0], args[1]}, &result)
                           : com::Call(object_.Get(), method, DISPATCH_METHOD,
                                       {args[0], args[1], args[2]}, &result);
    EXPECT_EQ(hr, S_OK) << text::ToCp949(method);
    return result.vt == VT_BSTR ? com::ToCp949(result.bstrVal) : "";
  }
  int32_t StartPayment(const PaymentWorld& world, const std::string& price) {
    const int32_t handle = Initialize();
    Call(u"SetActionType", handle, {"securepay"});
    for (const auto& [name, value] : world.PaymentFields(price))
      Call(u"SetField", handle, {name, value});
    Call(u"SetField", handle, {"spgip", world.address()});  // the fourth address tried
    Call(u"StartAction", handle);
    return handle;
  }

 private:
  com::ComPtr<IDispatch> object_;
};

TEST(EndToEnd, ApprovedPaymentIsAcknowledged) {
  PaymentWorld world(40);
  Script script(world);
  const int32_t handle = script.StartPayment(world, "1000");
  EXPECT_EQ(script.Call(u"GetResult", handle, {"resultcode"}), "00");
  const std::string tid = script.Call(u"GetResult", handle, {"tid"});
  EXPECT_EQ(tid.size(), 40u);
  EXPECT_FALSE(script.Call(u"GetResult", handle, {"authcode"}).empty());
  EXPECT_EQ(script.Call(u"Ack", handle), "SUCCESS");
  EXPECT_EQ(script.Call(u"GetResult", handle, {"resultcode"}), "00");
  EXPECT_EQ(world.Log("securepay", handle), world.AcknowledgedPaymentLog(tid));
  // The payment stays confirmed: a second Ack answers ERROR and sends nothing.
  const size_t exchanges = world.gateway.Exchanges().size();
  EXPECT_EQ(script.Call(u"Ack", handle), "ERROR");
  EXPECT_EQ(world.gateway.Exchanges().size(), exchanges);
  EXPECT_TRUE(world.gateway.ExchangesOf("TXNetCancel").empty());
  script.Call(u"Destroy", handle);
}

TEST(EndToEnd, WrongEchoWithdrawsTheApprovalAndCancels) {
  PaymentWorld world(41);
  Script script(world);
  const int32_t handle = script.StartPayment(world, PriceOf(Scenario::WrongEcho));
  ASSERT_EQ(script.Call(u"GetResult", handle, {"resultcode"}), "00");
  EXPECT_EQ(script.Call(u"Ack", handle), "ERROR");
  EXPECT_EQ(script.Call(u"GetResult", handle, {"resultcode"}), "01");
  EXPECT_EQ(script.Call(u"GetResult", handle, {"resultmsg"}),
            "[9402][지불실패|ACK CHECKSUM FAIL]");
  EXPECT_EQ(script.Call(u"GetResult", handle, {"authcode"}), "");
  EXPECT_EQ(world.gateway.ExchangesOf("TXNetCancel").size(), 1u);
}

TEST(EndToEnd, UnreachableGatewayIsAConnectFailure) {
  PaymentWorld world(42);
  world.server.StopListening();
  Script script(world);
  const int32_t handle = script.StartPayment(world, "1000");
  EXPECT_EQ(script.Call(u"GetResult", handle, {"resultcode"}), "01");
  EXPECT_EQ(script.Call(u"GetResult", handle, {"resultmsg"}),
            "[9502][지불실패|소켓 연결 오류]");
  const auto lines = world.Log("securepay", handle);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "ERROR CONNECT PG FAIL (RTV:9502 WSA:10061)");
  EXPECT_EQ(lines.back(), "INFO  END securepay [9502][지불실패|소켓 연결 오류] \n\n\n");
}

}  // namespace
}  // namespace orv
