#include "keymaker.h"

#include <fcntl.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>

#include "security.h"

namespace orvkeys {

namespace {

using orv::EvpPkeyPtr;
using orv::OpenSslFree;
using Bio = std::unique_ptr<BIO, OpenSslFree<BIO_free>>;
using X509Ptr = std::unique_ptr<X509, OpenSslFree<X509_free>>;
using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, OpenSslFree<EVP_CIPHER_CTX_free>>;
namespace fs = std::filesystem;

// The module reads a gateway key of at most 1024 bits (its session key item is 136 bytes);
// the merchant key seals the reply's session key the same way.
constexpr int kKeyBits = 1024;
constexpr int kPasswordSize = 4;
constexpr char kKeyPasswordIv[] = "Qorvath ";
constexpr long kCertificateDays = 3650;

bool Fail(std::string& error, std::string what) {
  const unsigned long code = ERR_get_error();
  if (code != 0) {
    char reason[256];
    ERR_error_string_n(code, reason, sizeof reason);
    what += ": ";
    what += reason;
  }
  ERR_clear_error();
  error = std::move(what);
  return false;
}

std::string Contents(BIO* memory) {
  char* data = nullptr;
  const long size = BIO_get_mem_data(memory, &data);
  return std::string(data, static_cast<size_t>(size));
}

enum class Access { Public, OwnerOnly };

// Written through a descriptor so that a private key is never readable by others, not even
// for a moment.
bool WriteFile(const fs::path& path, std::string_view bytes, Access access, std::string& error) {
  const mode_t mode = access == Access::OwnerOnly ? 0600 : 0644;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) return Fail(error, "cannot create " + path.string() + ": " + std::strerror(errno));
  bool ok = ::fchmod(fd, mode) == 0;
  for (size_t done = 0; ok && done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    ok = n > 0 || (n < 0 && errno == EINTR);
    if (n > 0) done += static_cast<size_t>(n);
  }
  ok = ::close(fd) == 0 && ok;
  return ok || Fail(error, "cannot write " + path.string() + ": " + std::strerror(errno));
}

bool MakeDirectory(const fs::path& path, std::string& error) {
  std::error_code failure;
  fs::create_directories(path, failure);
  return !failure || Fail(error, "cannot create " + path.string() + ": " + failure.message());
}

EvpPkeyPtr NewRsaKey() { return EvpPkeyPtr(EVP_RSA_gen(kKeyBits)); }

X509Ptr SelfSignedCertificate(EVP_PKEY* key) {
  X509Ptr certificate(X509_new());
  if (!certificate) return nullptr;
  X509* x = certificate.get();
  uint64_t serial = 0;
  X509_NAME* name = X509_get_subject_name(x);
  const bool ok =
      X509_set_version(x, X509_VERSION_3) == 1 &&
      RAND_bytes(reinterpret_cast<unsigned char*>(&serial), sizeof serial) == 1 &&
      ASN1_INTEGER_set_uint64(X509_get_serialNumber(x), (serial >> 1) | 1) == 1 &&
      X509_gmtime_adj(X509_getm_notBefore(x), 0) != nullptr &&
      X509_gmtime_adj(X509_getm_notAfter(x), kCertificateDays * 24 * 60 * 60) != nullptr &&
      X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                                 reinterpret_cast<const unsigned char*>("Test"), -1, -1, 0) == 1 &&
      X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                 reinterpret_cast<const unsigned char*>("Test Payment Gateway"), -1,
                                 -1, 0) == 1 &&
      X509_set_issuer_name(x, name) == 1 && X509_set_pubkey(x, key) == 1 &&
      X509_sign(x, key, EVP_sha256()) > 0;
  if (!ok) return nullptr;
  return certificate;
}

std::string RandomPassword() {
  static constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::string password;
  while (password.size() < kPasswordSize) {
    unsigned char byte = 0;
    if (RAND_bytes(&byte, 1) != 1) return {};
    // Bytes beyond the last whole multiple of the alphabet would favour its first letters.
    if (byte < 256 / kAlphabet.size() * kAlphabet.size())
      password += kAlphabet[byte % kAlphabet.size()];
  }
  return password;
}

}  // namespace

