// Provider Microsoft.Jet.OLEDB.4.0 for .xls workbooks, read through FreeXL.
#include <freexl.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "ado/internal.h"
#include "text/cp949.h"

namespace ado::internal {

namespace {

constexpr char kSource[] = "Microsoft.Jet.OLEDB.4.0";

[[noreturn]] void Fail(HRESULT code, std::string description) {
  throw Error(code, kSource, std::move(description));
}

char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return Fold(x) == Fold(y); });
}

// FreeXL hands out UTF-8; malformed sequences become U+FFFD.
com::Bstr BstrFromUtf8(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    const int length = byte < 0x80 ? 1 : byte >> 5 == 0x6 ? 2 : byte >> 4 == 0xE ? 3
                                     : byte >> 3 == 0x1E ? 4 : 0;
    char32_t c = length == 1 ? byte : length == 2 ? byte & 0x1F : length == 3 ? byte & 0x0F
                                                                              : byte & 0x07;
    bool valid = length > 0 && i + length <= utf8.size();
    for (int k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(utf8[i + k]);
      valid = (next & 0xC0) == 0x80;
      c = c << 6 | (next & 0x3F);
    }
    constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (!valid || c < kLeast[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += length;
  }
  return com::Bstr(out);
}

// FreeXL's texts of dates and times: "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS" or "HH:MM:SS".
com::Variant DateValue(const char* text) {
  DateTime parts{1899, 12, 30, 0, 0, 0};
  char rest = 0;
  const bool read =
      std::sscanf(text, "%d-%d-%d %d:%d:%d%c", &parts.year, &parts.month, &parts.day,
                  &parts.hour, &parts.minute, &parts.second, &rest) == 6 ||
      std::sscanf(text, "%d-%d-%d%c", &parts.year, &parts.month, &parts.day, &rest) == 3 ||
      (parts = {1899, 12, 30, 0, 0, 0},
       std::sscanf(text, "%d:%d:%d%c", &parts.hour, &parts.minute, &parts.second, &rest) == 3);
  const std::optional<DATE> date = read ? DateFromParts(parts) : std::nullopt;
  if (!date) return com::Variant(BstrFromUtf8(text));
  com::Variant value;
  value.vt = VT_DATE;
  value.date = *date;
  return value;
}

// One parsed query: SELECT [a], [b] FROM [Sheet$] (or SELECT * ...).
struct Query {
  std::vector<std::string> columns;  // empty for *
  std::string sheet;
};

class QueryReader {
 public:
  explicit QueryReader(std::string_view text) : text_(text) {}

  Query Read() {
    Query query;
    Keyword("select");
    if (Take('*')) {
      Keyword("from");
    } else {
      do query.columns.push_back(Name()); while (Take(','));
      Keyword("from");
    }
    query.sheet = Name();
    Blanks();
    if (at_ != text_.size() || !query.sheet.ends_with('$')) Syntax();
    query.sheet.pop_back();
    return query;
  }

 private:
  [[noreturn]] void Syntax() {
    Fail(DB_E_ERRORSINCOMMAND, "Syntax error in query: " + std::string(text_));
  }
  void Blanks() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' ||
                                  text_[at_] == '\r' || text_[at_] == '\n')) {
      ++at_;
    }
  }
  bool Take(char c) {
    Blanks();
    if (at_ < text_.size() && text_[at_] == c) return ++at_, true;
    return false;
  }
  void Keyword(std::string_view word) {
    Blanks();
    if (!EqualsNoCase(text_.substr(at_, word.size()), word)) Syntax();
    at_ += word.size();
    if (at_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[at_])) ||
                               text_[at_] == '_')) {
      Syntax();  // a longer word, such as SELECTED
    }
  }
  std::string Name() {
    Blanks();
    size_t end;
    std::string name;
    if (Take('[')) {
      end = text_.find(']', at_);
      if (end == std::string_view::npos) Syntax();
      name = text_.substr(at_, end - at_);
      at_ = end + 1;
    } else {
      end = text_.find_first_of(" \t\r\n,", at_);
      if (end == std::string_view::npos) end = text_.size();
      name = text_.substr(at_, end - at_);
      at_ = end;
    }
    if (name.empty()) Syntax();
    return name;
  }

  std::string_view text_;
  size_t at_ = 0;
};

class Workbook {
 public:
  explicit Workbook(const std::string& path) {
    const int rc = IsCompoundDocument(path) ? freexl_open(path.c_str(), &handle_)
                                            : FREEXL_INVALID_CFBF_HEADER;
    if (rc == FREEXL_OK && handle_) return;
    freexl_close(handle_);
    if (rc == FREEXL_FILE_NOT_FOUND) Fail(E_FAIL, "Could not find file '" + path + "'.");
    // FreeXL may also answer OK without a handle, for a file it gave up on half-way.
    Fail(E_FAIL, "External table is not in the expected format.");
  }
  ~Workbook() { freexl_close(handle_); }
  Workbook(const Workbook&) = delete;
  Workbook& operator=(const Workbook&) = delete;

