// DES-ECB throughput of the engine against OpenSSL's DES-ECB (legacy provider, EVP) in the same
// run; Encrypt::DesEncrypt calls against the same work done with OpenSSL, and against the COM
// object's DesEncrypt called through IDispatch::Invoke as a script host calls it.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ctr.h"
#include "encrypt.h"
#include "qeloenc.h"

namespace {

constexpr std::uint8_t kKey[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
const std::string kFortyBytes = "order 20240611-000123 amount 15000 won!!";

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;
using Cipher = std::unique_ptr<EVP_CIPHER, decltype(&EVP_CIPHER_free)>;

using Provider = std::unique_ptr<OSSL_PROVIDER, decltype(&OSSL_PROVIDER_unload)>;

// Single DES lives in the legacy provider; loading one by hand turns off the implicit default.
Cipher FetchDesEcb() {
  static const Provider legacy(OSSL_PROVIDER_load(nullptr, "legacy"), &OSSL_PROVIDER_unload);
  static const Provider standard(OSSL_PROVIDER_load(nullptr, "default"), &OSSL_PROVIDER_unload);
  Cipher cipher(legacy && standard ? EVP_CIPHER_fetch(nullptr, "DES-ECB", nullptr) : nullptr,
                &EVP_CIPHER_free);
  if (!cipher) std::abort();
  return cipher;
}

// One message per iteration: start, one update, final (PKCS #5), the key set beforehand.
void EngineEcb(benchmark::State& state) {
  const std::vector<std::uint8_t> message(static_cast<std::size_t>(state.range(0)), 'm');
  std::vector<std::uint8_t> out(message.size() + 8);
  qelo::CTR_CONTEXT context;
  qelo::CTR_Init(qelo::CTR_MODE_ECB, qelo::CTR_PAD_PKCS5, nullptr, context);
  if (qelo::CTR_SetKey(kKey, context) != 0) std::abort();
  for (auto _ : state) {
    std::size_t written = 0, last = 0;
    qelo::CTR_Start(context);
    qelo::CTR_Update(context, message, out, written);
    qelo::CTR_Final(context, std::span(out).subspan(written), last);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * message.size()));
}

void OpenSslEcb(benchmark::State& state) {
  const std::vector<std::uint8_t> message(static_cast<std::size_t>(state.range(0)), 'm');
  std::vector<std::uint8_t> out(message.size() + 8);
  const Cipher cipher = FetchDesEcb();
  const CipherContext context(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
  if (EVP_EncryptInit_ex2(context.get(), cipher.get(), kKey, nullptr, nullptr) != 1) std::abort();
  for (auto _ : state) {
    int written = 0, last = 0;
    EVP_EncryptInit_ex2(context.get(), nullptr, nullptr, nullptr, nullptr);  // same key
    EVP_EncryptUpdate(context.get(), out.data(), &written, message.data(),
                      static_cast<int>(message.size()));
    EVP_EncryptFinal_ex(context.get(), out.data() + written, &last);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * message.size()));
}

void DesEncrypt(benchmark::State& state) {
  qelo::Encrypt encrypt;
  encrypt.SetHashKey("0123456789ABCDEF");
  for (auto _ : state) benchmark::DoNotOptimize(encrypt.DesEncrypt(kFortyBytes));
  state.SetItemsProcessed(state.iterations());
}

struct CloseModule {
  void operator()(void* module) const { dlclose(module); }
};
using Module = std::unique_ptr<void, CloseModule>;

// An Encrypt object from libqeloenc.so's own class factory; `module` must outlive it.
com::ComPtr<IDispatch> CreateEncryptObject(const Module& module) {
  using GetClassObject = HRESULT (*)(const CLSID&, const IID&, void**);
  const auto getClassObject =
      module ? reinterpret_cast<GetClassObject>(dlsym(module.get(), "DllGetClassObject")) : nullptr;
  com::ComPtr<IClassFactory> factory;
  com::ComPtr<IDispatch> object;
  if (!getClassObject ||
      getClassObject(CLSID_Encrypt, IID_IClassFactory, factory.ReceiveVoid()) != S_OK ||
      factory->CreateInstance(nullptr, IID_IDispatch, object.ReceiveVoid()) != S_OK)
    std::abort();
  return object;
}

// The 40-byte text through IDispatch::Invoke (DISPID 1 looked up once, as script hosts cache it),
// the BSTR result freed each time.
void DispatchDesEncrypt(benchmark::State& state) {
  const Module module(dlopen(QELOENC_MODULE_PATH, RTLD_NOW | RTLD_LOCAL));
  const com::ComPtr<IDispatch> object = CreateEncryptObject(module);
  if (com::Call(object.Get(), u"setHashKey", DISPATCH_PROPERTYPUT,
                {com::Variant(u"0123456789ABCDEF")}) != S_OK)
    std::abort();
  com::Variant text(std::u16string(kFortyBytes.begin(), kFortyBytes.end()));
  DISPPARAMS params{&text, nullptr, 1, 0};
  for (auto _ : state) {
    com::Variant result;
    if (object->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr) != S_OK)
      std::abort();
    benchmark::DoNotOptimize(result.bstrVal);
  }
  state.SetItemsProcessed(state.iterations());
}

// The same call's work through OpenSSL: key setup, DES-ECB with padding, Base64 on one line.
void OpenSslDesEncrypt(benchmark::State& state) {
  const Cipher cipher = FetchDesEcb();
  const CipherContext context(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
  for (auto _ : state) {
    std::vector<std::uint8_t> sealed(kFortyBytes.size() + 8);
    int written = 0, last = 0;
    EVP_EncryptInit_ex2(context.get(), cipher.get(), kKey, nullptr, nullptr);
    EVP_EncryptUpdate(context.get(), sealed.data(), &written,
                      reinterpret_cast<const std::uint8_t*>(kFortyBytes.data()),
                      static_cast<int>(kFortyBytes.size()));
    EVP_EncryptFinal_ex(context.get(), sealed.data() + written, &last);
    std::string text((written + last + 2) / 3 * 4 + 1, '\0');
    text.resize(static_cast<std::size_t>(
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), sealed.data(), written + last)));
    benchmark::DoNotOptimize(text.data());
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(EngineEcb)->Arg(64)->Arg(16384);
BENCHMARK(OpenSslEcb)->Arg(64)->Arg(16384);
BENCHMARK(DesEncrypt);
BENCHMARK(OpenSslDesEncrypt);
BENCHMARK(DispatchDesEncrypt);

}  // namespace

BENCHMARK_MAIN();
