// Shared by the implementation files of platform_ado; not part of its interface.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ado/ado.h"

namespace ado::internal {

// The rows of a query: column names and, per row, one value per column.
struct Table {
  std::vector<std::string> names;
  std::vector<std::vector<com::Variant>> rows;
};

// An open data source of one provider.
class Session {
 public:
  virtual ~Session() = default;
  // Runs a command with its parameters in order; output parameters receive their values.
  virtual void Execute(const std::string& text, CommandTypeEnum type,
                       const std::vector<Ref<Parameter>>& parameters) = 0;
  virtual Table Query(const std::string& text) = 0;
};

// An OLE DB connection string: names (lower case) to values, surrounding blanks and quotes
// removed. DB_E_BADINITSTRING when it is malformed.
using Properties = std::map<std::string, std::string>;
Properties ParseConnectionString(std::string_view text);

std::unique_ptr<Session> OpenSqlServer(const Properties& properties);
std::unique_ptr<Session> OpenWorkbook(const Properties& properties);

// ADO's own failures, raised with their standard descriptions.
[[noreturn]] void Raise(HRESULT code, const char* source);

}  // namespace ado::internal
