// The key files and the process-wide keys loaded from them.
#include <openssl/bio.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>

#include "security.h"

namespace orv {

namespace {

using Bio = std::unique_ptr<BIO, OpenSslFree<BIO_free>>;
using X509Ptr = std::unique_ptr<X509, OpenSslFree<X509_free>>;

// The gateway key of this process. Loading runs under `mutex`; `key` publishes the loaded key
// (owned by `owner`) to readers that take no lock. Set once, never replaced or released.
struct GatewayKeyStore {
  std::mutex mutex;
  EvpPkeyPtr owner;
  std::atomic<EVP_PKEY*> key = nullptr;
};

// Neither store is ever destroyed: transactions on other threads may still use the keys while
// the process exits, after OpenSSL has cleaned up.
GatewayKeyStore& Gateway() {
  static auto* const store = new GatewayKeyStore;
  return *store;
}

EvpPkeyPtr NewReference(EVP_PKEY* key) {
  EVP_PKEY_up_ref(key);
  return EvpPkeyPtr(key);
}

// The merchant key cache of this process: one key per merchant ID, added once, never removed
// or replaced. `mutex_` guards both maps. A merchant's first load runs under a loading slot of
// its own, outside `mutex_`, so loads of different merchants proceed in parallel while
// concurrent first requests for one merchant wait for its single load.
class MerchantKeyCache {
 public:
  int Get(const TransactionFields& fields, EvpPkeyPtr& key) {
    if ((key = Find(fields.mid))) return 1;
    const std::shared_ptr<std::mutex> slot = LoadingSlot(fields.mid);
    std::lock_guard loading(*slot);
    // A thread that held the slot before this one may have loaded the key meanwhile.
    if ((key = Find(fields.mid))) return 1;
    EvpPkeyPtr loaded;
    const int code = LoadMerchantKey(fields, loaded);
    std::lock_guard lock(mutex_);
    if (code == 1) {
      const auto cached = keys_.emplace(fields.mid, std::move(loaded)).first;
      key = NewReference(cached->second.get());
    }
    // The slot is done with: threads waiting on it find the key (or, after a failure, load
    // again), and later arrivals find the key in keys_ or open a slot of their own.
    if (const auto it = loading_.find(fields.mid); it != loading_.end() && it->second == slot)
      loading_.erase(it);
    return code;
  }

 private:
  EvpPkeyPtr Find(const std::string& mid) const {
    std::shared_lock lock(mutex_);
    const auto it = keys_.find(mid);
    return it == keys_.end() ? nullptr : NewReference(it->second.get());
  }

  std::shared_ptr<std::mutex> LoadingSlot(const std::string& mid) {
    std::lock_guard lock(mutex_);
    std::shared_ptr<std::mutex>& slot = loading_[mid];
    if (!slot) slot = std::make_shared<std::mutex>();
    return slot;
  }

  mutable std::shared_mutex mutex_;
  std::unordered_map<std::string, EvpPkeyPtr> keys_;
  std::unordered_map<std::string, std::shared_ptr<std::mutex>> loading_;
};

MerchantKeyCache& MerchantKeys() {
  static auto* const cache = new MerchantKeyCache;
  return *cache;
}

// The password reaches the PEM reader through the callback's own argument, so concurrent
// loads never share a buffer.
int PasswordCallback(char* buffer, int size, int, void* password) {
  const auto& text = *static_cast<const std::string*>(password);
  const int length = static_cast<int>(std::min<size_t>(text.size(), std::max(size, 0)));
  std::memcpy(buffer, text.data(), static_cast<size_t>(length));
  return length;
}

// A password, wiped when done with.
struct Password {
  Password() = default;
  Password(const Password&) = delete;
  Password& operator=(const Password&) = delete;
  ~Password() { OPENSSL_cleanse(text.data(), text.size()); }
  std::string text;
};

// A certificate has no password; without this callback an encrypted PEM block would make
// OpenSSL ask for one on the console.
int NoPasswordCallback(char*, int, int, void*) { return -1; }

}  // namespace

bool IsSafeMerchantId(std::string_view mid) {
  return !mid.empty() && mid.find_first_of(std::string_view("/\\\0", 3)) == mid.npos &&
         mid.find("..") == mid.npos;
}

int ReadGatewayCertificate(const std::string& path, EvpPkeyPtr& gatewayKey) {
  ErrorQueueMark mark;
  const Bio file(BIO_new_file(path.c_str(), "r"));
  if (!file) return kGatewayCertOpenFailed;
  const X509Ptr certificate(PEM_read_bio_X509(file.get(), nullptr, NoPasswordCallback, nullptr));
  if (!certificate) return kGatewayCertMissing;
  EvpPkeyPtr key(X509_get_pubkey(certificate.get()));
  if (!key) return kGatewayKeyMissing;
  gatewayKey = std::move(key);
  return 1;
}

int LoadGatewayKey(const TransactionFields& fields) {
  GatewayKeyStore& store = Gateway();
  if (store.key.load(std::memory_order_acquire) != nullptr) return 1;
  std::lock_guard lock(store.mutex);
  if (store.key.load(std::memory_order_relaxed) != nullptr) return 1;
  const int code = ReadGatewayCertificate(fields.moduleDirectory + "key/pgcert.pem", store.owner);
  if (code == 1) store.key.store(store.owner.get(), std::memory_order_release);
  return code;
}

EVP_PKEY* GatewayKey() { return Gateway().key.load(std::memory_order_acquire); }

int LoadMerchantKey(const TransactionFields& fields, EvpPkeyPtr& merchantKey) {
  if (!IsSafeMerchantId(fields.mid)) return kKeyPasswordOpenFailed;
  const std::string directory = fields.moduleDirectory + "key/" + fields.mid + "/";
  Password password;
  const int code = ReadKeyPassword(directory + "keypass.enc", fields.admin, password.text);
  if (code != 1) return code;

  ErrorQueueMark mark;
  const Bio file(BIO_new_file((directory + "mpriv.pem").c_str(), "r"));
  if (!file) return kMerchantKeyOpenFailed;
  EvpPkeyPtr key(PEM_read_bio_PrivateKey(file.get(), nullptr, PasswordCallback, &password.text));
  if (!key || !EVP_PKEY_is_a(key.get(), "RSA")) return kMerchantKeyMissing;
  merchantKey = std::move(key);
  return 1;
}

int GetMerchantKey(TransactionFields& fields) {
  EvpPkeyPtr key;
  const int code = MerchantKeys().Get(fields, key);
  if (code == 1) fields.merchantKey = std::move(key);
  return code;
}

}  // namespace orv
