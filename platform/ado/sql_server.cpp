// Provider SQLOLEDB: SQL Server through unixODBC and the driver named by the deployment value
// SQLOLEDB_ODBC_DRIVER.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstring>

#include "ado/internal.h"

namespace ado::internal {

namespace {

constexpr char kSource[] = "SQLOLEDB";
constexpr SQLLEN kDefaultTextSize = 8000;  // a varchar parameter declared without a size

class Handle {
 public:
  Handle(SQLSMALLINT type, SQLHANDLE parent) : type_(type) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(type, parent, &handle_))) {
      throw Error(E_OUTOFMEMORY, kSource, "The ODBC driver manager could not allocate a handle.");
    }
  }
  ~Handle() { SQLFreeHandle(type_, handle_); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  SQLSMALLINT Type() const { return type_; }
  SQLHANDLE Get() const { return handle_; }

 private:
  SQLSMALLINT type_;
  SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

// The ODBC diagnostics of a failed call, one line per record:
// "SQLSTATE 28P01, native error 210: <text>". The first record's SQLSTATE chooses the HRESULT:
// a refused login, a lost or missing connection, or an error in the command.
[[noreturn]] void RaiseDiagnostics(const Handle& handle, HRESULT commandError) {
  std::string description;
  std::string firstState;
  SQLCHAR state[6];
  SQLCHAR text[SQL_MAX_MESSAGE_LENGTH];
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  for (SQLSMALLINT record = 1;
       SQL_SUCCEEDED(SQLGetDiagRec(handle.Type(), handle.Get(), record, state, &native, text,
                                   sizeof text, &length));
       ++record) {
    if (firstState.empty()) firstState = reinterpret_cast<const char*>(state);
    if (!description.empty()) description += '\n';
    description += "SQLSTATE ";
    description += reinterpret_cast<const char*>(state);
    description += ", native error " + std::to_string(native) + ": ";
    description += reinterpret_cast<const char*>(text);
  }
  if (description.empty()) description = "The ODBC driver reported a failure without diagnostics.";
  const HRESULT code = firstState.starts_with("28")   ? DB_SEC_E_AUTH_FAILED
                       : firstState.starts_with("08") ? E_FAIL
                                                      : commandError;
  throw Error(code, kSource, description);
}

void Check(SQLRETURN rc, const Handle& handle, HRESULT commandError = DB_E_ERRORSINCOMMAND) {
  if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) RaiseDiagnostics(handle, commandError);
}

// A value of an ODBC connection string, braced when it holds characters that would end it.
std::string OdbcValue(std::string_view value) {
  if (value.find_first_of(";{}=") == std::string_view::npos && !value.starts_with(' ') &&
      !value.ends_with(' ')) {
    return std::string(value);
  }
  std::string braced = "{";
  for (char c : value) {
    braced += c;
    if (c == '}') braced += '}';
  }
  return braced + "}";
}

std::string Property(const Properties& properties, const char* name) {
  const auto found = properties.find(name);
  return found == properties.end() ? std::string() : found->second;
}

// "Data Source= host,port" names the server and its port; a separate "port" serves when the
// data source has none.
std::string DriverConnectionString(const Properties& properties) {
  std::string server = Property(properties, "data source");
  std::string port = Property(properties, "port");
  if (const size_t comma = server.find(','); comma != std::string::npos) {
    port = server.substr(comma + 1);
    server.erase(comma);
  }
  std::string text = "DRIVER={" SQLOLEDB_ODBC_DRIVER "};SERVER=" + OdbcValue(server) + ";";
  if (!port.empty()) text += "PORT=" + OdbcValue(port) + ";";
  text += "DATABASE=" + OdbcValue(Property(properties, "initial catalog")) + ";";
  text += "UID=" + OdbcValue(Property(properties, "user id")) + ";";
  text += "PWD=" + OdbcValue(Property(properties, "password")) + ";";
  return text;
}

// One bound parameter: its buffer lives until the results are drained.
struct Binding {
  std::string text;
  int32_t integer = 0;
  double real = 0;
  SQLLEN indicator = 0;
};

