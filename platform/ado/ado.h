// The ADO subset that the SMS module uses, in place of ADO and its OLE DB providers: Connection,
// Command, Parameter and Recordset with the properties and methods the module calls.
//
// Providers, chosen by the connection string's Provider:
// - "SQLOLEDB": SQL Server through unixODBC. The connection string's Data Source ("host,port"),
//   Initial Catalog, User ID and Password become an ODBC driver connection string for the
//   driver named by the deployment value SQLOLEDB_ODBC_DRIVER (an odbcinst.ini entry). A stored
//   procedure runs as "{call name(?,...)}" with its parameters bound by position.
// - "Microsoft.Jet.OLEDB.4.0" with Extended properties "Excel ...": .xls workbooks (BIFF5 and
//   BIFF8) read through FreeXL, for queries of the form SELECT [col], ... FROM [Sheet$]. The
//   first row of a sheet names its columns; numbers read as VT_R8, texts as VT_BSTR, dates as
//   VT_DATE, empty cells as VT_NULL.
//
// Failures raise ado::Error, which carries what a COM error carries: an HRESULT and the error
// information's source and description. Texts are code page 949 byte strings, as the module
// holds them; values are VARIANTs.
//
// Objects are shared by reference (Ref), as COM objects are: a Command keeps its connection,
// a Recordset the connection it was opened on. Not thread-safe: one thread uses an object and
// everything it is connected to.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "com/com.h"

namespace ado {

// ---------------------------------------------------------------------------------------------
// Errors

// HRESULTs that ADO and the providers raise.
constexpr HRESULT adErrNoCurrentRecord = static_cast<HRESULT>(0x800A0BCDu);
constexpr HRESULT adErrInvalidArgument = static_cast<HRESULT>(0x800A0BB9u);
constexpr HRESULT adErrFeatureNotAvailable = static_cast<HRESULT>(0x800A0CB3u);
constexpr HRESULT adErrItemNotFound = static_cast<HRESULT>(0x800A0CC1u);
constexpr HRESULT adErrDataConversion = static_cast<HRESULT>(0x800A0D5Du);
constexpr HRESULT adErrObjectClosed = static_cast<HRESULT>(0x800A0E78u);
constexpr HRESULT adErrObjectOpen = static_cast<HRESULT>(0x800A0E79u);
constexpr HRESULT adErrProviderNotFound = static_cast<HRESULT>(0x800A0E7Au);
constexpr HRESULT adErrInvalidConnection = static_cast<HRESULT>(0x800A0E7Du);
constexpr HRESULT DB_E_NOCOMMAND = static_cast<HRESULT>(0x80040E0Cu);
constexpr HRESULT DB_E_PARAMNOTOPTIONAL = static_cast<HRESULT>(0x80040E10u);
constexpr HRESULT DB_E_ERRORSINCOMMAND = static_cast<HRESULT>(0x80040E14u);
constexpr HRESULT DB_E_NOTABLE = static_cast<HRESULT>(0x80040E37u);
constexpr HRESULT DB_SEC_E_AUTH_FAILED = static_cast<HRESULT>(0x80040E4Du);
constexpr HRESULT DB_E_BADINITSTRING = static_cast<HRESULT>(0x80040E73u);

// A failed call, as a COM error reaches a C++ caller: the HRESULT plus the source and the
// description of the error information (code page 949; empty when there was none).
class Error : public std::exception {
 public:
  Error(HRESULT code, std::string source, std::string description)
      : code_(code), source_(std::move(source)), description_(std::move(description)) {}

