// Message security of the payment module: the key files, sealing of request data, request
// signatures, reply checking and opening, and the escrow cipher.
//
// Every operation returns an int: 1 for success, otherwise one of the failure codes below.
// Outputs are written only on success. Texts are byte strings.
//
// Thread-safety: every function may be called from any thread. The gateway key and the
// merchant key cache are process-wide, loaded once and never released; EVP_PKEY values handed
// out here may be used by several threads at once for signing, verifying and opening.
#pragma once

#include <openssl/types.h>

#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "fields.h"

namespace orv {

// Failure codes.
inline constexpr int kBase64UpdateFailed = 9101;
inline constexpr int kBase64FinalFailed = 9102;
inline constexpr int kBase64Empty = 9103;
inline constexpr int kKeyDerivationFailed = 9104;
inline constexpr int kKeyPasswordOpenFailed = 9105;  // also: a merchant ID unfit for a path
inline constexpr int kKeyPasswordReadFailed = 9106;
inline constexpr int kKeyPasswordInitFailed = 9107;
inline constexpr int kKeyPasswordUpdateFailed = 9108;
inline constexpr int kKeyPasswordFinalFailed = 9109;  // wrong key phrase or damaged file
inline constexpr int kSealRandomFailed = 9110;
inline constexpr int kSealInitFailed = 9111;
inline constexpr int kSealUpdateFailed = 9112;  // also: plain or escrow text over its limit
inline constexpr int kSealFinalFailed = 9113;
inline constexpr int kSealKeyFailed = 9114;
inline constexpr int kOpenKeyFailed = 9115;  // also: a session key item of the wrong size
inline constexpr int kSealEmpty = 9116;      // nothing to seal: the request must not go out
inline constexpr int kOpenInitFailed = 9117;
inline constexpr int kOpenUpdateFailed = 9118;  // also: an Encrypted item over its limit
inline constexpr int kOpenFinalFailed = 9119;
inline constexpr int kSignFailed = 9120;
inline constexpr int kVerifyFailed = 9121;
inline constexpr int kGatewayCertOpenFailed = 9231;
inline constexpr int kGatewayCertMissing = 9232;
inline constexpr int kGatewayKeyMissing = 9233;
inline constexpr int kMerchantKeyOpenFailed = 9301;
inline constexpr int kMerchantKeyMissing = 9302;

// Limits of the protocol's working buffers, in bytes.
inline constexpr size_t kMaxPlainBlock = 1503;
inline constexpr size_t kMaxEscrowText = 3024;
inline constexpr size_t kMaxReplyEncrypted = 1024;  // decoded Encrypted item
inline constexpr size_t kMaxReplySessionKey = 136;  // decoded SessionKey item: RSA block + IV

// An owned reference to an OpenSSL key (the type of fields.merchantKey).
using EvpPkeyPtr = std::unique_ptr<EVP_PKEY, EvpPkeyFree>;

// Frees an OpenSSL object with its own function: std::unique_ptr<BIO, OpenSslFree<BIO_free>>.
template <auto Free>
struct OpenSslFree {
  template <class T>
  void operator()(T* object) const {
    Free(object);
  }
};

// OpenSSL leaves the reasons of a failure on the calling thread's error queue, where the next
// user of the library on that thread (the host's TLS code, say) would take them for its own.
// Every operation here drops what it added, whatever the outcome.
class ErrorQueueMark {
 public:
  ErrorQueueMark();
  ~ErrorQueueMark();
  ErrorQueueMark(const ErrorQueueMark&) = delete;
  ErrorQueueMark& operator=(const ErrorQueueMark&) = delete;
};

// ---- Primitives ----

// Standard Base64 in lines of 64 characters, each line (the last too) ended by LF.
std::string Base64Encode(std::string_view bytes);
// Skips line breaks. 9101/9102 on malformed text, 9103 when it decodes to nothing.
int Base64Decode(std::string_view text, std::string& bytes);

// The SHA digest of this protocol: the 1993 Secure Hash Algorithm (SHA-0), not SHA-1.
using Sha0Digest = std::array<unsigned char, 20>;
Sha0Digest Sha0(std::string_view bytes);

// The private-key password (at most 4 characters) from a key password file, unlocked with the
// merchant's key phrase (the `admin` field). 9101-9109.
int ReadKeyPassword(const std::string& path, std::string_view keyPhrase, std::string& password);

// Seals `plain` under a fresh Triple-DES session key, itself RSA-encrypted for `gatewayKey`.
// 9110-9114, 9116 for an empty text, 9112 for one over kMaxPlainBlock.
int SealRequestData(EVP_PKEY* gatewayKey, std::string_view plain, std::string& sessionKeyText,
                    std::string& encryptedText);

// Opens what the gateway sealed for this merchant; the text ends at its first NUL.
// 9101-9103, 9115, 9117-9119.
int OpenSealedReply(EVP_PKEY* merchantKey, std::string_view sessionKeyText,
                    std::string_view encryptedText, std::string& plain);

// RSA PKCS #1 v1.5 signature over the SHA-0 digest of every byte of `text`. 9120.
int SignText(EVP_PKEY* merchantKey, std::string_view text, std::string& signatureText);

// Checks the signature of `reply`, whose signed part ends before the first "Tail" (and is
// empty when there is none). 1, or 9121 for anything that does not verify.
int VerifyReplySignature(EVP_PKEY* gatewayKey, std::string_view reply,
                         std::string_view signatureText);

// Checks a signature made by SignText over every byte of `signedData` against the signer's
// public key. 1, or 9121. The gateway's side of a request signature, which must not stop at a
// "Tail" that a field value happens to contain.
int VerifySignature(EVP_PKEY* publicKey, std::string_view signedData,
                    std::string_view signatureText);

// RC4 under the protocol's fixed key over the bytes of `text` up to its first NUL, as Base64.
// 9112 for a text over kMaxEscrowText; 9111/9113 only when the cipher is unavailable.
int EncryptEscrowText(std::string_view text, std::string& encryptedText);

// ---- Key files ----
// Paths below the module directory, which ends with "/":
//   key/pgcert.pem          the gateway's X.509 certificate (PEM)
//   key/<mid>/keypass.enc   Base64 line of the Triple-DES-CBC encrypted private-key password
//   key/<mid>/mpriv.pem     the merchant's RSA private key (PEM), encrypted under that password

// A merchant ID names a directory below key/: false for one that could climb out of it or cut
// the path short ("/", "\", "..", NUL, or empty).
bool IsSafeMerchantId(std::string_view mid);

// Reads the gateway's public key from a certificate file. 9231-9233.
int ReadGatewayCertificate(const std::string& path, EvpPkeyPtr& gatewayKey);

// ---- Driver steps; each works on one transaction's fields ----

// Loads key/pgcert.pem of fields.moduleDirectory into the process-wide gateway key, once per
// process; a failure leaves it unloaded, so the next transaction tries again. 9231-9233.
int LoadGatewayKey(const TransactionFields& fields);

// The process-wide gateway key; nullptr until LoadGatewayKey succeeds.
EVP_PKEY* GatewayKey();

// Gives fields.merchantKey its own reference to the cached key of fields.mid, loading it on
// the first request for that merchant ID. Concurrent first requests for one merchant load its
// files once; a failed load caches nothing. Returns LoadMerchantKey's code.
int GetMerchantKey(TransactionFields& fields);

// Reads the key files of fields.mid under fields.moduleDirectory, unlocking them with
// fields.admin; touches no cache. A merchant ID that could leave the key directory gives 9105
// before any file is touched. 9101-9109, 9301, 9302.
int LoadMerchantKey(const TransactionFields& fields, EvpPkeyPtr& merchantKey);

// Seals the plain block for the gateway into fields.sessionkey and fields.encrypted.
int EncryptRequestData(TransactionFields& fields, std::string_view plainBlock);

// fields.encrypted := the escrow cipher text of fields.escrowmsg.
int EncryptEscrowMessage(TransactionFields& fields);

// Signs fields.requestMessage into fields.signature and appends "Tail: " + signature + CR LF
// to the message. 9120 leaves both unchanged.
int SignRequestMessage(TransactionFields& fields);

// Checks fields.replyMessage against its Tail item with the gateway key. 9121.
int CheckReplySignature(const TransactionFields& fields);

// Opens the Encrypted and SessionKey items of fields.replyMessage into fields.decryptedReply.
int DecryptReply(TransactionFields& fields);

}  // namespace orv
