#include "sms_sender.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "text/cp949.h"

const char kNoSpreadsheetMessage[] =
    "에러: 데이터를 저장한 엑세스 파일이 설정되지 않았습니다!\n"
    "메뉴의 환경설정=>엑세스경로설정에서 엑세스 파일을 지정해주세요.";

namespace {

constexpr char kSendMessageProcedure[] = "SMS.SMS_SendMessage5";
constexpr char kPollingProcedure[] = "SMS.SMS_SendMessageWithPolling";
constexpr char kSpreadsheetConnectionFormat[] =
    "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\"%s\";User ID=Admin;Password=;Extended "
    "properties=Excel 5.0";
constexpr char kQueryFormat[] = "SELECT [%s], [%s] FROM [%s$]";

// The procedures' parameters, in the order the database expects them.
struct ParameterRow {
  const char* name;
  ado::DataTypeEnum type;
  int32_t size;
  ado::ParameterDirectionEnum direction;
};
constexpr char kPolling[] = "@Polling";
constexpr ParameterRow kParameters[] = {
    {"@UserID", ado::adVarChar, 20, ado::adParamInput},
    {"@Password", ado::adVarChar, 20, ado::adParamInput},
    {"@SendPhone", ado::adVarChar, 15, ado::adParamInput},
    {"@ReceivePhone", ado::adVarChar, 15, ado::adParamInput},
    {"@Message", ado::adVarChar, 200, ado::adParamInput},
    {"@ReserveYear", ado::adInteger, 4, ado::adParamInput},
    {"@ReserveMonth", ado::adInteger, 4, ado::adParamInput},
    {"@ReserveDay", ado::adInteger, 4, ado::adParamInput},
    {"@ReserveHour", ado::adInteger, 4, ado::adParamInput},
    {"@ReserveMinute", ado::adInteger, 4, ado::adParamInput},
    {"@Timeout", ado::adInteger, 4, ado::adParamInput},
    {kPolling, ado::adVarChar, 1024, ado::adParamInput},
    {"@MessageID", ado::adVarChar, 20, ado::adParamOutput},
};

[[gnu::format(printf, 1, 2)]] std::string Format(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  va_list again;
  va_copy(again, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, arguments);
  va_end(arguments);
  std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  std::vsnprintf(text.data(), text.size() + 1, format, again);
  va_end(again);
  return text;
}

// A web server has no one to press OK: the message goes to standard error, which a server
// keeps in its log, in the encoding of the system's texts there.
void ShowMessage(const char* message) {
  std::fprintf(stderr, "%s\n", text::Cp949ToUtf8(message).c_str());
}

}  // namespace

Reservation ReservationFrom(std::string_view reserve, const sys::LocalTime& now) {
  if (reserve.size() != 12) return {now.year, now.month, now.day, now.hour, now.minute};
  const auto piece = [&](size_t at, size_t length) {
    return static_cast<int32_t>(std::atoi(std::string(reserve.substr(at, length)).c_str()));
  };
  return {piece(0, 4), piece(4, 2), piece(6, 2), piece(8, 2), piece(10, 2)};
}

std::string SmsConnectionString() {
  return "Provider=SQLOLEDB;Data Source= " SMS_DATABASE_ADDRESS
         ",2433;Initial Catalog= SMS;User ID= SMSUser;Password= tulipmoss7;port=2433;";
}

CSMSSender::CSMSSender() = default;
CSMSSender::~CSMSSender() = default;

bool CSMSSender::Connect(const std::string& userId, const std::string& userId2,
                         const std::string& password) {
  userId_ = userId;
  userId2_ = userId2;
  password_ = password;
  return database_.Open(SmsConnectionString(), "", "");
}

void CSMSSender::Disconnect() { database_.Close(); }

std::string CSMSSender::SendMessage(const std::string& sendPhone, const std::string& receivePhone,
                                    const std::string& message, const Reservation& reservation,
                                    int32_t timeout) {
  return Send(kSendMessageProcedure, sendPhone, receivePhone, message, reservation, timeout,
              nullptr);
}

