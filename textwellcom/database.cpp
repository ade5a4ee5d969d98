#include <cstdio>

#include "database.h"

namespace {

// The error reports of the four classes, in their own words.
constexpr char kDataBaseReport[] =
    "CADODataBase Error\n\tCode = %08lx\n\tCode meaning = %s\n\tSource = %s\n\tDescription = %s\n";
constexpr char kRecordsetReport[] =
    "CADORecordset Error\n\tCode = %08lx\n\tCode meaning = %s\n\tSource = %s\n\tDescription = %s\n";
constexpr char kCommandReport[] =
    "CADOCommand Error\n\tCode = %08lx\n\tCode meaning = %s\n\tSource = %s\n\tDescription = %s\n";
constexpr char kParameterReport[] =
    "CADOParameter Error\n\tCode = %08lx\n\tCode meaning = %s\n\tSource = %s\n\tDescription = %s\n";

std::string Report(const char* format, const ado::Error& error) {
  const unsigned long code = static_cast<uint32_t>(error.Code());
  const std::string meaning = error.ErrorMessage();
  const int length = std::snprintf(nullptr, 0, format, code, meaning.c_str(),
                                   error.Source().c_str(), error.Description().c_str());
  std::string report(static_cast<size_t>(length), '\0');
  std::snprintf(report.data(), report.size() + 1, format, code, meaning.c_str(),
                error.Source().c_str(), error.Description().c_str());
  return report;
}

com::Variant TextValue(const std::string& text) {
  return text.empty() ? com::Variant::Null() : com::Variant(com::Bstr::FromCp949(text));
}

}  // namespace

// ---- CADODataBase

// Apartments do not exist here, so there is no COM initialisation to make or balance.
CADODataBase::CADODataBase() : connection_(ado::Connection::Create()) {}

CADODataBase::~CADODataBase() {
  try {
    Close();
  } catch (const ado::Error&) {
    // A destructor has no one to tell; the connection goes with the reference below.
  }
}

bool CADODataBase::Open(const std::string& connectionString, const std::string& userId,
                        const std::string& password) {
  try {
    if (IsOpen()) Close();
    if (!connectionString.empty()) connectionString_ = connectionString;
    connection_->Open(connectionString_, userId, password, 0);
    return true;
  } catch (const ado::Error& error) {
    RecordError(error);
    return false;
  }
}

void CADODataBase::Close() {
  if (IsOpen()) connection_->Close();
}

bool CADODataBase::IsOpen() const {
  return connection_ && connection_->State() != ado::adStateClosed;
}

void CADODataBase::RecordError(const ado::Error& error) {
  lastError_ = "Connection String = " + connectionString_ + "\n" + Report(kDataBaseReport, error);
  lastErrorCode_ = error.Code();
}

// ---- CADOParameter

CADOParameter::CADOParameter(int32_t type, int32_t size, int32_t direction,
                             const std::string& name)
    : parameter_(ado::Parameter::Create()) {
  parameter_->PutDirection(static_cast<ado::ParameterDirectionEnum>(direction));
  name_ = name;
  parameter_->PutName(name);
  parameter_->PutType(static_cast<ado::DataTypeEnum>(type));
  parameter_->PutSize(size);
}

bool CADOParameter::SetValue(int32_t value) {
  try {
    if (parameter_->Size() == 0) parameter_->PutSize(4);
    parameter_->PutValue(com::Variant(value));
    return true;
  } catch (const ado::Error& error) {
    RecordError(error);
    return false;
  }
}

bool CADOParameter::SetValue(const std::string& value) {
  try {
    const com::Variant variant = TextValue(value);
    if (parameter_->Size() == 0) parameter_->PutSize(static_cast<int32_t>(value.size()));
    parameter_->PutValue(variant);
    return true;
  } catch (const ado::Error& error) {
    RecordError(error);
    return false;
  }
}

