// The key files, each failure produced by a real broken file, and the process-wide caches.
// Every test uses merchant IDs of its own: the merchant key cache is shared by the process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <latch>
#include <optional>
#include <thread>
#include <vector>

#include "key_directory.h"
#include "keymaker.h"
#include "security.h"

namespace orv {
namespace {

namespace fs = std::filesystem;
using test::KeyDirectory;
using test::ReadFile;
using test::RunOpenssl;
using test::TempDirectory;
using test::UniqueMerchantId;
using test::WriteFile;

// Stands in for a key file that may be read only once: a named pipe that hands its content to
// the first reader alone. Any later reader finds nothing to read, or waits for ever for a
// writer, which WaitForThreads notices.
class ReadOnceFile {
 public:
  explicit ReadOnceFile(std::string path) : path_(std::move(path)), content_(ReadFile(path_)) {
    fs::remove(path_);
    EXPECT_EQ(mkfifo(path_.c_str(), 0600), 0) << path_;
  }
  // Waits for the first reader and hands it the content.
  void Serve() const {
    const int fd = open(path_.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0) << path_;
    // Within the pipe's capacity, so the write completes whatever the reader does.
    EXPECT_EQ(write(fd, content_.data(), content_.size()), static_cast<ssize_t>(content_.size()));
    close(fd);
  }
  // Lets readers that wait for a writer go away empty-handed.
  void ReleaseWaitingReaders() const {
    const int fd = open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) close(fd);
  }

