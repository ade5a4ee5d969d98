// Message security per operation, each next to the bare OpenSSL calls that do the same work
// in the usual way (SHA-1 signatures through EVP_DigestSign, binary data, no Base64), measured
// in the same run. Prints our time over the bare time for each operation at the end.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <vector>

#include "keymaker.h"
#include "security.h"

namespace {

using orv::EvpPkeyPtr;
using orv::OpenSslFree;
using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, OpenSslFree<EVP_CIPHER_CTX_free>>;
using MdCtx = std::unique_ptr<EVP_MD_CTX, OpenSslFree<EVP_MD_CTX_free>>;
using PkeyCtx = std::unique_ptr<EVP_PKEY_CTX, OpenSslFree<EVP_PKEY_CTX_free>>;

const unsigned char* Bytes(std::string_view text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

// Keys made by the key maker in a temporary directory, loaded as the module loads them.
struct Keys {
  Keys() {
    char pattern[] = "/tmp/orvpay41-bench-XXXXXX";
    directory = std::string(mkdtemp(pattern)) + "/";
    std::string error;
    if (!orvkeys::MakeGatewayKeys(directory, error) ||
        !orvkeys::MakeMerchantKeys(directory, "benchshop", "phrase", error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      std::exit(1);
    }
    orv::TransactionFields fields;
    fields.moduleDirectory = directory;
    fields.mid = "benchshop";
    fields.admin = "phrase";
    if (orv::LoadMerchantKey(fields, merchant) != 1 ||
        orv::ReadGatewayCertificate(directory + "key/pgcert.pem", gateway) != 1)
      std::exit(1);
    std::unique_ptr<BIO, OpenSslFree<BIO_free>> file(
        BIO_new_file((directory + "gateway/pgpriv.pem").c_str(), "r"));
    gatewayPrivate.reset(PEM_read_bio_PrivateKey(file.get(), nullptr, nullptr, nullptr));
    std::filesystem::remove_all(directory);
  }
  std::string directory;
  EvpPkeyPtr merchant, gateway, gatewayPrivate;
};

const Keys& TheKeys() {
  static const Keys keys;
  return keys;
}

// A request of the usual size: some 1.2 KB of items.
std::string Request() {
  std::string request = "Version: 4.1\r\nMID: benchshop\r\n";
  for (int i = 0; request.size() < 1200; ++i)
    request += "Item" + std::to_string(i) + ": value of a request item\r\n";
  return request;
}

const std::string kPlainBlock(400, 'p');

void Sign_Ours(benchmark::State& state) {
  const std::string request = Request();
  std::string signature;
  for (auto _ : state)
    benchmark::DoNotOptimize(orv::SignText(TheKeys().merchant.get(), request, signature));
}

void Sign_Bare(benchmark::State& state) {
  const std::string request = Request();
  std::string signature(EVP_PKEY_get_size(TheKeys().merchant.get()), '\0');
  for (auto _ : state) {
    MdCtx ctx(EVP_MD_CTX_new());
    size_t length = signature.size();
    EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha1(), nullptr, TheKeys().merchant.get());
    benchmark::DoNotOptimize(EVP_DigestSign(ctx.get(),
                                            reinterpret_cast<unsigned char*>(signature.data()),
                                            &length, Bytes(request), request.size()));
  }
}

void Verify_Ours(benchmark::State& state) {
  const std::string items = Request();
  std::string signature;
  orv::SignText(TheKeys().gatewayPrivate.get(), items, signature);
  const std::string reply = items + "Tail: " + signature + "\r\n";
  for (auto _ : state)
    benchmark::DoNotOptimize(orv::VerifyReplySignature(TheKeys().gateway.get(), reply, signature));
}

void Verify_Bare(benchmark::State& state) {
  const std::string reply = Request();
  std::string signature(EVP_PKEY_get_size(TheKeys().gatewayPrivate.get()), '\0');
  {
    MdCtx ctx(EVP_MD_CTX_new());
    size_t length = signature.size();
    EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha1(), nullptr, TheKeys().gatewayPrivate.get());
    EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                   Bytes(reply), reply.size());
  }
  for (auto _ : state) {
    MdCtx ctx(EVP_MD_CTX_new());
    EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha1(), nullptr, TheKeys().gateway.get());
    if (EVP_DigestVerify(ctx.get(), Bytes(signature), signature.size(), Bytes(reply),
                         reply.size()) != 1)
      state.SkipWithError("bare verification failed");
  }
}

void Seal_Ours(benchmark::State& state) {
  std::string sessionKey, encrypted;
  for (auto _ : state)
    benchmark::DoNotOptimize(
        orv::SealRequestData(TheKeys().gateway.get(), kPlainBlock, sessionKey, encrypted));
}

