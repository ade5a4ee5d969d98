// The SMS module's database access classes: thin wrappers over the ADO objects that turn ADO's
// errors into true/false results with a recorded error text, and values into text.
//
// Operations that answer true/false catch ado::Error, record it (RecordError) and answer false;
// constructors, Close, IsOpen, IsBOF, IsEOF, MoveNext and GetRecordCount let ado::Error pass to
// their caller. Texts are code page 949. Each object belongs to one thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ado/ado.h"

// A connection. The recorded error text starts with "Connection String = " and the string.
class CADODataBase {
 public:
  CADODataBase();
  ~CADODataBase();
  CADODataBase(const CADODataBase&) = delete;
  CADODataBase& operator=(const CADODataBase&) = delete;

  // Closes first when open. An empty connection string reuses the one of the last Open.
  bool Open(const std::string& connectionString, const std::string& userId,
            const std::string& password);
  void Close();
  bool IsOpen() const;
  ado::Ref<ado::Connection> GetConnection() const { return connection_; }

  const std::string& LastErrorText() const { return lastError_; }
  HRESULT LastErrorCode() const { return lastErrorCode_; }

 private:
  void RecordError(const ado::Error& error);

  ado::Ref<ado::Connection> connection_;
  std::string connectionString_;
  std::string lastError_;
  HRESULT lastErrorCode_ = 0;
};

// One parameter of a command.
class CADOParameter {
 public:
  // type: an ado::DataTypeEnum; direction: an ado::ParameterDirectionEnum.
  CADOParameter(int32_t type, int32_t size, int32_t direction, const std::string& name);

  bool SetValue(int32_t value);
  bool SetValue(const std::string& value);  // the empty text is sent as NULL
  // The value as text (ValueToText); false, with `value` unchanged, when it has no text form.
  bool GetValue(std::string& value, const std::string& dateFormat);
  ado::Ref<ado::Parameter> GetParameter() const { return parameter_; }

  const std::string& LastErrorText() const { return lastError_; }
  HRESULT LastErrorCode() const { return lastErrorCode_; }

 private:
  void RecordError(const ado::Error& error);

  ado::Ref<ado::Parameter> parameter_;
  std::string name_;
  std::string lastError_;
  HRESULT lastErrorCode_ = 0;
};

// A command on an open connection: ado::adErrInvalidConnection is raised by the constructor
// when the database is not open.
class CADOCommand {
 public:
  CADOCommand(const CADODataBase& database, const std::string& commandText, int32_t commandType);

  bool AddParameter(const CADOParameter& parameter);
  ado::Ref<ado::Command> GetCommand() const { return command_; }
  int32_t GetCommandType() const { return commandType_; }

  const std::string& LastErrorText() const { return lastError_; }
  HRESULT LastErrorCode() const { return lastErrorCode_; }

 private:
  void RecordError(const ado::Error& error);

  ado::Ref<ado::Command> command_;
  int32_t commandType_;
  std::string commandText_;
  std::string lastError_;
  HRESULT lastErrorCode_ = 0;
};

// A result set or cursor. The recorded error text starts with "Query = " and the query.
class CADORecordset {
 public:
  CADORecordset();
  explicit CADORecordset(const CADODataBase& database);  // keeps the database's connection
  ~CADORecordset();
  CADORecordset(const CADORecordset&) = delete;
  CADORecordset& operator=(const CADORecordset&) = delete;

  // Opens a static client-side cursor on the query; closes first. An empty query reuses the
  // last one.
  bool Open(const ado::Ref<ado::Connection>& connection, const std::string& query);
  // Runs the command; the recordset it answers takes this one's place.
  bool Execute(const CADOCommand& command);
  void Close();
  bool IsOpen() const;
  bool IsBOF() const;
  bool IsEOF() const;
  void MoveNext();
  // The number of rows; walks them when the provider cannot tell, ending on the first row.
  int32_t GetRecordCount();
  bool GetFieldValue(const std::string& fieldName, std::string& value,
                     const std::string& dateFormat);

  const std::string& LastErrorText() const { return lastError_; }
  HRESULT LastErrorCode() const { return lastErrorCode_; }

 private:
  void RecordError(const ado::Error& error);

  ado::Ref<ado::Recordset> recordset_;
  ado::Ref<ado::Command> command_;
  ado::Ref<ado::Connection> connection_;
  std::string query_;
  std::string lastError_;
  HRESULT lastErrorCode_ = 0;
};

// The text of a value, as the wrappers read fields and parameters: empty for VT_EMPTY and
// VT_NULL, integers in decimal, VT_BOOL "1"/"0", VT_R4 and VT_R8 (and VT_DECIMAL as a double)
// in the general number format with 10 and 20 digits, VT_DATE through strftime with
// `dateFormat` (empty: "%Y-%m-%d %H:%M:%S"), VT_BSTR in code page 949. False, with `text`
// unchanged, for any other type.
bool ValueToText(const VARIANT& value, const std::string& dateFormat, std::string& text);

// The general number format with `digits` significant digits: fixed notation for decimal
// exponents -1 to digits-1, else a mantissa and a three-digit exponent; trailing zeros go, the
// point stays: 12 -> "12.", 0.5 -> "0.5", 0.00001 -> "1.e-005". The digits are the fewest that
// read back as the same double (at most 17), rounded to `digits` when there are more.
std::string GeneralNumber(double value, int digits);