 private:
  std::string path_;
  std::string content_;
};

// Waits until `finished` reaches `count`. A thread that read a key file a second time waits
// for its writer for ever: after a generous time (some 30 seconds) such threads are reported
// and let go. (<chrono> itself does not compile with code page 949 literals.)
void WaitForThreads(const std::atomic<int>& finished, int count,
                    const std::vector<const ReadOnceFile*>& files) {
  for (int waits = 0; finished < count && waits < 30'000; ++waits)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(finished, count) << "threads wait to read a key file again";
  while (finished < count) {
    for (const ReadOnceFile* file : files)
      if (file != nullptr) file->ReleaseWaitingReaders();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

std::string KeyPasswordFile(std::string_view keyPhrase, std::string_view passwordText) {
  return orvkeys::SealKeyPassword(keyPhrase, passwordText);
}

TEST(KeyPassword, ReadsWhatOpensslEncrypted) {
  TempDirectory dir;
  WriteFile(dir.path() + "password", "Jdq4");
  std::string output;
  // Key and no IV from the phrase as EVP_BytesToKey makes them; the IV is "Qorvath ".
  ASSERT_TRUE(
      RunOpenssl("enc -des-ede3-cbc -md md5 -nosalt -pass pass:Key-Phrase1 "
                 "-iv 516f727661746820 -a -in '" +
                     dir.path() + "password' -out '" + dir.path() + "keypass.enc'",
                 output))
      << output;
  std::string password;
  EXPECT_EQ(ReadKeyPassword(dir.path() + "keypass.enc", "Key-Phrase1", password), 1);
  EXPECT_EQ(password, "Jdq4");
  EXPECT_EQ(ReadFile(dir.path() + "keypass.enc"), KeyPasswordFile("Key-Phrase1", "Jdq4"));
}

TEST(KeyPassword, LineEndsAndLongTexts) {
  TempDirectory dir;
  const std::string line = KeyPasswordFile("phrase", "abcdefghij");
  ASSERT_EQ(line.back(), '\n');
  const std::string bare = line.substr(0, line.size() - 1);
  for (const std::string& content : {line, bare, bare + "\r\n", bare + "\r", bare + "\nnext"}) {
    WriteFile(dir.path() + "keypass.enc", content);
    std::string password;
    EXPECT_EQ(ReadKeyPassword(dir.path() + "keypass.enc", "phrase", password), 1);
    EXPECT_EQ(password, "abcd");  // the first 4 characters of the 10
  }
  WriteFile(dir.path() + "keypass.enc", KeyPasswordFile("phrase", "ab"));
  std::string password;
  EXPECT_EQ(ReadKeyPassword(dir.path() + "keypass.enc", "phrase", password), 1);
  EXPECT_EQ(password, "ab");
}

TEST(KeyPassword, EachBrokenFileHasItsCode) {
  TempDirectory dir;
  const std::string path = dir.path() + "keypass.enc";
  struct Case {
    const char* what;
    std::optional<std::string> content;  // nullopt: a directory in place of the file
    std::string phrase;
    int code;
  };
  const Case cases[] = {
      {"right phrase", KeyPasswordFile("right phrase", "Jdq4"), "right phrase", 1},
      {"wrong phrase", KeyPasswordFile("right phrase", "Jdq4"), "wrong phrase",
       kKeyPasswordFinalFailed},
      {"damaged", KeyPasswordFile("right phrase", "Jdq4").substr(4), "right phrase",
       kKeyPasswordFinalFailed},
      {"empty", "", "right phrase", kBase64Empty},
      {"not Base64", "@@@@\n", "right phrase", kBase64UpdateFailed},
      {"a group cut short", "QUJ\n", "right phrase", kBase64FinalFailed},
      {"a directory", std::nullopt, "right phrase", kKeyPasswordReadFailed},
  };
  for (const Case& c : cases) {
    fs::remove_all(path);
    if (c.content)
      WriteFile(path, *c.content);
    else
      fs::create_directory(path);
    std::string password = "untouched";
    EXPECT_EQ(ReadKeyPassword(path, c.phrase, password), c.code) << c.what;
    if (c.code != 1) {
      EXPECT_EQ(password, "untouched") << c.what;
    }
  }
  fs::remove_all(path);
  std::string password;
  EXPECT_EQ(ReadKeyPassword(path, "right phrase", password), kKeyPasswordOpenFailed);
}

// A copy of the gateway certificate whose public key names an algorithm nobody knows
// (1.2.840.113549.1.1.127 in place of rsaEncryption): it parses, but yields no key.
std::string CertificateWithUnknownKeyAlgorithm(const std::string& pem) {
  std::unique_ptr<BIO, OpenSslFree<BIO_free>> in(BIO_new_mem_buf(pem.data(), -1));
  std::unique_ptr<X509, OpenSslFree<X509_free>> certificate(
      PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr));
  unsigned char* der = nullptr;
  const int size = i2d_X509(certificate.get(), &der);
  std::string bytes(reinterpret_cast<char*>(der), static_cast<size_t>(size));
  OPENSSL_free(der);
  const std::string rsaEncryption("\x06\x09\x2a\x86\x48\x86\xf7\x0d\x01\x01\x01", 11);
  const size_t at = bytes.find(rsaEncryption);
  EXPECT_NE(at, bytes.npos);
  if (at != bytes.npos) bytes[at + rsaEncryption.size() - 1] = 0x7f;
  std::unique_ptr<BIO, OpenSslFree<BIO_free>> out(BIO_new(BIO_s_mem()));
  PEM_write_bio(out.get(), "CERTIFICATE", "", reinterpret_cast<unsigned char*>(bytes.data()),
                static_cast<long>(bytes.size()));
  char* data = nullptr;
  const long length = BIO_get_mem_data(out.get(), &data);
  return std::string(data, static_cast<size_t>(length));
}

TEST(GatewayCertificate, EachBrokenFileHasItsCode) {
  KeyDirectory keys;
  const std::string good = ReadFile(keys.path() + "key/pgcert.pem");
  const std::string path = keys.path() + "key/pgcert.pem";
  struct Case {
    const char* what;
    std::optional<std::string> content;  // nullopt: no file
    int code;
  };
  const Case cases[] = {
      {"good", good, 1},
      {"missing", std::nullopt, kGatewayCertOpenFailed},
      {"empty", "", kGatewayCertMissing},
      {"not PEM", "this is no certificate\n", kGatewayCertMissing},
      {"a private key", ReadFile(keys.path() + "gateway/pgpriv.pem"), kGatewayCertMissing},
      {"an unknown key algorithm", CertificateWithUnknownKeyAlgorithm(good), kGatewayKeyMissing},
  };
  for (const Case& c : cases) {
    fs::remove(path);
    if (c.content) WriteFile(path, *c.content);
    EvpPkeyPtr key;
    EXPECT_EQ(ReadGatewayCertificate(path, key), c.code) << c.what;
    EXPECT_EQ(key != nullptr, c.code == 1) << c.what;
    if (key) {
      EXPECT_EQ(EVP_PKEY_get_bits(key.get()), 1024);
    }
  }
}

// Both run in a fresh process only: the gateway key, once loaded, stays for the process.
TEST(GatewayKey, AFailedLoadCachesNothing) {
  if (GatewayKey() != nullptr) GTEST_SKIP() << "this process has loaded the gateway key";
  KeyDirectory keys;
  TempDirectory empty;
  TransactionFields fields;
  fields.moduleDirectory = empty.path();
  EXPECT_EQ(LoadGatewayKey(fields), kGatewayCertOpenFailed);
  EXPECT_EQ(GatewayKey(), nullptr);
  fields.moduleDirectory = keys.path();
  EXPECT_EQ(LoadGatewayKey(fields), 1);
  EXPECT_EQ(EVP_PKEY_eq(GatewayKey(), KeyDirectory::GatewayPublicKey().get()), 1);
}

TEST(GatewayKey, SixteenThreadsLoadItOnce) {
  KeyDirectory keys;
  std::optional<ReadOnceFile> certificate;
  if (GatewayKey() == nullptr) certificate.emplace(keys.path() + "key/pgcert.pem");
  constexpr int kThreads = 16;
  std::latch start(kThreads);
  std::atomic<int> finished = 0;
  std::vector<int> results(kThreads);
  std::vector<std::jthread> threads;
  for (int i = 0; i < kThreads; ++i)
    threads.emplace_back([&, i] {
      TransactionFields fields;
      fields.moduleDirectory = keys.path();
      start.arrive_and_wait();
      results[i] = LoadGatewayKey(fields);
      ++finished;
    });
  if (certificate) certificate->Serve();
  WaitForThreads(finished, kThreads, {certificate ? &*certificate : nullptr});
  threads.clear();
  for (int result : results) EXPECT_EQ(result, 1);
  EXPECT_EQ(EVP_PKEY_eq(GatewayKey(), KeyDirectory::GatewayPublicKey().get()), 1);

  // Loaded: the file is not looked at again.
  fs::remove(keys.path() + "key/pgcert.pem");
  TransactionFields fields;
  fields.moduleDirectory = keys.path();
  EXPECT_EQ(LoadGatewayKey(fields), 1);
}

class MerchantKeyTest : public testing::Test {
 protected:
  // Puts a copy of a good merchant's key directory at key/<name>.
  void CopyGoodKeysTo(const std::string& name) {
    fs::copy(keys.path() + "key/" + good, keys.path() + "key/" + name, fs::copy_options::recursive);
  }

  KeyDirectory keys;
  const std::string good = UniqueMerchantId("good");
};

TEST_F(MerchantKeyTest, EachBrokenFileHasItsCode) {
  keys.AddMerchant(good, "right phrase", "Jdq4");
  const std::string other = UniqueMerchantId("other");
  keys.AddMerchant(other, "right phrase", "Zx9w");
  const std::string otherDir = keys.path() + "key/" + other + "/";
  struct Case {
    const char* what;
    const char* file;                    // of the merchant's directory
    std::optional<std::string> content;  // nullopt: removed
    std::string phrase;
    int code;
  };
  const Case cases[] = {
      {"good", "keypass.enc", ReadFile(keys.path() + "key/" + good + "/keypass.enc"),
       "right phrase", 1},
      {"keypass.enc missing", "keypass.enc", std::nullopt, "right phrase", kKeyPasswordOpenFailed},
      {"keypass.enc empty", "keypass.enc", "", "right phrase", kBase64Empty},
      {"wrong key phrase", "keypass.enc", KeyPasswordFile("right phrase", "Jdq4"), "wrong phrase",
       kKeyPasswordFinalFailed},
      {"mpriv.pem missing", "mpriv.pem", std::nullopt, "right phrase", kMerchantKeyOpenFailed},
      {"mpriv.pem empty", "mpriv.pem", "", "right phrase", kMerchantKeyMissing},
      {"mpriv.pem not PEM", "mpriv.pem", "no key here\n", "right phrase", kMerchantKeyMissing},
      {"mpriv.pem under another password", "mpriv.pem", ReadFile(otherDir + "mpriv.pem"),
       "right phrase", kMerchantKeyMissing},
      {"mpriv.pem holds a certificate", "mpriv.pem", ReadFile(keys.path() + "key/pgcert.pem"),
       "right phrase", kMerchantKeyMissing},
  };
  for (const Case& c : cases) {
    const std::string mid = UniqueMerchantId("broken");
    CopyGoodKeysTo(mid);
    const std::string path = keys.path() + "key/" + mid + "/" + c.file;
    fs::remove(path);
    if (c.content) WriteFile(path, *c.content);
    TransactionFields fields = keys.Fields(mid, c.phrase);
    EvpPkeyPtr key;
    EXPECT_EQ(LoadMerchantKey(fields, key), c.code) << c.what;
    EXPECT_EQ(key != nullptr, c.code == 1) << c.what;
    EXPECT_EQ(GetMerchantKey(fields), c.code) << c.what;
    EXPECT_EQ(fields.merchantKey != nullptr, c.code == 1) << c.what;
  }
}

TEST_F(MerchantKeyTest, IdsThatLeaveTheKeyDirectoryTouchNoFile) {
  keys.AddMerchant(good, "phrase");
  // Good keys wait where each ID would lead if it were used as a path.
  const std::string victim = UniqueMerchantId("victim");
  fs::copy(keys.path() + "key/" + good, keys.path() + victim, fs::copy_options::recursive);
  fs::create_directory(keys.path() + "key/a");
  CopyGoodKeysTo("a/b");
  CopyGoodKeysTo("a\\b");
  CopyGoodKeysTo("x");
  for (const std::string& mid :
       {std::string(), "../" + victim, std::string("a/b"), std::string("a\\b"),
        std::string("x\0y", 3), std::string(".."), "x.." + victim}) {
    TransactionFields fields = keys.Fields(mid, "phrase");
    EXPECT_EQ(GetMerchantKey(fields), kKeyPasswordOpenFailed) << mid;
    EXPECT_EQ(fields.merchantKey, nullptr);
  }
}

TEST_F(MerchantKeyTest, AWrongKeyPhraseCachesNothing) {
  keys.AddMerchant(good, "right phrase", "Jdq4");
  TransactionFields wrong = keys.Fields(good, "wrong phrase");
  EXPECT_EQ(GetMerchantKey(wrong), kKeyPasswordFinalFailed);
  EXPECT_EQ(wrong.merchantKey, nullptr);
  // The next transaction reads the files again, this time with the right phrase.
  TransactionFields right = keys.Fields(good, "right phrase");
  EXPECT_EQ(GetMerchantKey(right), 1);
  EXPECT_NE(right.merchantKey, nullptr);
}

TEST_F(MerchantKeyTest, ACachedMerchantTouchesNoFile) {
  const std::string longId = UniqueMerchantId(std::string(200, 'L'));
  for (const std::string& mid : {good, longId}) {
    keys.AddMerchant(mid, "phrase");
    TransactionFields first = keys.Fields(mid, "phrase");
    ASSERT_EQ(GetMerchantKey(first), 1) << mid;
    fs::remove_all(keys.path() + "key/" + mid);
    // The key phrase, too, was checked by the first load only.
    for (const char* phrase : {"phrase", "any other phrase"}) {
      TransactionFields next = keys.Fields(mid, phrase);
      ASSERT_EQ(GetMerchantKey(next), 1) << mid;
      EXPECT_EQ(next.merchantKey.get(), first.merchantKey.get());
    }
  }
}

TEST_F(MerchantKeyTest, EachTransactionHoldsItsOwnReference) {
  keys.AddMerchant(good, "phrase");
  std::optional<TransactionFields> first(keys.Fields(good, "phrase"));
  TransactionFields second = keys.Fields(good, "phrase");
  ASSERT_EQ(GetMerchantKey(*first), 1);
  ASSERT_EQ(GetMerchantKey(second), 1);
  first.reset();
  std::string signature;
  EXPECT_EQ(SignText(second.merchantKey.get(), "text", signature), 1);
  TransactionFields third = keys.Fields(good, "phrase");
  ASSERT_EQ(GetMerchantKey(third), 1);
  EXPECT_EQ(SignText(third.merchantKey.get(), "text", signature), 1);
}

TEST_F(MerchantKeyTest, DifferentMerchantsGetSeparateEntries) {
  const std::string other = UniqueMerchantId("other");
  keys.AddMerchant(good, "phrase");
  keys.AddMerchant(other, "phrase");
  TransactionFields a = keys.Fields(good, "phrase");
  TransactionFields b = keys.Fields(other, "phrase");
  ASSERT_EQ(GetMerchantKey(a), 1);
  ASSERT_EQ(GetMerchantKey(b), 1);
  EXPECT_EQ(EVP_PKEY_eq(a.merchantKey.get(), keys.MerchantPublicKey(good).get()), 1);
  EXPECT_EQ(EVP_PKEY_eq(b.merchantKey.get(), keys.MerchantPublicKey(other).get()), 1);
  EXPECT_NE(EVP_PKEY_eq(a.merchantKey.get(), b.merchantKey.get()), 1);

  fs::remove_all(keys.path() + "key");
  TransactionFields again = keys.Fields(good, "phrase");
  ASSERT_EQ(GetMerchantKey(again), 1);
  EXPECT_EQ(again.merchantKey.get(), a.merchantKey.get());
}

TEST_F(MerchantKeyTest, SixteenThreadsLoadANewMerchantsFilesOnce) {
  keys.AddMerchant(good, "phrase");
  const std::string directory = keys.path() + "key/" + good + "/";
  const ReadOnceFile keyPassword(directory + "keypass.enc");
  const ReadOnceFile privateKey(directory + "mpriv.pem");
  constexpr int kThreads = 16;
  std::latch start(kThreads);
  std::atomic<int> finished = 0;
  std::vector<int> results(kThreads);
  std::vector<EvpPkeyPtr> loaded(kThreads);
  std::vector<std::jthread> threads;
  for (int i = 0; i < kThreads; ++i)
    threads.emplace_back([&, i] {
      TransactionFields fields = keys.Fields(good, "phrase");
      start.arrive_and_wait();
      results[i] = GetMerchantKey(fields);
      loaded[i] = std::move(fields.merchantKey);
      ++finished;
    });
  keyPassword.Serve();
  privateKey.Serve();
  WaitForThreads(finished, kThreads, {&keyPassword, &privateKey});
  threads.clear();
  for (int i = 0; i < kThreads; ++i) {
    EXPECT_EQ(results[i], 1);
    EXPECT_EQ(loaded[i].get(), loaded[0].get());
  }
  EXPECT_EQ(EVP_PKEY_eq(loaded[0].get(), keys.MerchantPublicKey(good).get()), 1);
}

}  // namespace
}  // namespace orv
