#include "encrypt.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "ctr.h"

namespace qelo {

namespace {

std::string_view BeforeZero(std::string_view text) { return text.substr(0, text.find('\0')); }

std::span<const std::uint8_t> AsBytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

struct DesKey {
  std::array<std::uint8_t, 8> bytes{};
  std::size_t length = 0;
};

// Every digit of the hash key is checked, though only the bytes before the first zero byte,
// and at most eight, form the key.
std::optional<DesKey> DesKeyFromHashKey(std::string_view hashKey) {
  if (hashKey.size() % 2 != 0) return std::nullopt;
  DesKey key;
  bool ended = false;
  for (std::size_t i = 0; i < hashKey.size(); i += 2) {
    const int high = HexDigit(hashKey[i]);
    const int low = HexDigit(hashKey[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    const auto byte = static_cast<std::uint8_t>(high << 4 | low);
    if (byte == 0) ended = true;
    if (!ended && key.length < key.bytes.size()) key.bytes[key.length++] = byte;
  }
  return key;
}

}  // namespace

void Encrypt::SetHashKey(std::string_view hashKey) {
  hashKey_ = BeforeZero(hashKey).substr(0, kMaxHashKeyLength);
}

std::optional<std::string> Encrypt::DesEncrypt(std::string_view message) const {
  const std::optional<DesKey> key = DesKeyFromHashKey(hashKey_);
  if (!key) return std::nullopt;
  const std::span<const std::uint8_t> plain = AsBytes(BeforeZero(message));

  CTR_CONTEXT context;
  CTR_Init(CTR_MODE_ECB, CTR_PAD_PKCS5, nullptr, context);
  if (CTR_SetKey(std::span(key->bytes).first(key->length), context) != 0) return std::nullopt;
  CTR_Start(context);
  std::vector<std::uint8_t> cipher(plain.size() / 8 * 8 + 8);
  std::size_t written = 0;
  std::size_t last = 0;
  if (CTR_Update(context, plain, cipher, written) != 0 ||
      CTR_Final(context, std::span(cipher).subspan(written), last) != 0)
    return std::nullopt;
  cipher.resize(written + last);

  CTR_OUTPUT_BUFFER encoded;
  CTR_Base64Encode(encoded, cipher);
  std::erase(encoded.data, '\n');
  return std::move(encoded.data);
}

}  // namespace qelo
