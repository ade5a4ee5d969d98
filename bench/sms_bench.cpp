// SendMessage calls per second against the SMS test database (a local PostgreSQL cluster that
// this program starts and removes with tests/textwellcom/sms_database.sh), next to the same
// stored procedure called through bare ODBC calls. The ratio of the two is the figure: what the
// engine, the wrappers and the ADO layer add to a send.
//
// Run it while no test run uses the SMS test database (both take port 2433).
#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "sms_sender.h"

namespace {

const Reservation kWhen{2006, 12, 25, 10, 30};

void SendMessage(benchmark::State& state) {
  CSMSSender sender;
  if (!sender.Connect("bench", "", "secret")) {
    state.SkipWithError(sender.Database().LastErrorText().c_str());
    return;
  }
  for (auto _ : state) {
    const std::string id = sender.SendMessage("0212345678", "01012345678", "bench", kWhen, 0);
    if (id.empty()) state.SkipWithError("SendMessage failed");
    benchmark::DoNotOptimize(id);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(SendMessage)->UseRealTime();

// The reference: one statement per call, the same twelve parameters bound by position.
void BareOdbc(benchmark::State& state) {
  SQLHENV environment;
  SQLHDBC connection;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment);
  SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3),
                0);
  SQLAllocHandle(SQL_HANDLE_DBC, environment, &connection);
  const std::string text = "DRIVER={" SQLOLEDB_ODBC_DRIVER
                           "};SERVER=127.0.0.1;PORT=2433;DATABASE=SMS;UID=SMSUser;"
                           "PWD=tulipmoss7;";
  if (!SQL_SUCCEEDED(SQLDriverConnect(connection, nullptr,
                                      reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str())),
                                      SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT))) {
    state.SkipWithError("SQLDriverConnect failed");
  } else {
    char texts[5][16] = {"bench", "secret", "0212345678", "01012345678", "bench"};
    int32_t numbers[6] = {2006, 12, 25, 10, 30, 0};
    char messageId[21];
    SQLLEN lengths[12];
    for (auto _ : state) {
      SQLHSTMT statement;
      SQLAllocHandle(SQL_HANDLE_STMT, connection, &statement);
      for (int i = 0; i < 5; ++i) {
        lengths[i] = static_cast<SQLLEN>(std::strlen(texts[i]));
        SQLBindParameter(statement, i + 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0,
                         texts[i], sizeof texts[i], &lengths[i]);
      }
      for (int i = 0; i < 6; ++i) {
        lengths[5 + i] = 0;
        SQLBindParameter(statement, 6 + i, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                         &numbers[i], 0, &lengths[5 + i]);
      }
      SQLBindParameter(statement, 12, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0,
                       messageId, sizeof messageId, &lengths[11]);
      const SQLRETURN rc = SQLExecDirect(
          statement,
          reinterpret_cast<SQLCHAR*>(
              const_cast<char*>("{call SMS.SMS_SendMessage5(?,?,?,?,?,?,?,?,?,?,?,?)}")),
          SQL_NTS);
      if (!SQL_SUCCEEDED(rc)) state.SkipWithError("SQLExecDirect failed");
      while (SQLMoreResults(statement) != SQL_NO_DATA) {
      }
      benchmark::DoNotOptimize(messageId);
      SQLFreeHandle(SQL_HANDLE_STMT, statement);
    }
    SQLDisconnect(connection);
  }
  SQLFreeHandle(SQL_HANDLE_DBC, connection);
  SQLFreeHandle(SQL_HANDLE_ENV, environment);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BareOdbc)->UseRealTime();

bool Database(const char* action) {
  const std::string command = std::string(SMS_DATABASE_SCRIPT) + " " + action;
  return std::system(command.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  setenv("ODBCSYSINI", ODBC_INI_DIR, 1);
  setenv("PGCLIENTENCODING", "UHC", 1);
  if (!Database("start")) {
    std::fprintf(stderr, "sms_bench: the SMS test database did not start\n");
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return Database("stop") ? 0 : 1;
}