  // Makes the named sheet the active one; nothing is read from an unselected sheet.
  bool Select(std::string_view sheet) {
    unsigned int count = 0;
    if (freexl_get_info(handle_, FREEXL_BIFF_SHEET_COUNT, &count) != FREEXL_OK) return false;
    for (unsigned int i = 0; i < count && i <= 0xFFFF; ++i) {
      const char* name = nullptr;
      if (freexl_get_worksheet_name(handle_, static_cast<unsigned short>(i), &name) ==
              FREEXL_OK &&
          name && EqualsNoCase(text::Utf8ToCp949(name), sheet)) {
        return freexl_select_active_worksheet(handle_, static_cast<unsigned short>(i)) ==
               FREEXL_OK;
      }
    }
    return false;
  }

  void Dimensions(unsigned int& rows, unsigned short& columns) const {
    if (freexl_worksheet_dimensions(handle_, &rows, &columns) != FREEXL_OK) Unreadable();
  }

  com::Variant Cell(unsigned int row, unsigned short column) const {
    FreeXL_CellValue cell;
    if (freexl_get_cell_value(handle_, row, column, &cell) != FREEXL_OK) Unreadable();
    switch (cell.type) {
      case FREEXL_CELL_INT: return com::Variant(static_cast<double>(cell.value.int_value));
      case FREEXL_CELL_DOUBLE: return com::Variant(cell.value.double_value);
      case FREEXL_CELL_TEXT:
      case FREEXL_CELL_SST_TEXT: return com::Variant(BstrFromUtf8(cell.value.text_value));
      case FREEXL_CELL_DATE:
      case FREEXL_CELL_DATETIME:
      case FREEXL_CELL_TIME: return DateValue(cell.value.text_value);
      default: return com::Variant::Null();
    }
  }

 private:
  // FreeXL loses memory on files that are not compound documents at all, so those never
  // reach it. A file that cannot be read is left for FreeXL to report.
  static bool IsCompoundDocument(const std::string& path) {
    static constexpr unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0,
                                                    0xA1, 0xB1, 0x1A, 0xE1};
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return true;
    unsigned char head[sizeof kSignature] = {};
    const bool matches = std::fread(head, 1, sizeof head, file) == sizeof head &&
                         std::memcmp(head, kSignature, sizeof head) == 0;
    std::fclose(file);
    return matches;
  }
  [[noreturn]] static void Unreadable() { Fail(E_FAIL, "The workbook cannot be read."); }

  const void* handle_ = nullptr;
};

// The name of a column: its header cell's text; F1, F2, ... where the header is empty.
std::string ColumnName(const Workbook& book, unsigned short column) {
  const com::Variant header = book.Cell(0, column);
  if (header.vt == VT_BSTR) return com::ToCp949(header.bstrVal);
  com::Variant text;
  if (header.vt != VT_NULL && SUCCEEDED(VariantChangeType(&text, &header, 0, VT_BSTR))) {
    return com::ToCp949(text.bstrVal);
  }
  return "F" + std::to_string(column + 1);
}

class WorkbookSession final : public Session {
 public:
  explicit WorkbookSession(const std::string& path) : book_(path) {}

  void Execute(const std::string&, CommandTypeEnum, const std::vector<Ref<Parameter>>&) override {
    Raise(adErrFeatureNotAvailable, kSource);
  }

  Table Query(const std::string& text) override {
    const ::ado::internal::Query query = QueryReader(text).Read();
    if (!book_.Select(query.sheet)) {
      Fail(DB_E_NOTABLE, "Could not find the object '" + query.sheet +
                             "$'. Make sure the object exists and that its name and the path "
                             "are spelled correctly.");
    }
    unsigned int rows = 0;
    unsigned short width = 0;
    book_.Dimensions(rows, width);
    std::vector<std::string> names;
    for (unsigned short column = 0; rows > 0 && column < width; ++column) {
      names.push_back(ColumnName(book_, column));
    }
    std::vector<unsigned short> picked;
    Table table;
    if (query.columns.empty()) {
      for (unsigned short column = 0; column < names.size(); ++column) picked.push_back(column);
    }
    for (const std::string& wanted : query.columns) {
      const auto found = std::find_if(names.begin(), names.end(), [&](const std::string& name) {
        return EqualsNoCase(name, wanted);
      });
      if (found == names.end()) {
        Fail(DB_E_PARAMNOTOPTIONAL, "No value given for one or more required parameters.");
      }
      picked.push_back(static_cast<unsigned short>(found - names.begin()));
    }
    for (unsigned short column : picked) table.names.push_back(names[column]);
    for (unsigned int row = 1; row < rows; ++row) {
      std::vector<com::Variant>& values = table.rows.emplace_back();
      for (unsigned short column : picked) values.push_back(book_.Cell(row, column));
    }
    return table;
  }

 private:
  Workbook book_;
};

}  // namespace

std::unique_ptr<Session> OpenWorkbook(const Properties& properties) {
  const auto extended = properties.find("extended properties");
  if (extended == properties.end() || !EqualsNoCase(extended->second.substr(0, 5), "Excel")) {
    Fail(E_FAIL, "Could not find installable ISAM.");
  }
  const auto source = properties.find("data source");
  const std::string path = source == properties.end() ? "" : source->second;
  return std::make_unique<WorkbookSession>(text::Cp949ToUtf8(path));
}

}  // namespace ado::internal
