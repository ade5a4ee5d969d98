#include "encrypt.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "reference_des.h"

namespace qelo {
namespace {

constexpr std::string_view kHashKey = "0123456789ABCDEF";

std::span<const std::uint8_t> AsBytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Standard DES-ECB with PKCS #5 padding under the key 0123456789ABCDEF, on one Base64 line.
std::string Expected(std::string_view message) {
  const std::uint8_t key[] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  return reference::Base64(reference::Encrypt("DES-ECB", key, {}, AsBytes(message), true));
}

Encrypt WithKey(std::string_view hashKey) {
  Encrypt encrypt;
  encrypt.SetHashKey(hashKey);
  return encrypt;
}

TEST(Encrypt, EqualsStandardDesEcbOnOneBase64Line) {
  const Encrypt encrypt = WithKey(kHashKey);
  std::vector<std::string> messages;
  for (std::size_t n = 0; n <= 40; ++n) messages.push_back(std::string(n, static_cast<char>('a' + n % 26)));
  messages.push_back("가나다 주문번호 12345");
  messages.push_back(std::string(751, 'x'));
  // Longer than the old working area held: encrypted and returned whole.
  messages.push_back(std::string(752, 'y'));
  messages.push_back(std::string(5000, 'z'));
  for (const std::string& message : messages) {
    const std::optional<std::string> result = encrypt.DesEncrypt(message);
    ASSERT_TRUE(result) << message.size();
    EXPECT_EQ(*result, Expected(message)) << message.size();
    EXPECT_EQ(result->size(), (message.size() / 8 * 8 + 8 + 2) / 3 * 4);
  }
}

TEST(Encrypt, ResultLengthsByMessageLength) {
  const Encrypt encrypt = WithKey(kHashKey);
  struct Case {
    std::size_t messageLength, resultLength;
  };
  const Case cases[] = {{0, 12}, {1, 12}, {7, 12}, {8, 24}, {15, 24}, {16, 32}, {23, 32},
                        {751, 1004}};
  for (const Case& c : cases)
    EXPECT_EQ(encrypt.DesEncrypt(std::string(c.messageLength, 'm'))->size(), c.resultLength)
        << c.messageLength;
  // Code page 949 bytes: three Korean syllables are six bytes, one block.
  EXPECT_EQ(encrypt.DesEncrypt("가나다")->size(), 12u);
}

TEST(Encrypt, MessageEndsAtItsFirstZeroByte) {
  const Encrypt encrypt = WithKey(kHashKey);
  EXPECT_EQ(encrypt.DesEncrypt(std::string_view("abc\0def", 7)), Expected("abc"));
}

TEST(Encrypt, HashKeysThatGiveTheSameDesKey) {
  const std::string expected = Expected("same key");
  for (std::string_view hashKey : {"0123456789abcdef", "0123456789aBcDeF", "0123456789ABCDEF00",
                                   "0123456789ABCDEF1122334455667788", "0122446688AACCEE"})
    EXPECT_EQ(WithKey(hashKey).DesEncrypt("same key"), expected) << hashKey;
}

TEST(Encrypt, UnusableHashKeysFail) {
  const std::string_view cases[] = {
      "",                     // no key bytes
      "0123456789ABCDE",      // odd length
      "0123456789ABCD",       // seven bytes
      "0123456789ABCDEG",     // not a digit
      "0123456789ABCDEFgg",   // checked although past the sixteenth digit
      " 0123456789ABCDEF ",   // blanks are not digits
      "0023456789ABCDEF",     // zero byte first: no key bytes
      "0123456700ABCDEF",     // zero byte among the first eight: four key bytes
      "0101010101010101",     // weak
      "0101010101010100",     // the zero byte ends the key before the weak-key test
      "1f1f1f1f0e0e0e0e",     // weak, in lower case
      "FEE0FEE0FEF1FEF1",     // semi-weak
  };
  for (std::string_view hashKey : cases)
    EXPECT_FALSE(WithKey(hashKey).DesEncrypt("text")) << '"' << hashKey << '"';
  EXPECT_TRUE(WithKey("FEFEFEFEFEFEFEFF").DesEncrypt("text"));  // one parity bit off entry 2
}

TEST(Encrypt, HashKeyKeepsAtMostFortyBytes) {
  Encrypt encrypt;
  EXPECT_EQ(encrypt.GetHashKey(), "");
  EXPECT_FALSE(encrypt.DesEncrypt("text"));

  const std::string fortyOne = "0123456789ABCDEF0123456789ABCDEF01234567X";
  encrypt.SetHashKey(fortyOne);
  EXPECT_EQ(encrypt.GetHashKey(), fortyOne.substr(0, 40));
  EXPECT_EQ(encrypt.DesEncrypt("text"), Expected("text"));  // the 41st byte is gone

  encrypt.SetHashKey(std::string_view("0123\0" "4567", 9));
  EXPECT_EQ(encrypt.GetHashKey(), "0123");
  encrypt.SetHashKey("");
  EXPECT_EQ(encrypt.GetHashKey(), "");
}

}  // namespace
}  // namespace qelo
