// Shared by the implementation files of platform_com; not part of its interface.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "com/com.h"

namespace com::internal {

// ---- values

// The by-value types that VARIANT functions handle (VT_BYREF and VT_VARIANT excluded).
bool IsValueType(VARTYPE type);
// A non-owning by-value copy of `in`, following VT_BYREF and VT_VARIANT | VT_BYREF.
HRESULT Dereference(const VARIANT& in, VARIANT& view);
// Deep copy of a by-value VARIANT into `dest`, which must hold nothing that needs freeing.
HRESULT CopyValue(VARIANT* dest, const VARIANT& src);

// DATE <-> text in the Korean system locale; nullopt outside years 100..9999 or for text that
// is no date.
std::optional<std::u16string> FormatDate(DATE date);
std::optional<DATE> ParseDate(std::u16string_view text);

// ASCII case folding, for names of the registry and of dispatch members.
char Fold(char c);
bool EqualsNoCase(std::string_view a, std::string_view b);
struct NoCaseLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
};

// ---- registry store

struct StoredValue {
  enum class Type { String, Dword } type = Type::String;
  std::string text;    // String
  uint32_t dword = 0;  // Dword
};

// HKEY_CLASSES_ROOT in memory: every key by its full path ("CLSID\{...}\InprocServer32"),
// each with its values by name ("" is the default value). Paths and names compare without
// regard to ASCII case, so a key's descendants follow it as one run of the map.
class RegistryStore {
 public:
  using Values = std::map<std::string, StoredValue, NoCaseLess>;

  // The store file's text format; nullopt when the text is malformed.
  static std::optional<RegistryStore> Parse(std::string_view text);
  std::string Serialize() const;

  bool HasKey(std::string_view path) const { return keys_.count(path) > 0; }
  bool HasSubkeys(std::string_view path) const;
  const StoredValue* FindValue(std::string_view path, std::string_view name) const;
  void CreateKey(std::string_view path);  // and its missing parents
  void SetValue(std::string_view path, std::string_view name, StoredValue value);
  void DeleteValue(std::string_view path, std::string_view name);
  void DeleteTree(std::string_view path);

 private:
  std::map<std::string, Values, NoCaseLess> keys_;
};

// Reads the store file; a missing file is an empty store. nullopt when unreadable/malformed.
std::optional<RegistryStore> LoadStore(const std::string& path);
// The store at RegistryStorePath(), parsed again only when the file's bytes change; nullptr
// when it cannot be read. Thread-safe.
std::shared_ptr<const RegistryStore> CurrentStore();
// Under an exclusive lock on "<path>.lock": loads the store, lets `change` edit it and, when
// it succeeds, replaces the file atomically (write to a temporary file, fsync, rename).
HRESULT UpdateStore(const std::string& path, const std::function<HRESULT(RegistryStore&)>& change);

// ---- registry scripts

struct ScriptEntry {
  enum class Kind { Key, Value } kind = Kind::Key;
  std::string name;
  std::optional<StoredValue> value;  // a key's default value, or the named value
  bool noRemove = false;
  bool forceRemove = false;
  bool deleteKey = false;
  std::vector<ScriptEntry> children;
};

// Parses an ATL-style registry script whose roots are HKCR / HKEY_CLASSES_ROOT, replacing
// %MODULE% by `modulePath` and %% by %. nullopt on a syntax error.
std::optional<std::vector<ScriptEntry>> ParseScript(std::string_view script,
                                                    std::string_view modulePath);
// Applies entries below `parent` ("" for the root) with ATL's register / unregister rules.
void RunScript(const std::vector<ScriptEntry>& entries, bool install, RegistryStore& store,
               const std::string& parent = {});

// The keys that record the module's type library and its classes' interfaces.
std::vector<ScriptEntry> TypeInformation(const Module& module, std::string_view modulePath);

}  // namespace com::internal
