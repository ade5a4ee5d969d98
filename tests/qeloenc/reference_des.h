// DES and Base64 as OpenSSL computes them: the reference the engine is held against.
#pragma once

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace qelo::reference {

using Provider = std::unique_ptr<OSSL_PROVIDER, decltype(&OSSL_PROVIDER_unload)>;

// Single DES lives in the legacy provider; loading a provider by hand turns off the implicit
// default one, so both are loaded. Once per process, unloaded at exit.
inline void LoadProviders() {
  static const Provider legacy(OSSL_PROVIDER_load(nullptr, "legacy"), &OSSL_PROVIDER_unload);
  static const Provider standard(OSSL_PROVIDER_load(nullptr, "default"), &OSSL_PROVIDER_unload);
  if (!legacy || !standard) throw std::runtime_error("OpenSSL legacy provider not available");
}

// `cipher` is "DES-ECB", "DES-CBC", "DES-OFB" or "DES-CFB"; `iv` is ignored by ECB.
inline std::vector<std::uint8_t> Encrypt(const char* cipher, std::span<const std::uint8_t> key,
                                         std::span<const std::uint8_t> iv,
                                         std::span<const std::uint8_t> data, bool padding) {
  LoadProviders();
  const std::unique_ptr<EVP_CIPHER, decltype(&EVP_CIPHER_free)> algorithm(
      EVP_CIPHER_fetch(nullptr, cipher, nullptr), &EVP_CIPHER_free);
  const std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context(
      EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
  if (!algorithm || !context ||
      EVP_EncryptInit_ex2(context.get(), algorithm.get(), key.data(), iv.data(), nullptr) != 1)
    throw std::runtime_error(std::string("cannot set up ") + cipher);
  EVP_CIPHER_CTX_set_padding(context.get(), padding ? 1 : 0);
  std::vector<std::uint8_t> out(data.size() + 8);
  int written = 0;
  int last = 0;
  if (EVP_EncryptUpdate(context.get(), out.data(), &written, data.data(),
                        static_cast<int>(data.size())) != 1 ||
      EVP_EncryptFinal_ex(context.get(), out.data() + written, &last) != 1)
    throw std::runtime_error(std::string("cannot encrypt with ") + cipher);
  out.resize(static_cast<std::size_t>(written + last));
  return out;
}

// Base64 on one line, without line feeds.
inline std::string Base64(std::span<const std::uint8_t> data) {
  std::string text((data.size() + 2) / 3 * 4 + 1, '\0');
  const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), data.data(),
                                     static_cast<int>(data.size()));
  text.resize(static_cast<std::size_t>(length));
  return text;
}

}  // namespace qelo::reference
