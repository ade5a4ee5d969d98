// Encrypt: the hash key of one Encrypt object and the encryption it gives, free of COM types
// (the COM class converts between BSTR/VARIANT and code page 949 and delegates here).
// Texts are byte strings in code page 949. One object is used by one thread at a time;
// DesEncrypt changes nothing and keeps nothing from one call to the next.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qelo {

class Encrypt {
 public:
  static constexpr std::size_t kMaxHashKeyLength = 40;

  // Keeps the bytes before the first zero byte, at most the first 40.
  void SetHashKey(std::string_view hashKey);
  // Empty until SetHashKey is called.
  const std::string& GetHashKey() const { return hashKey_; }

  // The DES-ECB encryption with PKCS #5 padding of the message bytes before its first zero
  // byte, as one line of Base64 text of any length. The key is the hash key read as pairs of
  // hexadecimal digits (either case; the whole text must be such pairs), up to the first zero
  // byte and at most 8 bytes, and must come to 8 bytes that are no weak DES key. nullopt when
  // the key is not usable.
  std::optional<std::string> DesEncrypt(std::string_view message) const;

 private:
  std::string hashKey_;
};

}  // namespace qelo