std::string CSMSSender::SendMessageWithPolling(const std::string& sendPhone,
                                               const std::string& receivePhone,
                                               const std::string& message,
                                               const Reservation& reservation, int32_t timeout,
                                               const std::string& pollingUrl) {
  return Send(kPollingProcedure, sendPhone, receivePhone, message, reservation, timeout,
              &pollingUrl);
}

std::string CSMSSender::Send(const char* procedure, const std::string& sendPhone,
                             const std::string& receivePhone, const std::string& message,
                             const Reservation& reservation, int32_t timeout,
                             const std::string* pollingUrl) {
  // A command cannot even be built on a connection that is not open: that, like a failed
  // execution, is a send that did not happen.
  try {
    std::vector<std::unique_ptr<CADOParameter>> parameters;
    for (const ParameterRow& row : kParameters) {
      if (std::string_view(row.name) == kPolling && !pollingUrl) continue;
      parameters.push_back(
          std::make_unique<CADOParameter>(row.type, row.size, row.direction, row.name));
    }
    size_t next = 0;
    for (const std::string* text : {&std::as_const(userId_), &std::as_const(password_), &sendPhone,
                                    &receivePhone, &message}) {
      parameters[next++]->SetValue(*text);
    }
    for (const int32_t number : {reservation.year, reservation.month, reservation.day,
                                 reservation.hour, reservation.minute, timeout}) {
      parameters[next++]->SetValue(number);
    }
    if (pollingUrl) parameters[next++]->SetValue(*pollingUrl);

    CADOCommand command(database_, procedure, ado::adCmdStoredProc);
    for (const auto& parameter : parameters) command.AddParameter(*parameter);
    CADORecordset recordset(database_);
    std::string messageId;
    if (recordset.Execute(command)) parameters.back()->GetValue(messageId, "");
    return messageId;
  } catch (const ado::Error&) {
    return {};
  }
}

bool CSMSSender::OpenExcel(const std::string& path) {
  const std::string query =
      Format(kQueryFormat, kSendPhoneColumn, kReceivePhoneColumn, kWorksheet);
  try {
    return OpenSpreadsheet(spreadsheetDatabase_, spreadsheet_, path, query);
  } catch (const ado::Error&) {
    try {
      CloseSpreadsheet(spreadsheetDatabase_, spreadsheet_);
    } catch (const ado::Error&) {
      // Whatever is still open is closed by the next OpenExcel or by destruction.
    }
    return false;
  }
}

std::string CSMSSender::SendExcelMessageWithPolling(std::string& sendPhone,
                                                    std::string& receivePhone,
                                                    const std::string& message,
                                                    const Reservation& reservation,
                                                    int32_t timeout,
                                                    const std::string& pollingUrl) {
  // A closed cursor has no BOF or EOF to ask: no sheet, nothing to send.
  if (!spreadsheet_.IsOpen()) return {};
  if (spreadsheet_.IsBOF() || spreadsheet_.IsEOF() || spreadsheet_.GetRecordCount() == 0) {
    return {};
  }
  spreadsheet_.GetFieldValue(kSendPhoneColumn, sendPhone, "");
  spreadsheet_.GetFieldValue(kReceivePhoneColumn, receivePhone, "");
  if (receivePhone.empty()) return {};
  std::string messageId =
      SendMessageWithPolling(sendPhone, receivePhone, message, reservation, timeout, pollingUrl);
  spreadsheet_.MoveNext();
  return messageId;
}

void CSMSSender::CloseExcel() { CloseSpreadsheet(spreadsheetDatabase_, spreadsheet_); }

bool OpenSpreadsheet(CADODataBase& connection, CADORecordset& cursor, const std::string& path,
                     const std::string& query) {
  if (path.empty()) {
    ShowMessage(kNoSpreadsheetMessage);
    return false;
  }
  if (!connection.Open(Format(kSpreadsheetConnectionFormat, path.c_str()), "", "")) return false;
  if (cursor.Open(connection.GetConnection(), query)) return true;
  connection.Close();
  return false;
}

void CloseSpreadsheet(CADODataBase& connection, CADORecordset& cursor) {
  if (cursor.IsOpen()) cursor.Close();
  if (connection.IsOpen()) connection.Close();
}