// Random session key and IV, one Triple-DES pass, one RSA public-key operation.
void Seal_Bare(benchmark::State& state) {
  unsigned char key[32];
  std::string cipherText(kPlainBlock.size() + 8, '\0');
  std::string rsaBlock(EVP_PKEY_get_size(TheKeys().gateway.get()), '\0');
  for (auto _ : state) {
    RAND_bytes(key, sizeof key);
    CipherCtx cipher(EVP_CIPHER_CTX_new());
    auto* out = reinterpret_cast<unsigned char*>(cipherText.data());
    int written = 0, last = 0;
    EVP_EncryptInit_ex(cipher.get(), EVP_des_ede3_cbc(), nullptr, key, key + 24);
    EVP_EncryptUpdate(cipher.get(), out, &written, Bytes(kPlainBlock),
                      static_cast<int>(kPlainBlock.size()));
    EVP_EncryptFinal_ex(cipher.get(), out + written, &last);
    PkeyCtx rsa(EVP_PKEY_CTX_new(TheKeys().gateway.get(), nullptr));
    size_t length = rsaBlock.size();
    EVP_PKEY_encrypt_init(rsa.get());
    EVP_PKEY_CTX_set_rsa_padding(rsa.get(), RSA_PKCS1_PADDING);
    benchmark::DoNotOptimize(EVP_PKEY_encrypt(
        rsa.get(), reinterpret_cast<unsigned char*>(rsaBlock.data()), &length, key, 24));
  }
}

void Open_Ours(benchmark::State& state) {
  const EvpPkeyPtr& merchant = TheKeys().merchant;
  std::string sessionKey, encrypted, plain;
  orv::SealRequestData(merchant.get(), kPlainBlock, sessionKey, encrypted);
  for (auto _ : state) {
    if (orv::OpenSealedReply(merchant.get(), sessionKey, encrypted, plain) != 1)
      state.SkipWithError("opening failed");
  }
}

// One RSA private-key operation, one Triple-DES pass, from binary data.
void Open_Bare(benchmark::State& state) {
  const EvpPkeyPtr& merchant = TheKeys().merchant;
  std::string sessionKey, encrypted, rsaBlockAndIv, cipherText;
  orv::SealRequestData(merchant.get(), kPlainBlock, sessionKey, encrypted);
  orv::Base64Decode(sessionKey, rsaBlockAndIv);
  orv::Base64Decode(encrypted, cipherText);
  const size_t rsaSize = rsaBlockAndIv.size() - 8;
  std::string plain(cipherText.size() + 8, '\0');
  for (auto _ : state) {
    unsigned char key[256];  // room for any RSA block of the key
    size_t keyLength = sizeof key;
    PkeyCtx rsa(EVP_PKEY_CTX_new(merchant.get(), nullptr));
    EVP_PKEY_decrypt_init(rsa.get());
    EVP_PKEY_CTX_set_rsa_padding(rsa.get(), RSA_PKCS1_PADDING);
    EVP_PKEY_decrypt(rsa.get(), key, &keyLength, Bytes(rsaBlockAndIv), rsaSize);
    CipherCtx cipher(EVP_CIPHER_CTX_new());
    auto* out = reinterpret_cast<unsigned char*>(plain.data());
    int written = 0, last = 0;
    EVP_DecryptInit_ex(cipher.get(), EVP_des_ede3_cbc(), nullptr, key,
                       Bytes(rsaBlockAndIv) + rsaSize);
    EVP_DecryptUpdate(cipher.get(), out, &written, Bytes(cipherText),
                      static_cast<int>(cipherText.size()));
    if (EVP_DecryptFinal_ex(cipher.get(), out + written, &last) != 1)
      state.SkipWithError("bare opening failed");
  }
}

BENCHMARK(Sign_Ours);
BENCHMARK(Sign_Bare);
BENCHMARK(Verify_Ours);
BENCHMARK(Verify_Bare);
BENCHMARK(Seal_Ours);
BENCHMARK(Seal_Bare);
BENCHMARK(Open_Ours);
BENCHMARK(Open_Bare);

// Keeps each benchmark's CPU time per operation (the median when repeated) to print the ratios
// after the usual table. CPU time, since the operations are single-threaded and CPU-bound:
// it stays steady when other work shares the machine.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const std::string& name = run.run_name.function_name;
      if (run.run_type == Run::RT_Iteration)
        times_[name].push_back(run.GetAdjustedCPUTime());
      else if (run.aggregate_name == "median")
        medians_[name] = run.GetAdjustedCPUTime();
    }
  }

  void PrintRatios() {
    std::printf("\nours / bare OpenSSL, CPU time per operation:\n");
    for (const char* operation : {"Sign", "Verify", "Seal", "Open"}) {
      const double ours = Median(std::string(operation) + "_Ours");
      const double bare = Median(std::string(operation) + "_Bare");
      if (ours > 0 && bare > 0) std::printf("  %-6s %.2f\n", operation, ours / bare);
    }
  }

 private:
  double Median(const std::string& name) {
    if (const auto it = medians_.find(name); it != medians_.end()) return it->second;
    std::vector<double>& times = times_[name];
    if (times.empty()) return 0;
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
  }

  std::map<std::string, std::vector<double>> times_;
  std::map<std::string, double> medians_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  TheKeys();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
}