void Bind(const Handle& statement, SQLUSMALLINT number, const Parameter& parameter,
          Binding& binding) {
  SQLSMALLINT io = SQL_PARAM_INPUT;
  switch (parameter.Direction()) {
    case adParamInput: io = SQL_PARAM_INPUT; break;
    case adParamOutput: io = SQL_PARAM_OUTPUT; break;
    case adParamInputOutput: io = SQL_PARAM_INPUT_OUTPUT; break;
    default: Raise(adErrFeatureNotAvailable, "ADODB.Command");
  }
  const VARTYPE vt = parameter.Type() == adVarChar  ? VT_BSTR
                     : parameter.Type() == adInteger ? VT_I4
                     : parameter.Type() == adDouble  ? VT_R8
                                                     : VT_EMPTY;
  if (vt == VT_EMPTY) Raise(adErrFeatureNotAvailable, "ADODB.Command");

  const VARIANT& value = parameter.Value();
  const bool sendsValue = io != SQL_PARAM_OUTPUT;
  const bool null = value.vt == VT_NULL || value.vt == VT_EMPTY;
  if (sendsValue && !null) {
    com::Variant converted;
    if (FAILED(VariantChangeType(&converted, &value, 0, vt))) {
      Raise(adErrDataConversion, "ADODB.Command");
    }
    if (vt == VT_BSTR) binding.text = com::ToCp949(converted.bstrVal);
    if (vt == VT_I4) binding.integer = converted.lVal;
    if (vt == VT_R8) binding.real = converted.dblVal;
  }
  binding.indicator = sendsValue && null ? SQL_NULL_DATA : 0;

  SQLRETURN rc;
  if (vt == VT_BSTR) {
    const SQLLEN declared = parameter.Size() > 0 ? parameter.Size() : kDefaultTextSize;
    const SQLLEN length = static_cast<SQLLEN>(binding.text.size());
    if (binding.indicator != SQL_NULL_DATA) binding.indicator = length;
    // Room for what comes back; a value longer than the declared size goes out unchanged.
    binding.text.resize(std::max(length, io == SQL_PARAM_INPUT ? 0 : declared) + 1);
    rc = SQLBindParameter(statement.Get(), number, io, SQL_C_CHAR, SQL_VARCHAR,
                          std::max<SQLULEN>(std::max(length, declared), 1), 0,
                          binding.text.data(), static_cast<SQLLEN>(binding.text.size()),
                          &binding.indicator);
  } else if (vt == VT_I4) {
    rc = SQLBindParameter(statement.Get(), number, io, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                          &binding.integer, 0, &binding.indicator);
  } else {
    rc = SQLBindParameter(statement.Get(), number, io, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0,
                          &binding.real, 0, &binding.indicator);
  }
  Check(rc, statement);
}

void Receive(Parameter& parameter, const Binding& binding) {
  com::Variant value;
  if (binding.indicator == SQL_NULL_DATA) {
    value = com::Variant::Null();
  } else if (parameter.Type() == adVarChar) {
    const size_t length = std::min(binding.indicator < 0 ? std::strlen(binding.text.c_str())
                                                         : static_cast<size_t>(binding.indicator),
                                   binding.text.size() - 1);
    value = com::Variant(com::Bstr::FromCp949(std::string_view(binding.text.data(), length)));
  } else if (parameter.Type() == adInteger) {
    value = com::Variant(binding.integer);
  } else {
    value = com::Variant(binding.real);
  }
  parameter.PutValue(value);
}

std::string CallText(const std::string& procedure, size_t count) {
  if (count == 0) return "{call " + procedure + "}";
  std::string text = "{call " + procedure + "(";
  for (size_t i = 0; i < count; ++i) text += i == 0 ? "?" : ",?";
  return text + ")}";
}

// One column of a fetched row, typed as the provider types it.
com::Variant ReadColumn(const Handle& statement, SQLUSMALLINT column, SQLSMALLINT sqlType) {
  SQLLEN indicator = 0;
  auto read = [&](SQLSMALLINT cType, void* target, SQLLEN size) {
    Check(SQLGetData(statement.Get(), column, cType, target, size, &indicator), statement);
    return indicator != SQL_NULL_DATA;
  };
  com::Variant value;
  switch (sqlType) {
    case SQL_BIT: {
      unsigned char bit = 0;
      if (read(SQL_C_BIT, &bit, 0)) value = com::Variant::Bool(bit != 0);
      break;
    }
    case SQL_TINYINT:
    case SQL_SMALLINT: {
      int16_t number = 0;
      if (read(SQL_C_SSHORT, &number, 0)) {
        value.vt = VT_I2;
        value.iVal = number;
      }
      break;
    }
    case SQL_INTEGER: {
      int32_t number = 0;
      if (read(SQL_C_SLONG, &number, 0)) value = com::Variant(number);
      break;
    }
    case SQL_REAL: {
      float number = 0;
      if (read(SQL_C_FLOAT, &number, 0)) {
        value.vt = VT_R4;
        value.fltVal = number;
      }
      break;
    }
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_NUMERIC:
    case SQL_DECIMAL:
    case SQL_BIGINT: {
      double number = 0;
      if (read(SQL_C_DOUBLE, &number, 0)) value = com::Variant(number);
      break;
    }
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIMESTAMP: {
      SQL_TIMESTAMP_STRUCT stamp{};
      if (!read(SQL_C_TYPE_TIMESTAMP, &stamp, sizeof stamp)) break;
      const std::optional<DATE> date = DateFromParts(
          {stamp.year, stamp.month, stamp.day, stamp.hour, stamp.minute, stamp.second});
      if (!date) throw Error(adErrDataConversion, kSource, "A date lies outside 100 to 9999.");
      value.vt = VT_DATE;
      value.date = *date;
      break;
    }
    default: {
      std::string text;
      char chunk[4096];
      SQLRETURN rc;
      while ((rc = SQLGetData(statement.Get(), column, SQL_C_CHAR, chunk, sizeof chunk,
                              &indicator)) != SQL_NO_DATA) {
        Check(rc, statement);
        if (indicator == SQL_NULL_DATA) return com::Variant::Null();
        const size_t got = indicator == SQL_NO_TOTAL || indicator >= SQLLEN{sizeof chunk}
                               ? sizeof chunk - 1
                               : static_cast<size_t>(indicator);
        text.append(chunk, got);
        if (rc == SQL_SUCCESS) break;
      }
      return com::Variant(com::Bstr::FromCp949(text));
    }
  }
  if (indicator == SQL_NULL_DATA) return com::Variant::Null();
  return value;
}

