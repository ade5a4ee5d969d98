// The registry store: HKEY_CLASSES_ROOT as a text file, read whole and replaced whole.
//
// File format, one key per section, keys in order, values below their key:
//   [CLSID\{798EB088-1625-4C6E-A72B-50A8C87B27DF}\InprocServer32]
//   @="/opt/site/liborvpay41.so"
//   "ThreadingModel"="Both"
//   "Flags"=dword:0000000a
// In quoted text \\, \", \n and \r stand for a backslash, a quote, LF and CR. Lines starting
// with ";" are comments.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "com/internal.h"

namespace com::internal {

namespace {

constexpr std::string_view kHeader =
    "; HKEY_CLASSES_ROOT of this machine's COM registrations. Written by the registrar.\n";

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

void AppendQuoted(std::string& out, std::string_view text) {
  out += '"';
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  out += '"';
}

// Reads a quoted text at the start of `line`, moving past it.
std::optional<std::string> ReadQuoted(std::string_view& line) {
  if (line.empty() || line[0] != '"') return std::nullopt;
  std::string text;
  for (size_t i = 1; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"') {
      line.remove_prefix(i + 1);
      return text;
    }
    if (c != '\\') {
      text += c;
      continue;
    }
    if (++i == line.size()) return std::nullopt;
    switch (line[i]) {
      case '\\': text += '\\'; break;
      case '"': text += '"'; break;
      case 'n': text += '\n'; break;
      case 'r': text += '\r'; break;
      default: return std::nullopt;
    }
  }
  return std::nullopt;
}

std::optional<StoredValue> ReadValue(std::string_view text) {
  StoredValue value;
  constexpr std::string_view kDword = "dword:";
  if (text.substr(0, kDword.size()) == kDword) {
    text.remove_prefix(kDword.size());
    value.type = StoredValue::Type::Dword;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value.dword, 16);
    if (ec != std::errc() || end != text.data() + text.size() || text.size() != 8)
      return std::nullopt;
    return value;
  }
  std::optional<std::string> quoted = ReadQuoted(text);
  if (!quoted || !text.empty()) return std::nullopt;
  value.text = std::move(*quoted);
  return value;
}

// Closes a file descriptor on scope exit.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return fd_; }
  int Release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

std::optional<std::string> ReadFile(const std::string& path) {
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0) return errno == ENOENT ? std::optional<std::string>("") : std::nullopt;
  std::string text;
  char buffer[16384];
  for (;;) {
    const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) return text;
    text.append(buffer, static_cast<size_t>(n));
  }
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Creates the directories above `path` that are missing.
void CreateParentDirectories(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1))
    ::mkdir(path.substr(0, slash).c_str(), 0755);
}

// Writes `text` beside `path` and renames it over `path`, so readers see the old or the new
// file whole.
bool ReplaceFile(const std::string& path, std::string_view text) {
  std::string temporary = path + ".XXXXXX";
  Descriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
  if (fd.Get() < 0) return false;
  const bool written = ::fchmod(fd.Get(), 0644) == 0 && WriteAll(fd.Get(), text) &&
                       ::fsync(fd.Get()) == 0 && ::close(fd.Release()) == 0 &&
                       ::rename(temporary.c_str(), path.c_str()) == 0;
  if (!written) ::unlink(temporary.c_str());
  return written;
}

std::string HomeDirectory() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  passwd entry{};
  passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found)
    return found->pw_dir;
  return "/tmp";
}

}  // namespace

std::optional<RegistryStore> RegistryStore::Parse(std::string_view text) {
  RegistryStore store;
  std::string key;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      if (line.size() < 3 || line.back() != ']') return std::nullopt;
      key = line.substr(1, line.size() - 2);
      store.CreateKey(key);
      continue;
    }
    if (key.empty()) return std::nullopt;
    std::string name;
    if (line[0] == '@') {
      line.remove_prefix(1);
    } else {
      std::optional<std::string> quoted = ReadQuoted(line);
      if (!quoted) return std::nullopt;
      name = std::move(*quoted);
    }
    if (line.empty() || line[0] != '=') return std::nullopt;
    std::optional<StoredValue> value = ReadValue(line.substr(1));
    if (!value) return std::nullopt;
    store.SetValue(key, name, std::move(*value));
  }
  return store;
}

std::string RegistryStore::Serialize() const {
  std::string out(kHeader);
  for (const auto& [path, values] : keys_) {
    out += "\n[" + path + "]\n";
    for (const auto& [name, value] : values) {
      if (name.empty())
        out += '@';
      else
        AppendQuoted(out, name);
      out += '=';
      if (value.type == StoredValue::Type::Dword) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "dword:%08x", value.dword);
        out += hex;
      } else {
        AppendQuoted(out, value.text);
      }
      out += '\n';
    }
  }
  return out;
}