bool CADOParameter::GetValue(std::string& value, const std::string& dateFormat) {
  try {
    return ValueToText(parameter_->Value(), dateFormat, value);
  } catch (const ado::Error& error) {
    RecordError(error);
    return false;
  }
}

void CADOParameter::RecordError(const ado::Error& error) {
  lastError_ = Report(kParameterReport, error);
  lastErrorCode_ = error.Code();
}

// ---- CADOCommand

CADOCommand::CADOCommand(const CADODataBase& database, const std::string& commandText,
                         int32_t commandType)
    : command_(ado::Command::Create()), commandType_(commandType), commandText_(commandText) {
  command_->PutCommandText(commandText);
  command_->PutCommandType(static_cast<ado::CommandTypeEnum>(commandType));
  command_->PutActiveConnection(database.GetConnection());
}

bool CADOCommand::AddParameter(const CADOParameter& parameter) {
  try {
    command_->AppendParameter(parameter.GetParameter());
    return true;
  } catch (const ado::Error& error) {
    RecordError(error);
    return false;
  }
}

void CADOCommand::RecordError(const ado::Error& error) {
  lastError_ = Report(kCommandReport, error);
  lastErrorCode_ = error.Code();
}

// ---- CADORecordset

CADORecordset::CADORecordset()
    : recordset_(ado::Recordset::Create()), command_(ado::Command::Create()) {}

CADORecordset::CADORecordset(const CADODataBase& database) : CADORecordset() {
  connection_ = database.GetConnection();
}

CADORecordset::~CADORecordset() {
  try {
    Close();
  } catch (const ado::Error&) {
    // As for the connection: nothing to report to, the recordset goes with its reference.
  }
}

bool CADORecordset::Open(const ado::Ref<ado::Connection>& connection, const std::string& query) {
  Close();
  if (!query.empty()) query_ = query;
  query_.erase(0, query_.find_first_not_of(" \t\r\n\v\f"));
  try {
    recordset_->PutCursorType(ado::adOpenStatic);
    recordset_->PutCursorLocation(ado::adUseClient);
    recordset_->Open(query_, connection, ado::adOpenStatic, ado::adLockOptimistic,
                     ado::adCmdUnknown);
    return static_cast<bool>(recordset_);
  } catch (const ado::Error& error) {
    RecordError(error);
    return false;
  }
}

bool CADORecordset::Execute(const CADOCommand& command) {
  try {
    if (IsOpen()) Close();
    connection_->PutCursorLocation(ado::adUseClient);
    recordset_ = command.GetCommand()->Execute(command.GetCommandType());
    return true;
  } catch (const ado::Error& error) {
    RecordError(error);
    return false;
  }
}

void CADORecordset::Close() {
  if (IsOpen()) recordset_->Close();
}

bool CADORecordset::IsOpen() const {
  return recordset_ && recordset_->State() != ado::adStateClosed;
}

bool CADORecordset::IsBOF() const { return recordset_->Bof() == VARIANT_TRUE; }

bool CADORecordset::IsEOF() const { return recordset_->Eof() == VARIANT_TRUE; }

void CADORecordset::MoveNext() { recordset_->MoveNext(); }

int32_t CADORecordset::GetRecordCount() {
  const int32_t count = recordset_->RecordCount();
  if (count != -1) return count;
  int32_t walked = 0;
  if (!IsEOF()) recordset_->MoveFirst();
  for (; !IsEOF(); recordset_->MoveNext()) ++walked;
  if (walked > 0) recordset_->MoveFirst();
  return walked;
}

bool CADORecordset::GetFieldValue(const std::string& fieldName, std::string& value,
                                  const std::string& dateFormat) {
  try {
    return ValueToText(recordset_->FieldValue(fieldName), dateFormat, value);
  } catch (const ado::Error& error) {
    RecordError(error);
    return false;
  }
}

void CADORecordset::RecordError(const ado::Error& error) {
  lastError_ = "Query = " + query_ + "\n" + Report(kRecordsetReport, error);
  lastErrorCode_ = error.Code();
}
