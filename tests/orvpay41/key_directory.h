// Test support for the message security code: module directories with key files made by the
// key maker, merchant IDs that no two tests share, and the openssl command line as an
// independent second opinion.
#pragma once

#include <string>
#include <string_view>

#include "fields.h"
#include "security.h"

namespace orv::test {

// A temporary module directory with key/pgcert.pem and gateway/pgpriv.pem, removed with the
// object. Every KeyDirectory of a process holds the same gateway key pair, so the
// process-wide gateway key fits whichever directory happened to load it first.
class KeyDirectory {
 public:
  KeyDirectory();
  ~KeyDirectory();
  KeyDirectory(const KeyDirectory&) = delete;
  KeyDirectory& operator=(const KeyDirectory&) = delete;

  // Ends with "/", as a module directory does.
  const std::string& path() const { return path_; }
  // key/<mid>/keypass.enc, key/<mid>/mpriv.pem and gateway/<mid>/mpub.pem; with a password
  // text given, its first 4 characters lock mpriv.pem, else a random password does.
  void AddMerchant(const std::string& mid, const std::string& keyPhrase,
                   const std::string& passwordText = "");
  // Fields of a transaction of this module directory.
  TransactionFields Fields(const std::string& mid, const std::string& admin) const;
  EvpPkeyPtr MerchantPublicKey(const std::string& mid) const;

  static EvpPkeyPtr GatewayPublicKey();
  static EvpPkeyPtr GatewayPrivateKey();

 private:
  std::string path_;
};

// A fresh temporary directory (ending with "/"), removed with the object.
class TempDirectory {
 public:
  TempDirectory();
  ~TempDirectory();
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A merchant ID that no other caller in this process gets: the merchant key cache is
// process-wide and keyed by the ID alone.
std::string UniqueMerchantId(std::string_view hint);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, std::string_view bytes);

// Runs `openssl` with the arguments; its output (stdout and stderr) goes to `output`.
// True when it exits with 0.
bool RunOpenssl(const std::string& arguments, std::string& output);

}  // namespace orv::test