bool RegistryStore::HasSubkeys(std::string_view path) const {
  const std::string prefix = std::string(path) + '\\';
  const auto it = keys_.lower_bound(prefix);
  return it != keys_.end() && StartsWithNoCase(it->first, prefix);
}

const StoredValue* RegistryStore::FindValue(std::string_view path, std::string_view name) const {
  const auto key = keys_.find(path);
  if (key == keys_.end()) return nullptr;
  const auto value = key->second.find(name);
  return value == key->second.end() ? nullptr : &value->second;
}

void RegistryStore::CreateKey(std::string_view path) {
  for (size_t separator = path.find('\\'); separator != std::string_view::npos;
       separator = path.find('\\', separator + 1))
    keys_.try_emplace(std::string(path.substr(0, separator)));
  keys_.try_emplace(std::string(path));
}

void RegistryStore::SetValue(std::string_view path, std::string_view name, StoredValue value) {
  CreateKey(path);
  Values& values = keys_.find(path)->second;
  const auto it = values.find(name);
  if (it == values.end())
    values.emplace(std::string(name), std::move(value));
  else
    it->second = std::move(value);
}

void RegistryStore::DeleteValue(std::string_view path, std::string_view name) {
  const auto key = keys_.find(path);
  if (key == keys_.end()) return;
  const auto value = key->second.find(name);
  if (value != key->second.end()) key->second.erase(value);
}

void RegistryStore::DeleteTree(std::string_view path) {
  if (const auto key = keys_.find(path); key != keys_.end()) keys_.erase(key);
  const std::string prefix = std::string(path) + '\\';
  auto it = keys_.lower_bound(prefix);
  while (it != keys_.end() && StartsWithNoCase(it->first, prefix)) it = keys_.erase(it);
}

std::optional<RegistryStore> LoadStore(const std::string& path) {
  const std::optional<std::string> text = ReadFile(path);
  if (!text) return std::nullopt;
  return RegistryStore::Parse(*text);
}

std::shared_ptr<const RegistryStore> CurrentStore() {
  // The last store read, with the text it was parsed from: parsing is skipped while the file
  // holds the same bytes. Guarded by `mutex`.
  static std::mutex mutex;
  static std::string cachedText;
  static std::shared_ptr<const RegistryStore> cached;
  const std::optional<std::string> text = ReadFile(RegistryStorePath());
  if (!text) return nullptr;
  std::lock_guard<std::mutex> lock(mutex);
  if (cached && *text == cachedText) return cached;
  std::optional<RegistryStore> store = RegistryStore::Parse(*text);
  if (!store) return nullptr;
  cached = std::make_shared<const RegistryStore>(std::move(*store));
  cachedText = *text;
  return cached;
}

HRESULT UpdateStore(const std::string& path, const std::function<HRESULT(RegistryStore&)>& change) {
  CreateParentDirectories(path);
  Descriptor lock(::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (lock.Get() < 0) return REGDB_E_WRITEREGDB;
  while (::flock(lock.Get(), LOCK_EX) != 0)
    if (errno != EINTR) return REGDB_E_WRITEREGDB;
  std::optional<RegistryStore> store = LoadStore(path);
  if (!store) return REGDB_E_READREGDB;
  const HRESULT hr = change(*store);
  if (FAILED(hr)) return hr;
  return ReplaceFile(path, store->Serialize()) ? hr : REGDB_E_WRITEREGDB;
}

}  // namespace com::internal

namespace com {

std::string RegistryStorePath() {
  if (const char* path = std::getenv("COM_REGISTRY_FILE"); path && *path) return path;
  return internal::HomeDirectory() + "/.local/share/com/registry.reg";
}

std::optional<std::string> RegistryValue(std::string_view keyPath, std::string_view name) {
  const std::shared_ptr<const internal::RegistryStore> store = internal::CurrentStore();
  const internal::StoredValue* value = store ? store->FindValue(keyPath, name) : nullptr;
  if (!value) return std::nullopt;
  if (value->type == internal::StoredValue::Type::Dword) return std::to_string(value->dword);
  return value->text;
}

bool RegistryKeyExists(std::string_view keyPath) {
  const std::shared_ptr<const internal::RegistryStore> store = internal::CurrentStore();
  return store && store->HasKey(keyPath);
}

}  // namespace com
