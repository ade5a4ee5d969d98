// The primitives of message security, checked against published known answers and against
// the openssl command line wherever it can give an independent answer.
#include "security.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <memory>
#include <vector>

#include "key_directory.h"

namespace orv {
namespace {

using test::KeyDirectory;
using test::ReadFile;
using test::RunOpenssl;
using test::TempDirectory;
using test::WriteFile;

std::string Hex(std::string_view bytes) {
  std::string hex;
  char two[3];
  for (unsigned char byte : bytes) {
    std::snprintf(two, sizeof two, "%02x", byte);
    hex += two;
  }
  return hex;
}

std::vector<size_t> LineLengths(std::string_view text) {
  std::vector<size_t> lengths;
  for (size_t start = 0, end; start < text.size(); start = end + 1) {
    end = text.find('\n', start);
    if (end == text.npos) return {};  // an unterminated last line
    lengths.push_back(end - start);
  }
  return lengths;
}

// What OpenSSL's streaming encoder writes: the form the gateway expects.
std::string StreamingBase64(std::string_view bytes) {
  std::unique_ptr<EVP_ENCODE_CTX, OpenSslFree<EVP_ENCODE_CTX_free>> ctx(EVP_ENCODE_CTX_new());
  std::string text(bytes.size() * 2 + 80, '\0');
  auto* out = reinterpret_cast<unsigned char*>(text.data());
  int written = 0, last = 0;
  EVP_EncodeInit(ctx.get());
  EVP_EncodeUpdate(ctx.get(), out, &written, reinterpret_cast<const unsigned char*>(bytes.data()),
                   static_cast<int>(bytes.size()));
  EVP_EncodeFinal(ctx.get(), out + written, &last);
  text.resize(static_cast<size_t>(written + last));
  return text;
}

std::string Hex(const Sha0Digest& digest) {
  return Hex(std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
}

// DER DigestInfo: SEQUENCE { SEQUENCE { OID 1.3.14.3.2.18, NULL }, OCTET STRING digest }.
std::string Sha0DigestInfo(std::string_view text) {
  const Sha0Digest digest = Sha0(text);
  return std::string("\x30\x21\x30\x09\x06\x05\x2b\x0e\x03\x02\x12\x05\x00\x04\x14", 15) +
         std::string(digest.begin(), digest.end());
}

TEST(Sha0, KnownAnswers) {
  EXPECT_EQ(Hex(Sha0("abc")), "0164b8a914cd2a5e74c4f7ff082c4d97f1edf880");
  // 56 bytes: the padding needs a second block.
  EXPECT_EQ(Hex(Sha0("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
            "d2516ee1acfa5baf33dfc1c471e438449ef134c8");
  EXPECT_EQ(Hex(Sha0(std::string(1'000'000, 'a'))), "3232affa48628a26653b5aaa44541fd90d690603");
  EXPECT_EQ(Hex(Sha0("")), "f96cea198ad1dd5617ac084a3d92c6107708c0ef");
}

TEST(Base64, WritesLinesOf64EachEndedByLf) {
  for (size_t size : {0, 1, 2, 3, 47, 48, 49, 96, 128, 136, 1000}) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + 3);
    const std::string text = Base64Encode(bytes);
    EXPECT_EQ(text, StreamingBase64(bytes)) << size;
    std::string decoded;
    if (size > 0) {
      EXPECT_EQ(Base64Decode(text, decoded), 1);
      EXPECT_EQ(decoded, bytes);
    }
  }
  EXPECT_EQ(LineLengths(Base64Encode(std::string(128, 'x'))), (std::vector<size_t>{64, 64, 44}));
  EXPECT_EQ(Base64Encode("12345678"), "MTIzNDU2Nzg=\n");
}

TEST(Base64, DecodeFailures) {
  struct Case {
    std::string_view text;
    int code;
  };
  const Case cases[] = {
      {"", kBase64Empty},
      {"\n", kBase64Empty},
      {"QUJD\r\nREVG\n", 1},  // line breaks, CR included, are skipped
      {"QU@D", kBase64UpdateFailed},
      {"QUJ", kBase64FinalFailed},  // a group cut short
  };
  for (const Case& c : cases) {
    std::string bytes = "untouched";
    EXPECT_EQ(Base64Decode(c.text, bytes), c.code) << c.text;
    if (c.code != 1) {
      EXPECT_EQ(bytes, "untouched");
    }
  }
}

class SealTest : public testing::Test {
 protected:
  EvpPkeyPtr gatewayPublic = KeyDirectory::GatewayPublicKey();
  EvpPkeyPtr gatewayPrivate = KeyDirectory::GatewayPrivateKey();
};

TEST_F(SealTest, RoundTripsWithTheShapesTheGatewayExpects) {
  std::string sessionKey, encrypted, plain;
  ASSERT_EQ(SealRequestData(gatewayPublic.get(), "12345678", sessionKey, encrypted), 1);
  // 128 bytes of RSA block and 8 of IV.
  EXPECT_EQ(LineLengths(sessionKey), (std::vector<size_t>{64, 64, 56}));
  EXPECT_EQ(sessionKey.size(), 187u);  // line breaks included
  // 8 bytes seal to two blocks, the second all padding.
  EXPECT_EQ(LineLengths(encrypted), (std::vector<size_t>{24}));
  EXPECT_EQ(encrypted.substr(22), "==\n");
  ASSERT_EQ(OpenSealedReply(gatewayPrivate.get(), sessionKey, encrypted, plain), 1);
  EXPECT_EQ(plain, "12345678");

  // Every seal draws a fresh session key.
  std::string sessionKey2, encrypted2;
  ASSERT_EQ(SealRequestData(gatewayPublic.get(), "12345678", sessionKey2, encrypted2), 1);
  EXPECT_NE(sessionKey2, sessionKey);
  EXPECT_NE(encrypted2, encrypted);
}

TEST_F(SealTest, RefusesWhatItCannotSeal) {
  struct Case {
    std::string plain;
    bool withKey;
    int code;
  };
  const Case cases[] = {
      {std::string(kMaxPlainBlock, 'p'), true, 1},
      {std::string(kMaxPlainBlock + 1, 'p'), true, kSealUpdateFailed},
      {"", true, kSealEmpty},
      {"plain", false, kSealKeyFailed},
  };
  for (const Case& c : cases) {
    std::string sessionKey = "old", encrypted = "old";
    EXPECT_EQ(
        SealRequestData(c.withKey ? gatewayPublic.get() : nullptr, c.plain, sessionKey, encrypted),
        c.code)
        << c.plain.size();
    if (c.code == 1) {
      // The largest block fits the gateway's buffers: 1,504 bytes, 2,047 characters.
      std::string ciphertext;
      ASSERT_EQ(Base64Decode(encrypted, ciphertext), 1);
      EXPECT_EQ(ciphertext.size(), kMaxPlainBlock + 1);
      EXPECT_LE(encrypted.size(), 2047u);
    } else {
      EXPECT_EQ(sessionKey, "old");
      EXPECT_EQ(encrypted, "old");
    }
  }
}

TEST_F(SealTest, OpeningFailures) {
  std::string sessionKey, encrypted, longEncrypted, unused;
  ASSERT_EQ(SealRequestData(gatewayPublic.get(), "reply text", sessionKey, encrypted), 1);
  ASSERT_EQ(SealRequestData(gatewayPublic.get(), std::string(1024, 'r'), unused, longEncrypted), 1);
  std::string rsaBlockAndIv;
  ASSERT_EQ(Base64Decode(sessionKey, rsaBlockAndIv), 1);
  std::string ciphertext;
  ASSERT_EQ(Base64Decode(encrypted, ciphertext), 1);
  const EvpPkeyPtr otherKey(EVP_RSA_gen(1024));

  struct Case {
    const char* what;
    EVP_PKEY* key;
    std::string sessionKey, encrypted;
    int code;
  };
  const Case cases[] = {
      {"no SessionKey item", gatewayPrivate.get(), "", encrypted, kBase64Empty},
      {"no Encrypted item", gatewayPrivate.get(), sessionKey, "", kBase64Empty},
      {"malformed session key", gatewayPrivate.get(), "Q@==", encrypted, kBase64UpdateFailed},
      {"sealed for another key", otherKey.get(), sessionKey, encrypted, kOpenKeyFailed},
      {"no key", nullptr, sessionKey, encrypted, kOpenKeyFailed},
      {"IV only", gatewayPrivate.get(), Base64Encode("12345678"), encrypted, kOpenKeyFailed},
      {"session key item over 136 bytes", gatewayPrivate.get(), Base64Encode(rsaBlockAndIv + "x"),
       encrypted, kOpenKeyFailed},
      {"Encrypted item over 1024 bytes", gatewayPrivate.get(), sessionKey, longEncrypted,
       kOpenUpdateFailed},
      {"ciphertext not whole blocks", gatewayPrivate.get(), sessionKey,
       Base64Encode(ciphertext.substr(0, ciphertext.size() - 1)), kOpenFinalFailed},
  };
  for (const Case& c : cases) {
    std::string plain = "untouched";
    EXPECT_EQ(OpenSealedReply(c.key, c.sessionKey, c.encrypted, plain), c.code) << c.what;
    EXPECT_EQ(plain, "untouched") << c.what;
  }
}

TEST_F(SealTest, OpensTheLongestReplyAndEndsTheTextAtItsFirstNul) {
  for (const std::string& text :
       {std::string(kMaxReplyEncrypted - 1, 'r'), std::string("before\0after", 12)}) {
    std::string sessionKey, encrypted, plain;
    ASSERT_EQ(SealRequestData(gatewayPublic.get(), text, sessionKey, encrypted), 1);
    ASSERT_EQ(OpenSealedReply(gatewayPrivate.get(), sessionKey, encrypted, plain), 1);
    EXPECT_EQ(plain, text.substr(0, text.find('\0')));
  }
}

class SignatureTest : public testing::Test {
 protected:
  void SetUp() override {
    keys.AddMerchant(mid, "phrase");
    TransactionFields fields = keys.Fields(mid, "phrase");
    ASSERT_EQ(LoadMerchantKey(fields, merchantKey), 1);
  }
  std::string Path(const std::string& name) const { return "'" + keys.path() + name + "'"; }

  KeyDirectory keys;
  const std::string mid = test::UniqueMerchantId("signer");
  EvpPkeyPtr merchantKey;
  EvpPkeyPtr gatewayPublic = KeyDirectory::GatewayPublicKey();
};

TEST_F(SignatureTest, OpensslRecoversTheSha0DigestInfoOfEveryByte) {
  const std::string text("MID: shop\r\nPrice: 1000\r\n\0\xb0\xa1 end\r\n", 31);
  std::string signatureText, signature, output;
  ASSERT_EQ(SignText(merchantKey.get(), text, signatureText), 1);
  EXPECT_EQ(LineLengths(signatureText), (std::vector<size_t>{64, 64, 44}));
  ASSERT_EQ(Base64Decode(signatureText, signature), 1);
  WriteFile(keys.path() + "signature", signature);
  ASSERT_TRUE(RunOpenssl("pkeyutl -verifyrecover -pubin -inkey " +
                             Path("gateway/" + mid + "/mpub.pem") + " -pkeyopt " +
                             "rsa_padding_mode:pkcs1 -in " + Path("signature") + " -out " +
                             Path("recovered"),
                         output))
      << output;
  EXPECT_EQ(Hex(ReadFile(keys.path() + "recovered")), Hex(Sha0DigestInfo(text)));
}

TEST_F(SignatureTest, VerifiesWhatOpensslSignedUpToTheFirstTail) {
  const std::string signedPart = "ResultCode: 00\r\nResultMsg: OK\r\n";
  std::string output;
  WriteFile(keys.path() + "digestinfo", Sha0DigestInfo(signedPart));
  ASSERT_TRUE(RunOpenssl("pkeyutl -sign -inkey " + Path("gateway/pgpriv.pem") +
                             " -pkeyopt rsa_padding_mode:pkcs1 -in " + Path("digestinfo") +
                             " -out " + Path("signature"),
                         output))
      << output;
  const std::string signatureText = Base64Encode(ReadFile(keys.path() + "signature"));
  const std::string reply = signedPart + "Tail: " + signatureText + "\r\nAfter: Tail\r\n";

  struct Case {
    const char* what;
    EVP_PKEY* key;
    std::string reply, signature;
    int code;
  };
  const Case cases[] = {
      {"as signed", gatewayPublic.get(), reply, signatureText, 1},
      {"changed after the Tail", gatewayPublic.get(), reply + "X: 1\r\n", signatureText, 1},
      {"changed before the Tail", gatewayPublic.get(), "R" + reply, signatureText, kVerifyFailed},
      {"no Tail", gatewayPublic.get(), signedPart, signatureText, kVerifyFailed},
      {"other key", merchantKey.get(), reply, signatureText, kVerifyFailed},
      {"no key", nullptr, reply, signatureText, kVerifyFailed},
      {"no signature", gatewayPublic.get(), reply, "", kVerifyFailed},
      {"malformed signature", gatewayPublic.get(), reply, "@@@@", kVerifyFailed},
  };
  for (const Case& c : cases)
    EXPECT_EQ(VerifyReplySignature(c.key, c.reply, c.signature), c.code) << c.what;
}

TEST_F(SignatureTest, SignsAndVerifiesItsOwnSignatures) {
  const std::string request = "Version: 4.1\r\nPrice: 1000\r\n";
  std::string signatureText = "untouched";
  EXPECT_EQ(SignText(nullptr, request, signatureText), kSignFailed);
  EXPECT_EQ(signatureText, "untouched");
  ASSERT_EQ(SignText(merchantKey.get(), request, signatureText), 1);
  const EvpPkeyPtr merchantPublic = keys.MerchantPublicKey(mid);
  EXPECT_EQ(VerifyReplySignature(merchantPublic.get(), request + "Tail: x", signatureText), 1);
}

TEST(EscrowCipher, MatchesOpensslRc4UnderTheFixedKey) {
  TempDirectory dir;
  const std::string longest(kMaxEscrowText, 'e');
  for (const std::string& text : {std::string("escrow notice \xb0\xa1"), longest}) {
    WriteFile(dir.path() + "plain", text);
    std::string expected, encrypted;
    ASSERT_TRUE(
        RunOpenssl("enc -rc4 -K 504c554d564154395f514944585a594a -a -provider legacy "
                   "-provider default -in '" +
                       dir.path() + "plain'",
                   expected))
        << expected;
    ASSERT_EQ(EncryptEscrowText(text, encrypted), 1);
    EXPECT_EQ(encrypted, expected);
  }
  std::string encrypted;
  ASSERT_EQ(EncryptEscrowText(longest, encrypted), 1);
  EXPECT_LE(encrypted.size(), 4095u);
}

TEST(EscrowCipher, EndsTheTextAtItsFirstNulAndRefusesOversizedText) {
  std::string whole, cut;
  ASSERT_EQ(EncryptEscrowText("abc", whole), 1);
  ASSERT_EQ(EncryptEscrowText(std::string("abc\0def", 7), cut), 1);
  EXPECT_EQ(cut, whole);
  std::string encrypted = "untouched";
  EXPECT_EQ(EncryptEscrowText(std::string(kMaxEscrowText + 1, 'e'), encrypted), kSealUpdateFailed);
  EXPECT_EQ(encrypted, "untouched");
}

}  // namespace
}  // namespace orv
