#include "key_directory.h"

#include <gtest/gtest.h>
#include <openssl/pem.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "keymaker.h"

namespace orv::test {

namespace fs = std::filesystem;

namespace {

std::string MakeTempDirectory() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/orvpay41-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "mkdtemp failed for " << pattern;
    return {};
  }
  return pattern + "/";
}

// The one gateway key pair of this process's tests, made on first use, removed at exit.
struct SharedGatewayKeys {
  SharedGatewayKeys() {
    std::string error;
    if (!orvkeys::MakeGatewayKeys(directory.path(), error)) ADD_FAILURE() << error;
  }
  TempDirectory directory;
};

const std::string& GatewayKeysPath() {
  static const SharedGatewayKeys keys;
  return keys.directory.path();
}

using Bio = std::unique_ptr<BIO, OpenSslFree<BIO_free>>;

EvpPkeyPtr ReadPemKey(const std::string& path, bool isPublic) {
  const Bio file(BIO_new_file(path.c_str(), "r"));
  if (!file) return nullptr;
  return EvpPkeyPtr(isPublic ? PEM_read_bio_PUBKEY(file.get(), nullptr, nullptr, nullptr)
                             : PEM_read_bio_PrivateKey(file.get(), nullptr, nullptr, nullptr));
}

}  // namespace

TempDirectory::TempDirectory() : path_(MakeTempDirectory()) {}

TempDirectory::~TempDirectory() {
  std::error_code ignored;
  if (!path_.empty()) fs::remove_all(path_, ignored);
}

KeyDirectory::KeyDirectory() : path_(MakeTempDirectory()) {
  const std::string& gateway = GatewayKeysPath();
  fs::create_directories(path_ + "key");
  fs::create_directories(path_ + "gateway");
  fs::copy_file(gateway + "key/pgcert.pem", path_ + "key/pgcert.pem");
  fs::copy_file(gateway + "gateway/pgpriv.pem", path_ + "gateway/pgpriv.pem");
}

KeyDirectory::~KeyDirectory() {
  std::error_code ignored;
  if (!path_.empty()) fs::remove_all(path_, ignored);
}

void KeyDirectory::AddMerchant(const std::string& mid, const std::string& keyPhrase,
                               const std::string& passwordText) {
  std::string error;
  const bool made = passwordText.empty()
                        ? orvkeys::MakeMerchantKeys(path_, mid, keyPhrase, error)
                        : orvkeys::MakeMerchantKeys(path_, mid, keyPhrase, passwordText, error);
  ASSERT_TRUE(made) << error;
}

TransactionFields KeyDirectory::Fields(const std::string& mid, const std::string& admin) const {
  TransactionFields fields;
  fields.moduleDirectory = path_;
  fields.mid = mid;
  fields.admin = admin;
  return fields;
}

EvpPkeyPtr KeyDirectory::MerchantPublicKey(const std::string& mid) const {
  return ReadPemKey(path_ + "gateway/" + mid + "/mpub.pem", true);
}

EvpPkeyPtr KeyDirectory::GatewayPublicKey() {
  EvpPkeyPtr key;
  EXPECT_EQ(ReadGatewayCertificate(GatewayKeysPath() + "key/pgcert.pem", key), 1);
  return key;
}

EvpPkeyPtr KeyDirectory::GatewayPrivateKey() {
  return ReadPemKey(GatewayKeysPath() + "gateway/pgpriv.pem", false);
}

std::string UniqueMerchantId(std::string_view hint) {
  static std::atomic<int> next = 0;
  return std::string(hint) + "_" + std::to_string(next++);
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

void WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(file.good()) << path;
}

bool RunOpenssl(const std::string& arguments, std::string& output) {
  output.clear();
  FILE* pipe = popen(("openssl " + arguments + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return false;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
  const int status = pclose(pipe);
  return status == 0;
}

}  // namespace orv::test
