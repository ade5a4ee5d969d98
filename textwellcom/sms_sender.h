// The SMS sending engine behind each SMSClient2 object: the SMS database connection with the
// customer's stored account, single sends through the database's stored procedures, and batch
// sending from a spreadsheet, one row per call. Texts are code page 949. Failures are results
// (false, an empty message identifier); no ado::Error escapes. One thread uses an object at a
// time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "database.h"
#include "sys/sys.h"

// The reservation time a message is sent with.
struct Reservation {
  int32_t year, month, day, hour, minute;
  friend bool operator==(const Reservation&, const Reservation&) = default;
};

// A reservation text of exactly 12 characters is read as YYYYMMDDhhmm, each piece as atoi
// reads it (no range check); any other text gives the time `now`.
Reservation ReservationFrom(std::string_view reserve, const sys::LocalTime& now);
inline Reservation ReservationFrom(std::string_view reserve) {
  return ReservationFrom(reserve, sys::Now());
}

// The fixed connection string of the SMS database, at the deployment's server address.
std::string SmsConnectionString();

// The spreadsheet batch: the sheet and columns read, and the message for an empty path.
inline constexpr char kWorksheet[] = "Sheet1";
inline constexpr char kSendPhoneColumn[] = "SendPhone";
inline constexpr char kReceivePhoneColumn[] = "ReceivePhone";
extern const char kNoSpreadsheetMessage[];

class CSMSSender {
 public:
  CSMSSender();
  virtual ~CSMSSender();
  CSMSSender(const CSMSSender&) = delete;
  CSMSSender& operator=(const CSMSSender&) = delete;

  // Stores the account (also when the connection then fails) and opens the SMS database.
  bool Connect(const std::string& userId, const std::string& userId2,
               const std::string& password);
  void Disconnect();
  // The message identifier that the database assigned; empty when the send failed.
  std::string SendMessage(const std::string& sendPhone, const std::string& receivePhone,
                          const std::string& message, const Reservation& reservation,
                          int32_t timeout);
  std::string SendMessageWithPolling(const std::string& sendPhone,
                                     const std::string& receivePhone, const std::string& message,
                                     const Reservation& reservation, int32_t timeout,
                                     const std::string& pollingUrl);

  // An empty path writes kNoSpreadsheetMessage to standard error and answers false.
  bool OpenExcel(const std::string& path);
  // Sends for the current row and moves on; `sendPhone` and `receivePhone` receive the row's
  // numbers. Empty at the end of the sheet, for a row without a receiver (which stays current)
  // and when the send fails.
  std::string SendExcelMessageWithPolling(std::string& sendPhone, std::string& receivePhone,
                                          const std::string& message,
                                          const Reservation& reservation, int32_t timeout,
                                          const std::string& pollingUrl);
  void CloseExcel();

  const CADODataBase& Database() const { return database_; }
  const CADODataBase& SpreadsheetDatabase() const { return spreadsheetDatabase_; }

 private:
  std::string Send(const char* procedure, const std::string& sendPhone,
                   const std::string& receivePhone, const std::string& message,
                   const Reservation& reservation, int32_t timeout, const std::string* pollingUrl);

  CADODataBase database_;
  std::string password_;
  std::string userId2_;  // kept, never sent
  std::string userId_;
  CADODataBase spreadsheetDatabase_;
  CADORecordset spreadsheet_;
};

// The spreadsheet helpers: open `connection` on the workbook at `path` and `cursor` on `query`;
// close both.
bool OpenSpreadsheet(CADODataBase& connection, CADORecordset& cursor, const std::string& path,
                     const std::string& query);
void CloseSpreadsheet(CADODataBase& connection, CADORecordset& cursor);
