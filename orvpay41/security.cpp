#include "security.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

namespace orv {

namespace {

using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, OpenSslFree<EVP_CIPHER_CTX_free>>;
using EncodeCtx = std::unique_ptr<EVP_ENCODE_CTX, OpenSslFree<EVP_ENCODE_CTX_free>>;
using PkeyCtx = std::unique_ptr<EVP_PKEY_CTX, OpenSslFree<EVP_PKEY_CTX_free>>;
struct FileClose {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileClose>;

constexpr size_t kBase64LineBytes = 48;  // a line of 64 characters
constexpr size_t kDesKeySize = 24;
constexpr size_t kDesIvSize = 8;
constexpr size_t kKeyPasswordFileBytes = 100;
constexpr size_t kPasswordSize = 4;

// Only the first 8 bytes serve as the IV of the key password file.
constexpr char kKeyPasswordIv[] = "Qorvath Plinx 7";
constexpr char kEscrowKey[] = "PLUMVAT9_QIDXZYJ";

// DER of DigestInfo { AlgorithmIdentifier { 1.3.14.3.2.18 (SHA), NULL }, OCTET STRING (20) },
// followed by the digest itself.
constexpr unsigned char kSha0DigestInfoPrefix[] = {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2b, 0x0e,
                                                   0x03, 0x02, 0x12, 0x05, 0x00, 0x04, 0x14};
using DigestInfo = std::array<unsigned char, sizeof kSha0DigestInfoPrefix + sizeof(Sha0Digest)>;

// The ciphers are fetched once: an implicit fetch on every use costs a provider lookup.
// RC4 lives in OpenSSL's legacy provider; a library context of our own loads it beside the
// default one, so the host process's default context stays as its owner configured it.
// Never released: transactions on other threads may still run while the process exits.
struct Ciphers {
  Ciphers() {
    if (legacyContext != nullptr && OSSL_PROVIDER_load(legacyContext, "default") != nullptr &&
        OSSL_PROVIDER_load(legacyContext, "legacy") != nullptr)
      rc4 = EVP_CIPHER_fetch(legacyContext, "RC4", nullptr);
    tripleDes = EVP_CIPHER_fetch(nullptr, "DES-EDE3-CBC", nullptr);
  }
  OSSL_LIB_CTX* legacyContext = OSSL_LIB_CTX_new();
  EVP_CIPHER* tripleDes = nullptr;
  EVP_CIPHER* rc4 = nullptr;  // nullptr when the legacy provider is missing
};

const Ciphers& FetchedCiphers() {
  static const Ciphers* const ciphers = [] {
    ErrorQueueMark mark;
    return new Ciphers;
  }();
  return *ciphers;
}

// Triple-DES key and IV of one sealed block, wiped when done with.
struct SessionKey {
  SessionKey() = default;
  SessionKey(const SessionKey&) = delete;
  SessionKey& operator=(const SessionKey&) = delete;
  ~SessionKey() { OPENSSL_cleanse(bytes, sizeof bytes); }
  unsigned char* key() { return bytes; }
  unsigned char* iv() { return bytes + kDesKeySize; }
  unsigned char bytes[kDesKeySize + kDesIvSize] = {};
};

struct CipherCodes {
  int init, update, final;
};
constexpr CipherCodes kKeyPasswordCodes = {kKeyPasswordInitFailed, kKeyPasswordUpdateFailed,
                                           kKeyPasswordFinalFailed};
constexpr CipherCodes kSealCodes = {kSealInitFailed, kSealUpdateFailed, kSealFinalFailed};
constexpr CipherCodes kOpenCodes = {kOpenInitFailed, kOpenUpdateFailed, kOpenFinalFailed};

const unsigned char* Bytes(std::string_view text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

unsigned char* Bytes(std::string& text) { return reinterpret_cast<unsigned char*>(text.data()); }

std::string_view UpToNul(std::string_view text) { return text.substr(0, text.find('\0')); }

// One pass of `cipher` over `in`, padded as OpenSSL pads by default.
int RunCipher(const EVP_CIPHER* cipher, bool encrypt, const unsigned char* key,
              const unsigned char* iv, std::string_view in, std::string& out, CipherCodes codes) {
  CipherCtx ctx(EVP_CIPHER_CTX_new());
  if (!ctx || cipher == nullptr ||
      EVP_CipherInit_ex2(ctx.get(), cipher, key, iv, encrypt ? 1 : 0, nullptr) != 1)
    return codes.init;
  if (in.size() > INT_MAX - EVP_MAX_BLOCK_LENGTH) return codes.update;
  std::string result(in.size() + EVP_CIPHER_get_block_size(cipher), '\0');
  int written = 0;
  if (EVP_CipherUpdate(ctx.get(), Bytes(result), &written, Bytes(in),
                       static_cast<int>(in.size())) != 1)
    return codes.update;
  int last = 0;
  if (EVP_CipherFinal_ex(ctx.get(), Bytes(result) + written, &last) != 1) return codes.final;
  result.resize(static_cast<size_t>(written + last));
  out = std::move(result);
  return 1;
}

DigestInfo Sha0DigestInfo(std::string_view text) {
  DigestInfo info;
  const Sha0Digest digest = Sha0(text);
  std::memcpy(info.data(), kSha0DigestInfoPrefix, sizeof kSha0DigestInfoPrefix);
  std::memcpy(info.data() + sizeof kSha0DigestInfoPrefix, digest.data(), digest.size());
  return info;
}

// A context for one RSA operation with PKCS #1 v1.5 padding and no digest of its own: the
// DigestInfo of SHA-0 is built here, since OpenSSL 3 no longer knows the algorithm.
using RsaInit = int (*)(EVP_PKEY_CTX*);
PkeyCtx RsaContext(EVP_PKEY* key, RsaInit init) {
  if (key == nullptr) return nullptr;
  PkeyCtx ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
  if (!ctx || init(ctx.get()) <= 0 ||
      EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0)
    return nullptr;
  return ctx;
}

bool RsaEncrypt(EVP_PKEY* key, const unsigned char* in, size_t size, std::string& out) {
  PkeyCtx ctx = RsaContext(key, EVP_PKEY_encrypt_init);
  size_t length = 0;
  if (!ctx || EVP_PKEY_encrypt(ctx.get(), nullptr, &length, in, size) <= 0) return false;
  out.resize(length);
  if (EVP_PKEY_encrypt(ctx.get(), Bytes(out), &length, in, size) <= 0) return false;
  out.resize(length);
  return true;
}

// Only a block that holds exactly a Triple-DES key is a session key.
bool RsaDecryptSessionKey(EVP_PKEY* key, std::string_view block, SessionKey& session) {
  PkeyCtx ctx = RsaContext(key, EVP_PKEY_decrypt_init);
  size_t length = 0;
  if (!ctx || EVP_PKEY_decrypt(ctx.get(), nullptr, &length, Bytes(block), block.size()) <= 0)
    return false;
  std::string out(length, '\0');
  const bool ok =
      EVP_PKEY_decrypt(ctx.get(), Bytes(out), &length, Bytes(block), block.size()) > 0 &&
      length == kDesKeySize;
  if (ok) std::memcpy(session.key(), out.data(), kDesKeySize);
  OPENSSL_cleanse(out.data(), out.size());
  return ok;
}

// Up to the first 100 bytes of the file, cut at the first line break.
int ReadKeyPasswordLine(const std::string& path, std::string& line) {
  File file(std::fopen(path.c_str(), "rb"));
  if (!file) return kKeyPasswordOpenFailed;
  char buffer[kKeyPasswordFileBytes];
  const size_t read = std::fread(buffer, 1, sizeof buffer, file.get());
  if (std::ferror(file.get())) return kKeyPasswordReadFailed;
  const std::string_view text(buffer, read);
  line = text.substr(0, text.find_first_of("\r\n"));
  return 1;
}

}  // namespace

ErrorQueueMark::ErrorQueueMark() { ERR_set_mark(); }
ErrorQueueMark::~ErrorQueueMark() { ERR_pop_to_mark(); }

std::string Base64Encode(std::string_view bytes) {
  const size_t lines = (bytes.size() + kBase64LineBytes - 1) / kBase64LineBytes;
  const size_t chars = (bytes.size() + 2) / 3 * 4;
  // EVP_EncodeBlock ends what it writes with a NUL, which the next line break overwrites.
  std::string text(chars + lines + 1, '\0');
  size_t at = 0;
  for (size_t done = 0; done < bytes.size(); done += kBase64LineBytes) {
    const size_t take = std::min(kBase64LineBytes, bytes.size() - done);
    at += static_cast<size_t>(
        EVP_EncodeBlock(Bytes(text) + at, Bytes(bytes) + done, static_cast<int>(take)));
    text[at++] = '\n';
  }
  text.resize(at);
  return text;
}

int Base64Decode(std::string_view text, std::string& bytes) {
  if (text.size() > INT_MAX) return kBase64UpdateFailed;
  EncodeCtx ctx(EVP_ENCODE_CTX_new());
  if (!ctx) return kBase64UpdateFailed;
  EVP_DecodeInit(ctx.get());
  std::string out(text.size() / 4 * 3 + 3, '\0');
  int written = 0;
  if (EVP_DecodeUpdate(ctx.get(), Bytes(out), &written, Bytes(text),
                       static_cast<int>(text.size())) < 0)
    return kBase64UpdateFailed;
  int last = 0;
  if (EVP_DecodeFinal(ctx.get(), Bytes(out) + written, &last) < 0) return kBase64FinalFailed;
  out.resize(static_cast<size_t>(written + last));
  if (out.empty()) return kBase64Empty;
  bytes = std::move(out);
  return 1;
}

int ReadKeyPassword(const std::string& path, std::string_view keyPhrase, std::string& password) {
  ErrorQueueMark mark;
  SessionKey derived;  // only its key part: the IV is fixed
  if (keyPhrase.size() > INT_MAX ||
      EVP_BytesToKey(EVP_des_ede3_cbc(), EVP_md5(), nullptr, Bytes(keyPhrase),
                     static_cast<int>(keyPhrase.size()), 1, derived.key(), nullptr) == 0)
    return kKeyDerivationFailed;

  std::string line, cipherText, text;
  int code = ReadKeyPasswordLine(path, line);
  if (code == 1) code = Base64Decode(line, cipherText);
  if (code == 1)
    code = RunCipher(FetchedCiphers().tripleDes, false, derived.key(),
                     reinterpret_cast<const unsigned char*>(kKeyPasswordIv), cipherText, text,
                     kKeyPasswordCodes);
  if (code == 1) password = UpToNul(text).substr(0, kPasswordSize);
  OPENSSL_cleanse(text.data(), text.size());
  return code;
}

int SealRequestData(EVP_PKEY* gatewayKey, std::string_view plain, std::string& sessionKeyText,
                    std::string& encryptedText) {
  if (plain.empty()) return kSealEmpty;
  if (plain.size() > kMaxPlainBlock) return kSealUpdateFailed;
  ErrorQueueMark mark;
  SessionKey session;
  // Key then IV, in one draw. RAND_bytes reports failure as 0 or -1.
  if (RAND_bytes(session.bytes, sizeof session.bytes) != 1) return kSealRandomFailed;
  std::string cipherText;
  const int code = RunCipher(FetchedCiphers().tripleDes, true, session.key(), session.iv(), plain,
                             cipherText, kSealCodes);
  if (code != 1) return code;
  std::string block;
  if (!RsaEncrypt(gatewayKey, session.key(), kDesKeySize, block)) return kSealKeyFailed;
  block.append(reinterpret_cast<const char*>(session.iv()), kDesIvSize);
  sessionKeyText = Base64Encode(block);
  encryptedText = Base64Encode(cipherText);
  return 1;
}

int OpenSealedReply(EVP_PKEY* merchantKey, std::string_view sessionKeyText,
                    std::string_view encryptedText, std::string& plain) {
  ErrorQueueMark mark;
  std::string block;
  int code = Base64Decode(sessionKeyText, block);
  if (code != 1) return code;
  // The RSA block, then the IV in clear.
  if (block.size() <= kDesIvSize || block.size() > kMaxReplySessionKey) return kOpenKeyFailed;
  SessionKey session;
  const std::string_view rsaBlock = std::string_view(block).substr(0, block.size() - kDesIvSize);
  if (!RsaDecryptSessionKey(merchantKey, rsaBlock, session)) return kOpenKeyFailed;
  std::memcpy(session.iv(), block.data() + rsaBlock.size(), kDesIvSize);

  std::string cipherText, text;
  code = Base64Decode(encryptedText, cipherText);
  if (code != 1) return code;
  if (cipherText.size() > kMaxReplyEncrypted) return kOpenUpdateFailed;
  code = RunCipher(FetchedCiphers().tripleDes, false, session.key(), session.iv(), cipherText, text,
                   kOpenCodes);
  if (code != 1) return code;
  plain = UpToNul(text);
  return 1;
}

int SignText(EVP_PKEY* merchantKey, std::string_view text, std::string& signatureText) {
  ErrorQueueMark mark;
  const DigestInfo info = Sha0DigestInfo(text);
  PkeyCtx ctx = RsaContext(merchantKey, EVP_PKEY_sign_init);
  size_t length = 0;
  if (!ctx || EVP_PKEY_sign(ctx.get(), nullptr, &length, info.data(), info.size()) <= 0)
    return kSignFailed;
  std::string signature(length, '\0');
  if (EVP_PKEY_sign(ctx.get(), Bytes(signature), &length, info.data(), info.size()) <= 0)
    return kSignFailed;
  signature.resize(length);
  signatureText = Base64Encode(signature);
  return 1;
}

int VerifyReplySignature(EVP_PKEY* gatewayKey, std::string_view reply,
                         std::string_view signatureText) {
  const size_t tail = reply.find("Tail");
  return VerifySignature(gatewayKey, tail == reply.npos ? "" : reply.substr(0, tail),
                         signatureText);
}

int VerifySignature(EVP_PKEY* publicKey, std::string_view signedData,
                    std::string_view signatureText) {
  std::string signature;
  if (Base64Decode(signatureText, signature) != 1) return kVerifyFailed;
  ErrorQueueMark mark;
  const DigestInfo info = Sha0DigestInfo(signedData);
  PkeyCtx ctx = RsaContext(publicKey, EVP_PKEY_verify_init);
  if (!ctx ||
      EVP_PKEY_verify(ctx.get(), Bytes(signature), signature.size(), info.data(), info.size()) != 1)
    return kVerifyFailed;
  return 1;
}

int EncryptEscrowText(std::string_view text, std::string& encryptedText) {
  const std::string_view message = UpToNul(text);
  if (message.size() > kMaxEscrowText) return kSealUpdateFailed;
  ErrorQueueMark mark;
  std::string cipherText;
  const int code =
      RunCipher(FetchedCiphers().rc4, true, reinterpret_cast<const unsigned char*>(kEscrowKey),
                nullptr, message, cipherText, kSealCodes);
  if (code != 1) return code;
  encryptedText = Base64Encode(cipherText);
  return 1;
}

}  // namespace orv
