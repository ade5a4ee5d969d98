// paydemo [--address A] [--keep]: one round of payments against the test gateway on loopback.
// Installs a copy of the payment module in a temporary directory with the keys of a merchant
// and of the gateway beside it, registers it into a registry store of its own, serves the
// payment gateway on A (127.0.70.1 unless given; it must lie in 127.0.0.0/8), and runs what a
// merchant's pages would, through the object created by its ProgID: a card payment that is acknowledged, its cancellation, an inquiry
// about it, and a payment whose acknowledgement fails and is cancelled at the gateway. Prints
// every result, what the gateway saw and the transaction logs; --keep leaves the directory.
#include <dlfcn.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "connection.h"
#include "keymaker.h"
#include "payment_object.h"
#include "security.h"
#include "testgateway/payment_gateway.h"
#include "testgateway/test_gateway.h"
#include "text/cp949.h"

namespace {

namespace fs = std::filesystem;
using paydemo::PaymentObject;

constexpr char kMid[] = "demoshop01";
constexpr char kPgid[] = "DEMOPG0001";
constexpr char kKeyPhrase[] = "demo key phrase";
// What the buyer's browser seals for the gateway in a real shop.
constexpr char kCardBlock[] =
    "CardNumber: 4111111111111111\r\nCardExpire: 0312\r\nCardQuota: 00\r\n";

struct Card {
  std::string sessionKey, encrypted;
};

void Heading(const std::string& text) { std::printf("\n== %s\n", text.c_str()); }

void PrintResults(PaymentObject& object, int handle, const std::vector<std::string>& names) {
  for (const std::string& name : names)
    std::printf("   %-12s %s\n", name.c_str(), object.GetResult(handle, name).c_str());
}

void SetMerchant(PaymentObject& object, int handle) {
  object.SetField(handle, "mid", kMid);
  object.SetField(handle, "pgid", kPgid);
  object.SetField(handle, "admin", kKeyPhrase);
  object.SetField(handle, "uip", "127.0.0.1");
}

// A card payment as a shop's order page starts it; returns the handle.
int StartPayment(PaymentObject& object, const Card& card, const std::string& price) {
  const int handle = object.Initialize();
  object.SetActionType(handle, "securepay");
  SetMerchant(object, handle);
  for (const auto& [name, value] :
       {std::pair<const char*, std::string>{"url", "http://127.0.0.1/shop/order"},
        {"price", price}, {"currency", "WON"}, {"paymethod", "Card"},
        {"goodname", "한국어 입문서"}, {"buyername", "홍길동"},
        {"buyertel", "010-0000-0000"}, {"buyeremail", "buyer@example.com"},
        {"sessionkey", card.sessionKey}, {"encrypted", card.encrypted}, {"debug", "true"}})
    object.SetField(handle, name, value);
  object.StartAction(handle);
  return handle;
}

// An action on an earlier transaction: cancel or confirm.
void RunOnTid(PaymentObject& object, const std::string& type, const std::string& tid) {
  const int handle = object.Initialize();
  object.SetActionType(handle, type);
  SetMerchant(object, handle);
  object.SetField(handle, "tid", tid);
  object.SetField(handle, "msg", "demo " + type);
  object.StartAction(handle);
  PrintResults(object, handle, {"resultcode", "resultmsg", "tid", "pgcanceldate"});
  object.Destroy(handle);
}

// The steps of the demo: every call goes through the payment object.
void RunSteps(PaymentObject& object, const Card& card) {
  const std::vector<std::string> paymentResults = {"resultcode", "resultmsg", "tid",
                                                   "authcode",   "cardnumber", "pgauthdate"};
  Heading("1. securepay of 1000 WON, then Ack");
  int handle = StartPayment(object, card, "1000");
  PrintResults(object, handle, paymentResults);
  std::printf("   Ack -> %s\n", object.Ack(handle).c_str());
  const std::string tid = object.GetResult(handle, "tid");
  object.Destroy(handle);

  Heading("2. cancel of that payment");
  RunOnTid(object, "cancel", tid);

  Heading("3. confirm (inquiry) of that payment");
  RunOnTid(object, "confirm", tid);

  Heading("4. securepay whose acknowledgement fails (the gateway echoes a wrong Ack)");
  handle = StartPayment(object, card, testgw::PriceOf(testgw::Scenario::WrongEcho));
  PrintResults(object, handle, paymentResults);
  std::printf("   Ack -> %s\n", object.Ack(handle).c_str());
  PrintResults(object, handle, paymentResults);
  object.Destroy(handle);
}

void PrintGateway(const testgw::PaymentGateway& gateway) {
  Heading("what the gateway saw");
  for (const testgw::Exchange& exchange : gateway.Exchanges()) {
    const bool ack = exchange.kind == "Ack";
    const std::string answer =
        ack ? (exchange.scenario == testgw::Scenario::WrongEcho ? "a wrong echo" : "the echo")
            : exchange.resultCode.empty() ? "nothing" : "result code " + exchange.resultCode;
    std::printf("   port %-5u %-12s %-40s signature %-8s answered %s\n", exchange.port,
                exchange.kind.c_str(), exchange.tid.c_str(),
                ack ? "-" : exchange.signatureVerified ? "verified" : "BAD", answer.c_str());
  }
}

// The logs are in code page 949 with CR LF line ends; shown in UTF-8.
void PrintLogs(const std::string& directory) {
  std::vector<fs::path> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(directory + "log"))
    files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) {
    Heading("log " + file.filename().string());
    std::ifstream in(file, std::ios::binary);
    std::string text = text::Cp949ToUtf8(std::string(std::istreambuf_iterator<char>(in), {}));
    for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.replace(at, 2, "\n");
    std::fputs(text.c_str(), stdout);
  }
}