class SqlServerSession final : public Session {
 public:
  explicit SqlServerSession(const Properties& properties)
      : environment_(SQL_HANDLE_ENV, SQL_NULL_HANDLE),
        connection_(SQL_HANDLE_DBC, Odbc3(environment_)) {
    const std::string text = DriverConnectionString(properties);
    SQLCHAR out[1024];
    SQLSMALLINT outLength = 0;
    Check(SQLDriverConnect(connection_.Get(), nullptr,
                           reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str())), SQL_NTS,
                           out, sizeof out, &outLength, SQL_DRIVER_NOPROMPT),
          connection_, E_FAIL);
  }
  ~SqlServerSession() override { SQLDisconnect(connection_.Get()); }

  void Execute(const std::string& text, CommandTypeEnum type,
               const std::vector<Ref<Parameter>>& parameters) override {
    const Handle statement(SQL_HANDLE_STMT, connection_.Get());
    std::vector<Binding> bindings(parameters.size());
    for (size_t i = 0; i < parameters.size(); ++i) {
      Bind(statement, static_cast<SQLUSMALLINT>(i + 1), *parameters[i], bindings[i]);
    }
    const std::string sql = type == adCmdStoredProc ? CallText(text, parameters.size()) : text;
    Check(SQLExecDirect(statement.Get(), reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())),
                        SQL_NTS),
          statement);
    // Output parameters arrive after the last result, so every result is drained first.
    SQLRETURN rc;
    while ((rc = SQLMoreResults(statement.Get())) != SQL_NO_DATA) Check(rc, statement);
    for (size_t i = 0; i < parameters.size(); ++i) {
      if (parameters[i]->Direction() != adParamInput) Receive(*parameters[i], bindings[i]);
    }
  }

  Table Query(const std::string& text) override {
    const Handle statement(SQL_HANDLE_STMT, connection_.Get());
    Check(SQLExecDirect(statement.Get(),
                        reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str())), SQL_NTS),
          statement);
    SQLSMALLINT columns = 0;
    Check(SQLNumResultCols(statement.Get(), &columns), statement);
    Table table;
    std::vector<SQLSMALLINT> types(columns);
    for (SQLUSMALLINT c = 1; c <= columns; ++c) {
      SQLCHAR name[256];
      SQLSMALLINT nameLength = 0, digits = 0, nullable = 0;
      SQLULEN size = 0;
      Check(SQLDescribeCol(statement.Get(), c, name, sizeof name, &nameLength, &types[c - 1],
                           &size, &digits, &nullable),
            statement);
      table.names.emplace_back(reinterpret_cast<const char*>(name));
    }
    SQLRETURN rc;
    while ((rc = SQLFetch(statement.Get())) != SQL_NO_DATA) {
      Check(rc, statement);
      std::vector<com::Variant>& row = table.rows.emplace_back();
      for (SQLUSMALLINT c = 1; c <= columns; ++c) {
        row.push_back(ReadColumn(statement, c, types[c - 1]));
      }
    }
    return table;
  }

 private:
  static SQLHANDLE Odbc3(const Handle& environment) {
    SQLSetEnvAttr(environment.Get(), SQL_ATTR_ODBC_VERSION,
                  reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    return environment.Get();
  }

  Handle environment_;
  Handle connection_;
};

}  // namespace

std::unique_ptr<Session> OpenSqlServer(const Properties& properties) {
  return std::make_unique<SqlServerSession>(properties);
}

}  // namespace ado::internal