  HRESULT Code() const { return code_; }
  const std::string& Source() const { return source_; }
  const std::string& Description() const { return description_; }
  // The system's message text for the code, without a trailing line break. For codes the
  // system has no text for: "IDispatch error #N" when the code is 0x80040200 + N with N > 0
  // (up to 0x8004FFFF), otherwise "Unknown error 0x" and the code in upper-case hex.
  std::string ErrorMessage() const;
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  HRESULT code_;
  std::string source_;
  std::string description_;
};

// ---------------------------------------------------------------------------------------------
// References

// A shared reference to an ADO object, as a smart interface pointer holds one. Using an empty
// reference raises Error(E_POINTER), as calling through a null interface pointer does.
template <class T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(std::shared_ptr<T> object) : object_(std::move(object)) {}

  T* operator->() const {
    if (!object_) throw Error(E_POINTER, "", "");
    return object_.get();
  }
  T& operator*() const { return *operator->(); }
  explicit operator bool() const { return object_ != nullptr; }
  void Reset() { object_.reset(); }
  friend bool operator==(const Ref&, const Ref&) = default;

 private:
  std::shared_ptr<T> object_;
};

// ---------------------------------------------------------------------------------------------
// Enumerations, with ADO's values

enum ObjectStateEnum : int32_t { adStateClosed = 0, adStateOpen = 1 };
enum CursorLocationEnum : int32_t { adUseServer = 2, adUseClient = 3 };
enum CursorTypeEnum : int32_t {
  adOpenForwardOnly = 0,
  adOpenKeyset = 1,
  adOpenDynamic = 2,
  adOpenStatic = 3
};
enum LockTypeEnum : int32_t {
  adLockReadOnly = 1,
  adLockPessimistic = 2,
  adLockOptimistic = 3,
  adLockBatchOptimistic = 4
};
enum CommandTypeEnum : int32_t {
  adCmdText = 1,
  adCmdTable = 2,
  adCmdStoredProc = 4,
  adCmdUnknown = 8
};
enum DataTypeEnum : int32_t { adEmpty = 0, adInteger = 3, adDouble = 5, adVarChar = 200 };
enum ParameterDirectionEnum : int32_t {
  adParamInput = 1,
  adParamOutput = 2,
  adParamInputOutput = 3,
  adParamReturnValue = 4
};

class Connection;
class Command;
class Parameter;
class Recordset;

namespace internal {
class Session;
}

// ---------------------------------------------------------------------------------------------
// Objects

class Connection {
 public:
  static Ref<Connection> Create();
  Connection();
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Opens the data source that the connection string names (see the providers above). A
  // non-empty userId or password takes the place of the string's User ID or Password.
  // adErrObjectOpen when open; adErrProviderNotFound for another provider; the provider's own
  // error when the source cannot be opened.
  void Open(std::string_view connectionString, std::string_view userId,
            std::string_view password, int32_t options);
  void Close();  // adErrObjectClosed when closed
  ObjectStateEnum State() const { return session_ ? adStateOpen : adStateClosed; }
  const std::string& ConnectionString() const { return connectionString_; }
  CursorLocationEnum CursorLocation() const { return cursorLocation_; }
  void PutCursorLocation(CursorLocationEnum location);

 private:
  friend class Command;
  friend class Recordset;
  // The open provider session; adErrInvalidConnection, raised as `source`, when closed.
  std::shared_ptr<internal::Session> Session(const char* source);

  // Recordsets opened on the connection watch the session: closing the connection closes
  // them, as in ADO.
  std::shared_ptr<internal::Session> session_;
  std::string connectionString_;
  CursorLocationEnum cursorLocation_ = adUseServer;
};

class Parameter {
 public:
  static Ref<Parameter> Create();

  ParameterDirectionEnum Direction() const { return direction_; }
  void PutDirection(ParameterDirectionEnum direction) { direction_ = direction; }
  const std::string& Name() const { return name_; }
  void PutName(std::string_view name) { name_ = name; }
  DataTypeEnum Type() const { return type_; }
  void PutType(DataTypeEnum type) { type_ = type; }
  int32_t Size() const { return size_; }
  void PutSize(int32_t size);  // adErrInvalidArgument when negative
  // The value; after an Execute, an output parameter holds what the command returned.
  const VARIANT& Value() const { return value_; }
  void PutValue(const VARIANT& value);