// What comreg does: the module's own DllRegisterServer, into the store named by the
// environment.
void RegisterModule(const std::string& path) {
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) throw std::runtime_error(std::string("cannot load the module: ") + dlerror());
  const auto registerServer = reinterpret_cast<HRESULT (*)()>(dlsym(module, "DllRegisterServer"));
  const HRESULT hr = registerServer ? registerServer() : E_FAIL;
  dlclose(module);
  if (hr != S_OK) throw std::runtime_error("cannot register the module");
}

std::string MakeModuleDirectory(const std::string& address) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/paydemo-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make " + pattern);
  const std::string directory = pattern + "/";
  std::string error;
  if (!orvkeys::MakeGatewayKeys(directory, error) ||
      !orvkeys::MakeMerchantKeys(directory, kMid, kKeyPhrase, error))
    throw std::runtime_error(error);
  fs::create_directory(directory + "log");
  fs::copy_file(ORVPAY41_MODULE_PATH, directory + "liborvpay41.so");
  setenv("COM_REGISTRY_FILE", (directory + "registry.reg").c_str(), 1);
  RegisterModule(directory + "liborvpay41.so");
  std::ofstream(directory + orv::kGatewayOverrideFile)
      << "primary = " << address << "\nfirst_backup = " << address
      << "\nsecond_backup = " << address << "\ntest = " << address << "\n";
  return directory;
}

Card SealCard(const std::string& directory) {
  orv::EvpPkeyPtr gatewayKey;
  Card card;
  if (orv::ReadGatewayCertificate(directory + "key/pgcert.pem", gatewayKey) != 1 ||
      orv::SealRequestData(gatewayKey.get(), kCardBlock, card.sessionKey, card.encrypted) != 1)
    throw std::runtime_error("cannot seal the card data");
  return card;
}

}  // namespace

int main(int argc, char** argv) {
  std::string address = "127.0.70.1";
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--address" && i + 1 < argc) {
      address = argv[++i];
    } else if (argument == "--keep") {
      keep = true;
    } else {
      std::fprintf(stderr, "usage: paydemo [--address 127.x.y.z] [--keep]\n");
      return 2;
    }
  }
  std::string directory;
  try {
    directory = MakeModuleDirectory(address);
    std::printf("module directory %s, gateway on %s\n", directory.c_str(), address.c_str());
    testgw::PaymentGateway gateway(directory);
    {
      testgw::TestGateway server(address, gateway.AsHandler());
      PaymentObject object;
      RunSteps(object, SealCard(directory));
    }
    PrintGateway(gateway);
    PrintLogs(directory);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "paydemo: %s\n", e.what());
    if (!directory.empty() && !keep) fs::remove_all(directory);
    return 1;
  }
  if (keep) {
    std::printf("\nkept %s\n", directory.c_str());
  } else {
    fs::remove_all(directory);
  }
  return 0;
}
