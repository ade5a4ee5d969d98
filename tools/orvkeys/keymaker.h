// Makes the key files of the payment module and the matching keys of the test gateway, below
// one output directory:
//
//   key/pgcert.pem          gateway certificate: self-signed X.509, RSA 1024 bits   (module)
//   gateway/pgpriv.pem      gateway private key, PKCS #8 PEM, not encrypted   (test gateway)
//   key/<mid>/keypass.enc   one Base64 line + LF: Triple-DES-EDE-CBC of the password text,
//                           keyed by EVP_BytesToKey(MD5, no salt, count 1) of the key phrase,
//                           IV "Qorvath "                                           (module)
//   key/<mid>/mpriv.pem     merchant private key, RSA 1024 bits, traditional PEM
//                           ("BEGIN RSA PRIVATE KEY") encrypted with DES-EDE3-CBC under the
//                           first 4 characters of the password text                (module)
//   gateway/<mid>/mpub.pem  merchant public key, SubjectPublicKeyInfo PEM    (test gateway)
//
// Private key files are made readable by their owner only. Existing files are replaced.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace orvkeys {

// Each Make function returns true, or false with the reason in `error`.
bool MakeGatewayKeys(const std::filesystem::path& directory, std::string& error);

// A fresh key pair and a random 4-character password for the merchant.
bool MakeMerchantKeys(const std::filesystem::path& directory, std::string_view mid,
                      std::string_view keyPhrase, std::string& error);

// As above with a chosen password text, of which the first 4 characters lock mpriv.pem (the
// module reads no more); any length serves to show that.
bool MakeMerchantKeys(const std::filesystem::path& directory, std::string_view mid,
                      std::string_view keyPhrase, std::string_view passwordText,
                      std::string& error);

// The content of keypass.enc for a password text and key phrase.
std::string SealKeyPassword(std::string_view keyPhrase, std::string_view passwordText);

}  // namespace orvkeys
