#include <algorithm>

#include "ado/internal.h"

namespace ado {

namespace {

constexpr char kConnectionSource[] = "ADODB.Connection";
constexpr char kCommandSource[] = "ADODB.Command";
constexpr char kParameterSource[] = "ADODB.Parameter";
constexpr char kRecordsetSource[] = "ADODB.Recordset";

char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return Fold(x) == Fold(y); });
}

}  // namespace

// ---- Connection

Ref<Connection> Connection::Create() { return Ref<Connection>(std::make_shared<Connection>()); }

Connection::Connection() = default;
Connection::~Connection() = default;

void Connection::Open(std::string_view connectionString, std::string_view userId,
                      std::string_view password, int32_t) {
  if (session_) internal::Raise(adErrObjectOpen, kConnectionSource);
  connectionString_ = connectionString;
  internal::Properties properties = internal::ParseConnectionString(connectionString);
  if (!userId.empty()) properties["user id"] = userId;
  if (!password.empty()) properties["password"] = password;
  const std::string& provider = properties["provider"];
  if (EqualsNoCase(provider, "SQLOLEDB")) {
    session_ = internal::OpenSqlServer(properties);
  } else if (EqualsNoCase(provider, "Microsoft.Jet.OLEDB.4.0")) {
    session_ = internal::OpenWorkbook(properties);
  } else {
    internal::Raise(adErrProviderNotFound, kConnectionSource);
  }
}

void Connection::Close() {
  if (!session_) internal::Raise(adErrObjectClosed, kConnectionSource);
  session_.reset();
}

void Connection::PutCursorLocation(CursorLocationEnum location) {
  if (location != adUseServer && location != adUseClient) {
    internal::Raise(adErrInvalidArgument, kConnectionSource);
  }
  cursorLocation_ = location;
}

std::shared_ptr<internal::Session> Connection::Session(const char* source) {
  if (!session_) internal::Raise(adErrInvalidConnection, source);
  return session_;
}

// ---- Parameter

Ref<Parameter> Parameter::Create() { return Ref<Parameter>(std::make_shared<Parameter>()); }

void Parameter::PutSize(int32_t size) {
  if (size < 0) internal::Raise(adErrInvalidArgument, kParameterSource);
  size_ = size;
}

void Parameter::PutValue(const VARIANT& value) {
  com::Variant copy;
  const HRESULT hr = VariantCopyInd(&copy, &value);
  if (FAILED(hr)) internal::Raise(adErrDataConversion, kParameterSource);
  value_ = std::move(copy);
}

// ---- Command

Ref<Command> Command::Create() { return Ref<Command>(std::make_shared<Command>()); }

void Command::PutActiveConnection(Ref<Connection> connection) {
  if (connection && connection->State() != adStateOpen) {
    internal::Raise(adErrInvalidConnection, kCommandSource);
  }
  connection_ = std::move(connection);
}

void Command::AppendParameter(Ref<Parameter> parameter) {
  if (!parameter) internal::Raise(adErrInvalidArgument, kCommandSource);
  parameters_.push_back(std::move(parameter));
}

Ref<Recordset> Command::Execute(int32_t options) {
  if (!connection_) internal::Raise(adErrInvalidConnection, kCommandSource);
  const std::shared_ptr<internal::Session> session = connection_->Session(kCommandSource);
  if (commandText_.empty()) internal::Raise(DB_E_NOCOMMAND, kCommandSource);
  const CommandTypeEnum type = options == adCmdStoredProc || options == adCmdText
                                   ? static_cast<CommandTypeEnum>(options)
                                   : commandType_;
  session->Execute(commandText_, type, parameters_);
  return Recordset::Create();
}

// ---- Recordset

Ref<Recordset> Recordset::Create() { return Ref<Recordset>(std::make_shared<Recordset>()); }

void Recordset::Open(std::string_view source, const Ref<Connection>& connection,
                     CursorTypeEnum cursorType, LockTypeEnum, int32_t) {
  if (State() == adStateOpen) internal::Raise(adErrObjectOpen, kRecordsetSource);
  if (!connection) internal::Raise(adErrInvalidConnection, kRecordsetSource);
  const std::shared_ptr<internal::Session> session = connection->Session(kRecordsetSource);
  if (source.empty()) internal::Raise(DB_E_NOCOMMAND, kRecordsetSource);
  internal::Table table = session->Query(std::string(source));
  cursorType_ = cursorType;
  names_ = std::move(table.names);
  rows_ = std::move(table.rows);
  position_ = 0;
  source_ = session;
  open_ = true;
}

ObjectStateEnum Recordset::State() const {
  return open_ && !source_.expired() ? adStateOpen : adStateClosed;
}

void Recordset::RequireOpen() const {
  if (State() != adStateOpen) internal::Raise(adErrObjectClosed, kRecordsetSource);
}

void Recordset::Close() {
  RequireOpen();
  open_ = false;
  names_.clear();
  rows_.clear();
  position_ = 0;
}

VARIANT_BOOL Recordset::Bof() const {
  RequireOpen();
  return rows_.empty() ? VARIANT_TRUE : VARIANT_FALSE;
}

VARIANT_BOOL Recordset::Eof() const {
  RequireOpen();
  return position_ == rows_.size() ? VARIANT_TRUE : VARIANT_FALSE;
}

void Recordset::MoveNext() {
  RequireOpen();
  if (position_ == rows_.size()) internal::Raise(adErrNoCurrentRecord, kRecordsetSource);
  ++position_;
}

void Recordset::MoveFirst() {
  RequireOpen();
  if (rows_.empty()) internal::Raise(adErrNoCurrentRecord, kRecordsetSource);
  position_ = 0;
}

int32_t Recordset::RecordCount() const {
  RequireOpen();
  return static_cast<int32_t>(rows_.size());
}

com::Variant Recordset::FieldValue(std::string_view name) const {
  RequireOpen();
  const auto column = std::find_if(names_.begin(), names_.end(),
                                   [&](const std::string& n) { return EqualsNoCase(n, name); });
  if (column == names_.end()) internal::Raise(adErrItemNotFound, kRecordsetSource);
  if (position_ == rows_.size()) internal::Raise(adErrNoCurrentRecord, kRecordsetSource);
  com::Variant value;
  if (FAILED(value.CopyFrom(rows_[position_][column - names_.begin()]))) {
    throw Error(E_OUTOFMEMORY, kRecordsetSource, "");
  }
  return value;
}

}  // namespace ado
