// The SMS test database (sms_database.sh) as the tests reach it, and what it recorded.
#pragma once

#include <stdlib.h>

#include <optional>
#include <string>
#include <vector>

#include "database.h"
#include "sms_sender.h"

// The tests' odbcinst.ini, whose driver entry is PostgreSQL's driver under the name the
// provider asks for; and the client encoding of the module's texts, code page 949 (UHC to
// PostgreSQL). Set before main, for every test of the program.
inline const bool kTestDatabaseEnvironment = setenv("ODBCSYSINI", ODBC_INI_DIR, 1) == 0 &&
                                             setenv("PGCLIENTENCODING", "UHC", 1) == 0;

// The calls made with one user ID, oldest first, each as its columns in parameter order (NULL
// as nullopt), preceded by the routine's name and followed by the message identifier answered.
using Recorded = std::vector<std::optional<std::string>>;

inline std::vector<Recorded> RecordedCalls(const std::string& userId) {
  static const char* const kColumns[] = {
      "Routine",      "UserID",     "Password",     "SendPhone",   "ReceivePhone",
      "Message",      "ReserveYear", "ReserveMonth", "ReserveDay", "ReserveHour",
      "ReserveMinute", "Timeout",   "Polling",      "MessageID"};
  const ado::Ref<ado::Connection> connection = ado::Connection::Create();
  connection->Open(SmsConnectionString(), "", "", 0);
  const ado::Ref<ado::Recordset> calls = ado::Recordset::Create();
  calls->Open("SELECT * FROM SMS.Calls WHERE UserID = '" + userId + "' ORDER BY CallNumber",
              connection, ado::adOpenStatic, ado::adLockReadOnly, ado::adCmdText);
  std::vector<Recorded> recorded;
  for (; calls->Eof() != VARIANT_TRUE; calls->MoveNext()) {
    Recorded& call = recorded.emplace_back();
    for (const char* column : kColumns) {
      const com::Variant value = calls->FieldValue(column);
      std::string text;
      if (value.vt == VT_NULL || !ValueToText(value, "", text)) {
        call.push_back(std::nullopt);
      } else {
        call.push_back(text);
      }
    }
  }
  return recorded;
}