 private:
  ParameterDirectionEnum direction_ = adParamInput;
  std::string name_;
  DataTypeEnum type_ = adEmpty;
  int32_t size_ = 0;
  com::Variant value_;
};

class Command {
 public:
  static Ref<Command> Create();

  const std::string& CommandText() const { return commandText_; }
  void PutCommandText(std::string_view text) { commandText_ = text; }
  CommandTypeEnum CommandType() const { return commandType_; }
  void PutCommandType(CommandTypeEnum type) { commandType_ = type; }
  const Ref<Connection>& ActiveConnection() const { return connection_; }
  // adErrInvalidConnection for a connection that is not open.
  void PutActiveConnection(Ref<Connection> connection);
  // Parameters.Append: they are passed by position, in the order appended.
  void AppendParameter(Ref<Parameter> parameter);
  const std::vector<Ref<Parameter>>& Parameters() const { return parameters_; }

  // Runs the command on its connection as `options` says (adCmdStoredProc, adCmdText; any
  // other value: the CommandType). Every result is drained, so that output parameters receive
  // their values; rows are not kept, and the recordset returned is closed.
  // adErrInvalidConnection without an open connection; DB_E_NOCOMMAND without a text.
  Ref<Recordset> Execute(int32_t options);

 private:
  std::string commandText_;
  CommandTypeEnum commandType_ = adCmdUnknown;
  Ref<Connection> connection_;
  std::vector<Ref<Parameter>> parameters_;
};

class Recordset {
 public:
  static Ref<Recordset> Create();

  CursorTypeEnum CursorType() const { return cursorType_; }
  void PutCursorType(CursorTypeEnum type) { cursorType_ = type; }
  CursorLocationEnum CursorLocation() const { return cursorLocation_; }
  void PutCursorLocation(CursorLocationEnum location) { cursorLocation_ = location; }

  // Runs the query `source` on `connection` and keeps every row it returns: a static cursor
  // standing on the first row. adErrObjectOpen when open; adErrInvalidConnection when the
  // connection is closed; the provider's error when the query fails.
  void Open(std::string_view source, const Ref<Connection>& connection, CursorTypeEnum cursorType,
            LockTypeEnum lockType, int32_t options);
  // The operations below raise adErrObjectClosed on a closed recordset.
  void Close();
  // Closed also once the connection it was opened on is closed.
  ObjectStateEnum State() const;
  VARIANT_BOOL Bof() const;  // VARIANT_TRUE when there is no row before the current one
  VARIANT_BOOL Eof() const;  // VARIANT_TRUE past the last row
  void MoveNext();           // adErrNoCurrentRecord at EOF
  void MoveFirst();          // adErrNoCurrentRecord when there are no rows
  int32_t RecordCount() const;
  // Fields(name).Value of the current row; names match without regard to ASCII case.
  // adErrItemNotFound for a name the recordset lacks, adErrNoCurrentRecord at BOF or EOF.
  com::Variant FieldValue(std::string_view name) const;

 private:
  void RequireOpen() const;

  CursorTypeEnum cursorType_ = adOpenForwardOnly;
  CursorLocationEnum cursorLocation_ = adUseServer;
  bool open_ = false;
  std::weak_ptr<internal::Session> source_;
  std::vector<std::string> names_;
  std::vector<std::vector<com::Variant>> rows_;
  size_t position_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Dates as VT_DATE carries them: days since 1899-12-30, the fraction the time of day (measured
// away from zero before that day).

struct DateTime {
  int year, month, day, hour, minute, second;
};
// nullopt outside years 100 to 9999 and for fields out of range.
std::optional<DATE> DateFromParts(const DateTime& parts);
// Rounded to the nearest second; nullopt outside years 100 to 9999.
std::optional<DateTime> PartsOfDate(DATE date);

}  // namespace ado
