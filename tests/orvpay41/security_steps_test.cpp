// The driver's security steps on a transaction's fields, with the gateway's side played by
// the test through the gateway's private key and the merchant's public key.
#include <gtest/gtest.h>

#include "key_directory.h"
#include "security.h"

namespace orv {
namespace {

using test::KeyDirectory;
using test::UniqueMerchantId;

class SecurityStepsTest : public testing::Test {
 protected:
  void SetUp() override {
    keys.AddMerchant(mid, "phrase");
    merchantPublic = keys.MerchantPublicKey(mid);
    ASSERT_EQ(LoadGatewayKey(fields), 1);
    ASSERT_EQ(GetMerchantKey(fields), 1);
  }

  // A reply as the gateway sends it: items, then the Tail line with its signature.
  std::string SignedReply(const std::string& items) const {
    std::string signature;
    EXPECT_EQ(SignText(gatewayPrivate.get(), items, signature), 1);
    return items + "Tail: " + signature + "\r\n";
  }

  KeyDirectory keys;
  const std::string mid = UniqueMerchantId("steps");
  TransactionFields fields = keys.Fields(mid, "phrase");
  EvpPkeyPtr gatewayPrivate = KeyDirectory::GatewayPrivateKey();
  EvpPkeyPtr merchantPublic;
};

TEST_F(SecurityStepsTest, ARequestAndItsReplyTravelSealedAndSigned) {
  const std::string plainBlock = "CardNumber=4111111111111111&CardExpire=0312";
  ASSERT_EQ(EncryptRequestData(fields, plainBlock), 1);
  fields.requestMessage = "Version: 4.1\r\nMID: " + mid + "\r\nSessionKey: " + fields.sessionkey +
                          "\r\nEncrypted: " + fields.encrypted + "\r\n";
  const std::string composed = fields.requestMessage;
  ASSERT_EQ(SignRequestMessage(fields), 1);
  EXPECT_EQ(fields.requestMessage, composed + "Tail: " + fields.signature + "\r\n");

  // The gateway checks the request and opens its sealed data...
  EXPECT_EQ(VerifyReplySignature(merchantPublic.get(), fields.requestMessage, fields.signature), 1);
  std::string opened;
  ASSERT_EQ(OpenSealedReply(gatewayPrivate.get(), fields.sessionkey, fields.encrypted, opened), 1);
  EXPECT_EQ(opened, plainBlock);

  // ...and answers with data sealed for the merchant.
  std::string sessionKey, encrypted;
  ASSERT_EQ(
      SealRequestData(merchantPublic.get(), "ResultCode=00&AuthCode=123456", sessionKey, encrypted),
      1);
  fields.replyMessage = SignedReply("ResultCode: 00\r\nEncrypted: " + encrypted +
                                    "\r\nSessionKey: " + sessionKey + "\r\n");
  EXPECT_EQ(CheckReplySignature(fields), 1);
  ASSERT_EQ(DecryptReply(fields), 1);
  EXPECT_EQ(fields.decryptedReply, "ResultCode=00&AuthCode=123456");
}

TEST_F(SecurityStepsTest, ReplySignatureChecks) {
  const std::string items = "ResultCode: 00\r\nResultMsg: OK\r\n";
  const std::string reply = SignedReply(items);
  const std::string signature = reply.substr(items.size() + 6, reply.size() - items.size() - 8);
  struct Case {
    const char* what;
    std::string reply;
    int code;
  };
  const Case cases[] = {
      {"as signed", reply, 1},
      {"blanks around the signature", items + "Tail: \t" + signature + " \t\r\n", 1},
      {"the Tail line without its CR LF", items + "Tail: " + signature, 1},
      {"an item changed", "ResultCode: 01" + reply.substr(14), kVerifyFailed},
      {"no Tail", items, kVerifyFailed},
      {"an empty Tail", items + "Tail: \r\n", kVerifyFailed},
  };
  for (const Case& c : cases) {
    fields.replyMessage = c.reply;
    EXPECT_EQ(CheckReplySignature(fields), c.code) << c.what;
  }
}

TEST_F(SecurityStepsTest, ReplyOpeningFailuresLeaveTheDecryptedReply) {
  std::string sessionKey, encrypted;
  ASSERT_EQ(SealRequestData(merchantPublic.get(), "secret", sessionKey, encrypted), 1);
  struct Case {
    const char* what;
    std::string reply;
    int code;
  };
  const Case cases[] = {
      {"no SessionKey item", "Encrypted: " + encrypted + "\r\n", kBase64Empty},
      {"no Encrypted item", "SessionKey: " + sessionKey + "\r\n", kBase64Empty},
      {"items swapped", "Encrypted: " + sessionKey + "\r\nSessionKey: " + encrypted + "\r\n",
       kOpenKeyFailed},
  };
  for (const Case& c : cases) {
    fields.replyMessage = c.reply;
    fields.decryptedReply = "earlier";
    EXPECT_EQ(DecryptReply(fields), c.code) << c.what;
    EXPECT_EQ(fields.decryptedReply, "earlier") << c.what;
  }
}

TEST_F(SecurityStepsTest, NothingGoesOutAsIfSealedOrSigned) {
  fields.sessionkey = "script's";
  fields.encrypted = "script's";
  EXPECT_EQ(EncryptRequestData(fields, ""), kSealEmpty);
  EXPECT_EQ(EncryptRequestData(fields, std::string(kMaxPlainBlock + 1, 'p')), kSealUpdateFailed);
  EXPECT_EQ(fields.sessionkey, "script's");
  EXPECT_EQ(fields.encrypted, "script's");

  TransactionFields unsigned_ = keys.Fields(mid, "phrase");  // no merchant key loaded
  unsigned_.requestMessage = "Version: 4.1\r\n";
  EXPECT_EQ(SignRequestMessage(unsigned_), kSignFailed);
  EXPECT_EQ(unsigned_.requestMessage, "Version: 4.1\r\n");
  EXPECT_EQ(unsigned_.signature, "");
}

TEST_F(SecurityStepsTest, EscrowMessages) {
  fields.escrowmsg = "deliver 1 box";
  ASSERT_EQ(EncryptEscrowMessage(fields), 1);
  std::string expected;
  ASSERT_EQ(EncryptEscrowText("deliver 1 box", expected), 1);
  EXPECT_EQ(fields.encrypted, expected);

  fields.escrowmsg.assign(kMaxEscrowText + 1, 'e');
  EXPECT_EQ(EncryptEscrowMessage(fields), kSealUpdateFailed);
  EXPECT_EQ(fields.encrypted, expected);
}

}  // namespace
}  // namespace orv
