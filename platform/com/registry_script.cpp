// ATL-style registry scripts:
//
//   HKCR
//   {
//     NoRemove CLSID
//     {
//       ForceRemove {...} = s 'Thing Class'
//       {
//         InprocServer32 = s '%MODULE%'
//         {
//           val ThreadingModel = s 'Both'
//         }
//       }
//     }
//   }
//
// Tokens are separated by white space; '...' quotes a token ('' inside stands for one quote).
// Keywords (HKCR, NoRemove, ForceRemove, Delete, val, s, d) are matched without regard to case.
#include <charconv>

#include "com/internal.h"

namespace com::internal {

namespace {

// Scripts are trusted module resources, but a nesting this deep is a fault, not a script.
constexpr int kMaxDepth = 64;

struct Token {
  std::string text;
  bool quoted = false;
};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Replaces %MODULE% and %%; false for any other %...%.
bool Substitute(std::string& text, std::string_view modulePath) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    const size_t close = text.find('%', i + 1);
    if (close == std::string::npos) return false;
    const std::string_view name = std::string_view(text).substr(i + 1, close - i - 1);
    if (name.empty())
      out += '%';
    else if (EqualsNoCase(name, "MODULE"))
      out += modulePath;
    else
      return false;
    i = close;
  }
  text = std::move(out);
  return true;
}

std::optional<std::vector<Token>> Tokenize(std::string_view script, std::string_view modulePath) {
  std::vector<Token> tokens;
  size_t i = 0;
  while (i < script.size()) {
    if (IsSpace(script[i])) {
      ++i;
      continue;
    }
    Token token;
    if (script[i] == '\'') {
      token.quoted = true;
      for (++i;; ++i) {
        if (i == script.size()) return std::nullopt;
        if (script[i] != '\'') {
          token.text += script[i];
        } else if (i + 1 < script.size() && script[i + 1] == '\'') {
          token.text += '\'';
          ++i;
        } else {
          ++i;
          break;
        }
      }
    } else {
      while (i < script.size() && !IsSpace(script[i])) token.text += script[i++];
    }
    if (!Substitute(token.text, modulePath)) return std::nullopt;
    tokens.push_back(std::move(token));
  }
  return tokens;
}

class Parser {
 public:
  explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

  bool Script(std::vector<ScriptEntry>& out) {
    while (at_ < tokens_.size()) {
      if (!Keyword("HKCR") && !Keyword("HKEY_CLASSES_ROOT")) return false;
      if (!Keyword("{") || !Entries(out, 0)) return false;
    }
    return true;
  }

 private:
  // Consumes the next token when it is the unquoted keyword.
  bool Keyword(std::string_view word) {
    if (at_ == tokens_.size() || tokens_[at_].quoted || !EqualsNoCase(tokens_[at_].text, word))
      return false;
    ++at_;
    return true;
  }

  // Key names cannot hold the path separator; neither kind holds control characters.
  bool Name(std::string& out, bool key) {
    if (at_ == tokens_.size()) return false;
    out = tokens_[at_++].text;
    if (out.empty()) return false;
    for (char c : out)
      if ((key && c == '\\') || static_cast<unsigned char>(c) < 0x20) return false;
    return true;
  }

  // "s 'text'" or "d 'number'" (decimal, or hexadecimal after 0x).
  bool TypedValue(std::optional<StoredValue>& out) {
    StoredValue value;
    if (Keyword("d")) {
      value.type = StoredValue::Type::Dword;
    } else if (!Keyword("s")) {
      return false;
    }
    if (at_ == tokens_.size() || !tokens_[at_].quoted) return false;
    const std::string& text = tokens_[at_++].text;
    if (value.type == StoredValue::Type::String) {
      value.text = text;
    } else {
      const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
      const std::string_view digits = std::string_view(text).substr(hex ? 2 : 0);
      const auto [end, ec] =
          std::from_chars(digits.data(), digits.data() + digits.size(), value.dword, hex ? 16 : 10);
      if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size()) return false;
    }
    out = std::move(value);
    return true;
  }

  // Entries up to and including the closing "}".
  bool Entries(std::vector<ScriptEntry>& out, int depth) {
    if (depth > kMaxDepth) return false;
    while (!Keyword("}")) {
      if (at_ == tokens_.size()) return false;
      ScriptEntry entry;
      if (Keyword("val")) {
        entry.kind = ScriptEntry::Kind::Value;
        if (depth == 0 || !Name(entry.name, false) || !Keyword("=") || !TypedValue(entry.value))
          return false;
        out.push_back(std::move(entry));
        continue;
      }
      for (;;) {
        if (Keyword("NoRemove"))
          entry.noRemove = true;
        else if (Keyword("ForceRemove"))
          entry.forceRemove = true;
        else if (Keyword("Delete"))
          entry.deleteKey = true;
        else
          break;
      }
      if (!Name(entry.name, true)) return false;
      if (Keyword("=") && !TypedValue(entry.value)) return false;
      if (Keyword("{") && !Entries(entry.children, depth + 1)) return false;
      out.push_back(std::move(entry));
    }
    return true;
  }

  std::vector<Token> tokens_;
  size_t at_ = 0;
};

}  // namespace

std::optional<std::vector<ScriptEntry>> ParseScript(std::string_view script,
                                                    std::string_view modulePath) {
  std::optional<std::vector<Token>> tokens = Tokenize(script, modulePath);
  if (!tokens) return std::nullopt;
  std::vector<ScriptEntry> entries;
  if (!Parser(std::move(*tokens)).Script(entries)) return std::nullopt;
  return entries;
}

void RunScript(const std::vector<ScriptEntry>& entries, bool install, RegistryStore& store,
               const std::string& parent) {
  for (const ScriptEntry& entry : entries) {
    if (entry.kind == ScriptEntry::Kind::Value) {
      if (install)
        store.SetValue(parent, entry.name, *entry.value);
      else
        store.DeleteValue(parent, entry.name);
      continue;
    }
    const std::string path = parent.empty() ? entry.name : parent + '\\' + entry.name;
    if (install) {
      if (entry.deleteKey || entry.forceRemove) store.DeleteTree(path);
      if (entry.deleteKey) continue;
      store.CreateKey(path);
      if (entry.value) store.SetValue(path, "", *entry.value);
      RunScript(entry.children, install, store, path);
      continue;
    }
    if (entry.deleteKey || !store.HasKey(path)) continue;
    if (entry.forceRemove && !entry.noRemove) {
      store.DeleteTree(path);
      continue;
    }
    RunScript(entry.children, install, store, path);
    // A key that still has subkeys holds registrations the script does not know of.
    if (!entry.noRemove && !store.HasSubkeys(path)) store.DeleteTree(path);
  }
}

}  // namespace com::internal
