// The database wrappers over the spreadsheet provider, against the fixtures in sheets/.
#include <gtest/gtest.h>

#include "database.h"
#include "sms_sender.h"

namespace {

std::string Sheet(const char* name) { return std::string(SHEETS_DIR) + "/" + name; }

std::string ConnectionString(const std::string& path) {
  return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\"" + path +
         "\";User ID=Admin;Password=;Extended properties=Excel 5.0";
}

class Spreadsheet : public ::testing::Test {
 protected:
  bool Open(const char* file, const std::string& query) {
    return OpenSpreadsheet(database_, cursor_, Sheet(file), query);
  }
  std::string Field(const std::string& name) {
    std::string value = "unread";
    EXPECT_TRUE(cursor_.GetFieldValue(name, value, "")) << cursor_.LastErrorText();
    return value;
  }

  CADODataBase database_;
  CADORecordset cursor_;
};

TEST_F(Spreadsheet, ReadsEveryRowAsText) {
  ASSERT_TRUE(Open("three_rows.xls", "SELECT [SendPhone], [ReceivePhone], [Name], [Sent] FROM "
                                     "[Sheet1$]"));
  EXPECT_EQ(cursor_.GetRecordCount(), 3);
  EXPECT_FALSE(cursor_.IsBOF());
  EXPECT_EQ(Field("SendPhone"), "0212345678");
  EXPECT_EQ(Field("name"), "홍길동");  // a shared string, read back in code page 949
  EXPECT_EQ(Field("Sent"), "2006-09-27 06:15:45");
  cursor_.MoveNext();
  EXPECT_EQ(Field("SendPhone"), "1588.");  // an integer cell is a number
  EXPECT_EQ(Field("Sent"), "");            // an empty cell
  cursor_.MoveNext();
  EXPECT_EQ(Field("ReceivePhone"), "01055556666");
  cursor_.MoveNext();
  EXPECT_TRUE(cursor_.IsEOF());
  EXPECT_EQ(cursor_.GetRecordCount(), 3);
  EXPECT_THROW(cursor_.MoveNext(), ado::Error);
}

TEST_F(Spreadsheet, Biff5WithCodePage949) {
  ASSERT_TRUE(Open("receivers.xls", "select\t*\nFROM [sheet1$]"));
  EXPECT_EQ(Field("ReceivePhone"), "1012345678.");
  EXPECT_EQ(Field("이름"), "홍길동");
  cursor_.MoveNext();
  EXPECT_EQ(Field("ReceivePhone"), "01012345678");
  EXPECT_EQ(Field("이름"), "김철수");
}

TEST_F(Spreadsheet, HeaderOnlyIsBofAndEof) {
  ASSERT_TRUE(Open("header_only.xls", "SELECT [SendPhone], [ReceivePhone] FROM [Sheet1$]"));
  EXPECT_TRUE(cursor_.IsBOF());
  EXPECT_TRUE(cursor_.IsEOF());
  EXPECT_EQ(cursor_.GetRecordCount(), 0);
}

TEST_F(Spreadsheet, MissingFieldIsRecordedAndLeavesTheText) {
  ASSERT_TRUE(Open("three_rows.xls", "SELECT [SendPhone] FROM [Sheet1$]"));
  std::string value = "kept";
  EXPECT_FALSE(cursor_.GetFieldValue("ReceivePhone", value, ""));
  EXPECT_EQ(value, "kept");
  EXPECT_EQ(cursor_.LastErrorCode(), ado::adErrItemNotFound);
  EXPECT_EQ(cursor_.LastErrorText(),
            "Query = SELECT [SendPhone] FROM [Sheet1$]\n"
            "CADORecordset Error\n\tCode = 800a0cc1\n\tCode meaning = Unknown error 0x800A0CC1\n"
            "\tSource = ADODB.Recordset\n\tDescription = Item cannot be found in the collection "
            "corresponding to the requested name or ordinal.\n");
}

TEST_F(Spreadsheet, QueryErrorReport) {
  ASSERT_TRUE(database_.Open(ConnectionString(Sheet("three_rows.xls")), "", ""));
  EXPECT_FALSE(cursor_.Open(database_.GetConnection(), "  \tSELECT FROM nowhere"));
  EXPECT_EQ(cursor_.LastErrorCode(), ado::DB_E_ERRORSINCOMMAND);
  EXPECT_EQ(cursor_.LastErrorText(),
            "Query = SELECT FROM nowhere\n"
            "CADORecordset Error\n\tCode = 80040e14\n\tCode meaning = IDispatch error #3092\n"
            "\tSource = Microsoft.Jet.OLEDB.4.0\n"
            "\tDescription = Syntax error in query: SELECT FROM nowhere\n");
}

TEST_F(Spreadsheet, WorkbooksThatDoNotOpen) {
  const struct {
    const char* file;
    HRESULT code;
    const char* description;
  } kCases[] = {
      {"not_a_workbook.xls", E_FAIL, "External table is not in the expected format."},
      {"absent.xls", E_FAIL, "Could not find file '"},
      {"with\"quote.xls", ado::DB_E_BADINITSTRING, "Format of the initialization string"},
  };
  for (const auto& c : kCases) {
    CADODataBase database;
    CADORecordset cursor;
    EXPECT_FALSE(OpenSpreadsheet(database, cursor, Sheet(c.file), "SELECT * FROM [Sheet1$]"));
    EXPECT_FALSE(database.IsOpen());
    EXPECT_EQ(database.LastErrorCode(), c.code) << c.file;
    const std::string prefix = "Connection String = " + ConnectionString(Sheet(c.file)) + "\n" +
                               "CADODataBase Error\n\tCode = ";
    EXPECT_EQ(database.LastErrorText().substr(0, prefix.size()), prefix);
    EXPECT_NE(database.LastErrorText().find(c.description), std::string::npos)
        << database.LastErrorText();
  }
}

TEST_F(Spreadsheet, SheetOrColumnMissingClosesTheConnection) {
  EXPECT_FALSE(Open("no_sheet1.xls", "SELECT [SendPhone], [ReceivePhone] FROM [Sheet1$]"));
  EXPECT_EQ(cursor_.LastErrorCode(), ado::DB_E_NOTABLE);
  EXPECT_FALSE(database_.IsOpen());
  EXPECT_FALSE(Open("three_rows.xls", "SELECT [SendPhone], [Fax] FROM [Sheet1$]"));
  EXPECT_EQ(cursor_.LastErrorCode(), ado::DB_E_PARAMNOTOPTIONAL);
  EXPECT_FALSE(database_.IsOpen());
}

TEST_F(Spreadsheet, ClosingTheConnectionClosesTheCursor) {
  ASSERT_TRUE(Open("three_rows.xls", "SELECT * FROM [Sheet1$]"));
  database_.Close();
  EXPECT_FALSE(cursor_.IsOpen());
  EXPECT_THROW(cursor_.IsBOF(), ado::Error);
}

TEST(DataBase, EmptyConnectionStringReusesTheLastOne) {
  CADODataBase database;
  EXPECT_FALSE(database.Open("", "", ""));
  EXPECT_EQ(database.LastErrorCode(), ado::adErrProviderNotFound);
  EXPECT_EQ(database.LastErrorText(),
            "Connection String = \nCADODataBase Error\n\tCode = 800a0e7a\n\tCode meaning = "
            "Unknown error 0x800A0E7A\n\tSource = ADODB.Connection\n\tDescription = Provider "
            "cannot be found. It may not be properly installed.\n");
  const std::string sheet = ConnectionString(Sheet("three_rows.xls"));
  ASSERT_TRUE(database.Open(sheet, "", ""));
  ASSERT_TRUE(database.Open("", "", ""));  // closes, then opens the same workbook again
  EXPECT_TRUE(database.IsOpen());
}

TEST(ErrorMessage, SystemTextsAndTheirStandIns) {
  const struct {
    HRESULT code;
    const char* meaning;
  } kCases[] = {
      {E_FAIL, "Unspecified error"},
      {E_POINTER, "Invalid pointer"},
      {ado::DB_E_ERRORSINCOMMAND, "IDispatch error #3092"},
      {ado::DB_SEC_E_AUTH_FAILED, "IDispatch error #3149"},
      {static_cast<HRESULT>(0x80040200u), "Unknown error 0x80040200"},
      {static_cast<HRESULT>(0x8004FFFFu), "IDispatch error #65023"},
      {static_cast<HRESULT>(0x80050000u), "Unknown error 0x80050000"},
      {ado::adErrObjectClosed, "Unknown error 0x800A0E78"},
  };
  for (const auto& c : kCases) EXPECT_EQ(ado::Error(c.code, "", "").ErrorMessage(), c.meaning);
}

}  // namespace