std::string SealKeyPassword(std::string_view keyPhrase, std::string_view passwordText) {
  unsigned char key[EVP_MAX_KEY_LENGTH];
  if (EVP_BytesToKey(EVP_des_ede3_cbc(), EVP_md5(), nullptr,
                     reinterpret_cast<const unsigned char*>(keyPhrase.data()),
                     static_cast<int>(keyPhrase.size()), 1, key, nullptr) == 0)
    return {};
  CipherCtx ctx(EVP_CIPHER_CTX_new());
  std::string cipherText(passwordText.size() + 8, '\0');
  auto* out = reinterpret_cast<unsigned char*>(cipherText.data());
  int written = 0, last = 0;
  const bool ok =
      ctx &&
      EVP_EncryptInit_ex2(ctx.get(), EVP_des_ede3_cbc(), key,
                          reinterpret_cast<const unsigned char*>(kKeyPasswordIv), nullptr) == 1 &&
      EVP_EncryptUpdate(ctx.get(), out, &written,
                        reinterpret_cast<const unsigned char*>(passwordText.data()),
                        static_cast<int>(passwordText.size())) == 1 &&
      EVP_EncryptFinal_ex(ctx.get(), out + written, &last) == 1;
  OPENSSL_cleanse(key, sizeof key);
  if (!ok) return {};
  // One line, however long: the module reads the first line only.
  std::string line(cipherText.size() / 3 * 4 + 5, '\0');
  const int chars =
      EVP_EncodeBlock(reinterpret_cast<unsigned char*>(line.data()), out, written + last);
  line.resize(static_cast<size_t>(chars));
  return line + "\n";
}

bool MakeGatewayKeys(const fs::path& directory, std::string& error) {
  const EvpPkeyPtr key = NewRsaKey();
  if (!key) return Fail(error, "cannot make the gateway key");
  const X509Ptr certificate = SelfSignedCertificate(key.get());
  if (!certificate) return Fail(error, "cannot make the gateway certificate");
  const Bio certificatePem(BIO_new(BIO_s_mem()));
  const Bio keyPem(BIO_new(BIO_s_mem()));
  if (!certificatePem || !keyPem ||
      PEM_write_bio_X509(certificatePem.get(), certificate.get()) != 1 ||
      PEM_write_bio_PrivateKey(keyPem.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
    return Fail(error, "cannot write the gateway keys as PEM");
  return MakeDirectory(directory / "key", error) && MakeDirectory(directory / "gateway", error) &&
         WriteFile(directory / "key" / "pgcert.pem", Contents(certificatePem.get()), Access::Public,
                   error) &&
         WriteFile(directory / "gateway" / "pgpriv.pem", Contents(keyPem.get()), Access::OwnerOnly,
                   error);
}

bool MakeMerchantKeys(const fs::path& directory, std::string_view mid, std::string_view keyPhrase,
                      std::string& error) {
  const std::string password = RandomPassword();
  if (password.empty()) return Fail(error, "no random bytes for the password");
  return MakeMerchantKeys(directory, mid, keyPhrase, password, error);
}

bool MakeMerchantKeys(const fs::path& directory, std::string_view mid, std::string_view keyPhrase,
                      std::string_view passwordText, std::string& error) {
  if (!orv::IsSafeMerchantId(mid)) return Fail(error, "unusable merchant ID");
  const std::string_view password = passwordText.substr(0, kPasswordSize);
  const EvpPkeyPtr key = NewRsaKey();
  if (!key) return Fail(error, "cannot make the merchant key");
  const Bio privatePem(BIO_new(BIO_s_mem()));
  const Bio publicPem(BIO_new(BIO_s_mem()));
  if (!privatePem || !publicPem ||
      PEM_write_bio_PrivateKey_traditional(privatePem.get(), key.get(), EVP_des_ede3_cbc(),
                                           reinterpret_cast<const unsigned char*>(password.data()),
                                           static_cast<int>(password.size()), nullptr,
                                           nullptr) != 1 ||
      PEM_write_bio_PUBKEY(publicPem.get(), key.get()) != 1)
    return Fail(error, "cannot write the merchant keys as PEM");
  const std::string keyPassword = SealKeyPassword(keyPhrase, passwordText);
  if (keyPassword.empty()) return Fail(error, "cannot seal the key password");

  const fs::path keys = directory / "key" / mid;
  const fs::path gateway = directory / "gateway" / mid;
  return MakeDirectory(keys, error) && MakeDirectory(gateway, error) &&
         WriteFile(keys / "keypass.enc", keyPassword, Access::OwnerOnly, error) &&
         WriteFile(keys / "mpriv.pem", Contents(privatePem.get()), Access::OwnerOnly, error) &&
         WriteFile(gateway / "mpub.pem", Contents(publicPem.get()), Access::Public, error);
}

}  // namespace orvkeys
