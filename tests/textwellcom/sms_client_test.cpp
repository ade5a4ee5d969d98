// SMSClient2 against the SMS test database (a real PostgreSQL server, see sms_database.sh):
// what each send hands to the stored procedures, and how failures come back to the script.
// Every test uses user IDs of its own, so tests may run in parallel on one database.
#include <gtest/gtest.h>

#include "test_database.h"
#include "sms_client.h"

namespace {

using std::nullopt;

class Client : public ::testing::Test {
 protected:
  Client() {
    client_ = nullptr;
    EXPECT_EQ(com::CreateInstance<SMSClient2>(nullptr, ISMSClient2::kIid,
                                              reinterpret_cast<void**>(&client_)),
              S_OK);
  }
  ~Client() override {
    if (client_) client_->Release();
  }

  HRESULT Open(const char16_t* userId, const char16_t* password = u"secret") {
    return client_->OpenConnection(com::Bstr(userId).Get(), com::Bstr(u"second").Get(),
                                   com::Bstr(password).Get());
  }
  HRESULT Send(const char16_t* reserve, const char16_t* message = u"", int32_t timeout = 0) {
    return client_->SendMessage(com::Bstr(u"0212345678").Get(), com::Bstr(u"01012345678").Get(),
                                com::Bstr(message).Get(), com::Bstr(reserve).Get(), timeout,
                                result_.Receive());
  }
  std::string Result() const {
    EXPECT_EQ(result_.vt, VT_BSTR);
    EXPECT_NE(result_.bstrVal, nullptr);  // an empty BSTR, never a null one
    return com::ToCp949(result_.bstrVal);
  }

  ISMSClient2* client_;
  com::Variant result_;
};

TEST_F(Client, SendMessageHandsEveryParameterInOrder) {
  ASSERT_EQ(Open(u"order"), S_OK);
  ASSERT_EQ(Send(u"200612251030", u"", 40000), S_OK);
  const std::string first = Result();
  EXPECT_EQ(first.substr(0, 3), "MSG");
  ASSERT_EQ(client_->SendMessageWithPolling(
                com::Bstr(u"").Get(), com::Bstr(u"01099998888").Get(),
                com::Bstr(u"안녕하세요, 문자 시험입니다").Get(), com::Bstr(u"2006-12-2510").Get(), -5,
                com::Bstr(u"http://127.0.0.1/poll?id=1").Get(), result_.Receive()),
            S_OK);
  EXPECT_NE(Result(), first);
  const std::vector<Recorded> expected = {
      {"SMS_SendMessage5", "order", "secret", "0212345678", "01012345678", nullopt, "2006", "12",
       "25", "10", "30", "40000", nullopt, first},
      {"SMS_SendMessageWithPolling", "order", "secret", nullopt, "01099998888",
       "안녕하세요, 문자 시험입니다", "2006", "-1", "2", "25", "10", "-5",
       "http://127.0.0.1/poll?id=1", Result()},
  };
  EXPECT_EQ(RecordedCalls("order"), expected);
}

TEST_F(Client, ReservationNumbersReachTheDatabase) {
  ASSERT_EQ(Open(u"reserve"), S_OK);
  const struct {
    const char16_t* reserve;
    std::optional<Recorded> numbers;  // nullopt: the time of the call
  } kCases[] = {
      {u"200612251030", Recorded{"2006", "12", "25", "10", "30"}},
      {u"2006-12-2510", Recorded{"2006", "-1", "2", "25", "10"}},
      {u"abcd12251030", Recorded{"0", "12", "25", "10", "30"}},
      {u"", nullopt},
      {u"20061225", nullopt},
      {u"2006122510300", nullopt},
  };
  for (const auto& c : kCases) {
    const sys::LocalTime before = sys::Now();
    ASSERT_EQ(Send(c.reserve), S_OK);
    const sys::LocalTime after = sys::Now();
    const Recorded call = RecordedCalls("reserve").back();
    const Recorded numbers(call.begin() + 6, call.begin() + 11);
    const auto at = [](const sys::LocalTime& t) {
      return Recorded{std::to_string(t.year), std::to_string(t.month), std::to_string(t.day),
                      std::to_string(t.hour), std::to_string(t.minute)};
    };
    if (c.numbers) {
      EXPECT_EQ(numbers, *c.numbers);
    } else {
      EXPECT_TRUE(numbers == at(before) || numbers == at(after))
          << std::u16string_view(c.reserve).size();
    }
  }
}

TEST_F(Client, FailedSendsAnswerAnEmptyText) {
  for (const char16_t* userId : {u"raise", u"no-id", u"empty-id"}) {
    ASSERT_EQ(Open(userId), S_OK);
    result_ = com::Variant(u"old value");  // an [out] that held something is freed, not leaked
    EXPECT_EQ(Send(u""), S_FALSE);
    EXPECT_EQ(Result(), "");
  }
}

TEST_F(Client, SendOutsideAnOpenConnection) {
  EXPECT_EQ(Send(u"200612251030"), S_FALSE);
  EXPECT_EQ(Result(), "");
  ASSERT_EQ(Open(u"shutdown"), S_OK);
  ASSERT_EQ(Send(u"200612251030"), S_OK);
  EXPECT_EQ(client_->ShutdownConnection(), S_OK);
  EXPECT_EQ(client_->ShutdownConnection(), S_OK);
  EXPECT_EQ(Send(u"200612251030"), S_FALSE);
  EXPECT_EQ(Result(), "");
  EXPECT_EQ(RecordedCalls("shutdown").size(), 1u);
  ASSERT_EQ(Open(u"shutdown"), S_OK);  // and again, on the same object
  EXPECT_EQ(Send(u"200612251030"), S_OK);
}

TEST_F(Client, SecondOpenConnectionReplacesTheAccount) {
  ASSERT_EQ(Open(u"first"), S_OK);
  ASSERT_EQ(Open(u"second-account", u"other"), S_OK);
  ASSERT_EQ(Send(u"200612251030"), S_OK);
  EXPECT_TRUE(RecordedCalls("first").empty());
  const std::vector<Recorded> calls = RecordedCalls("second-account");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0][2], "other");
}

// ---- spreadsheet batches

class Batch : public Client {
 protected:
  HRESULT OpenSheet(const char* file) {
    return client_->OpenExcel(
        com::Bstr::FromCp949(std::string(SHEETS_DIR) + "/" + file).Get());
  }
  // One SendExcelMessageWithPolling: the result and the three [out] texts.
  struct Row {
    HRESULT hr;
    std::string sendPhone, receivePhone, messageId;
  };
  Row Next() {
    com::Variant sendPhone, receivePhone;
    const HRESULT hr = client_->SendExcelMessageWithPolling(
        sendPhone.Receive(), receivePhone.Receive(), com::Bstr(u"batch").Get(),
        com::Bstr(u"200612251030").Get(), 30, com::Bstr(u"").Get(), result_.Receive());
    for (const com::Variant* out : {&sendPhone, &receivePhone, &result_}) {
      EXPECT_EQ(out->vt, VT_BSTR);
      EXPECT_NE(out->bstrVal, nullptr);
    }
    return {hr, com::ToCp949(sendPhone.bstrVal), com::ToCp949(receivePhone.bstrVal), Result()};
  }
  static std::vector<std::string> Receivers(const std::string& userId) {
    std::vector<std::string> receivers;
    for (const Recorded& call : RecordedCalls(userId)) receivers.push_back(call[4].value_or("NULL"));
    return receivers;
  }
};

TEST_F(Batch, ThreeRowsThenTheEnd) {
  ASSERT_EQ(Open(u"batch-three"), S_OK);
  ASSERT_EQ(OpenSheet("three_rows.xls"), S_OK);
  const std::pair<const char*, const char*> kRows[] = {
      {"0212345678", "01011112222"}, {"1588.", "01033334444"}, {"0312223333", "01055556666"}};
  for (const auto& [sender, receiver] : kRows) {
    const Row row = Next();
    EXPECT_EQ(row.hr, S_OK);
    EXPECT_EQ(row.sendPhone, sender);
    EXPECT_EQ(row.receivePhone, receiver);
    EXPECT_EQ(row.messageId.substr(0, 3), "MSG");
  }
  for (int i = 0; i < 2; ++i) {
    const Row end = Next();
    EXPECT_EQ(end.hr, S_FALSE);
    EXPECT_EQ(end.sendPhone + end.receivePhone + end.messageId, "");
  }
  const std::vector<Recorded> calls = RecordedCalls("batch-three");
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[1],
            (Recorded{"SMS_SendMessageWithPolling", "batch-three", "secret", "1588.",
                      "01033334444", "batch", "2006", "12", "25", "10", "30", "30", nullopt,
                      calls[1][13]}));
  EXPECT_EQ(client_->CloseExcel(), S_OK);
  EXPECT_EQ(client_->CloseExcel(), S_OK);
  EXPECT_EQ(Next().hr, S_FALSE);
}

TEST_F(Batch, EmptyReceiverStopsTheBatch) {
  ASSERT_EQ(Open(u"batch-stop"), S_OK);
  ASSERT_EQ(OpenSheet("empty_receiver.xls"), S_OK);
  EXPECT_EQ(Next().hr, S_OK);
  for (int i = 0; i < 3; ++i) {
    const Row stopped = Next();
    EXPECT_EQ(stopped.hr, S_FALSE);
    EXPECT_EQ(stopped.sendPhone, "0233334444");
    EXPECT_EQ(stopped.receivePhone, "");
    EXPECT_EQ(stopped.messageId, "");
  }
  EXPECT_EQ(Receivers("batch-stop"), std::vector<std::string>{"01011112222"});
}

TEST_F(Batch, NumericAndTextReceivers) {
  ASSERT_EQ(Open(u"batch-numbers"), S_OK);
  ASSERT_EQ(OpenSheet("receivers.xls"), S_OK);
  EXPECT_EQ(Next().receivePhone, "1012345678.");
  EXPECT_EQ(Next().receivePhone, "01012345678");
  EXPECT_EQ(Receivers("batch-numbers"), (std::vector<std::string>{"1012345678.", "01012345678"}));
}

TEST_F(Batch, FailedSendMovesOn) {
  ASSERT_EQ(Open(u"raise"), S_OK);
  ASSERT_EQ(OpenSheet("three_rows.xls"), S_OK);
  const Row first = Next();
  EXPECT_EQ(first.hr, S_FALSE);
  EXPECT_EQ(first.sendPhone, "0212345678");
  EXPECT_EQ(first.messageId, "");
  EXPECT_EQ(Next().sendPhone, "1588.");
}

TEST_F(Batch, SheetsThatDoNotOpen) {
  ASSERT_EQ(Open(u"batch-none"), S_OK);
  EXPECT_EQ(Next().hr, S_FALSE);  // before any OpenExcel
  for (const char* file : {"no_sheet1.xls", "not_a_workbook.xls", "absent.xls"}) {
    EXPECT_EQ(OpenSheet(file), S_FALSE) << file;
    const Row row = Next();
    EXPECT_EQ(row.hr, S_FALSE);
    EXPECT_EQ(row.sendPhone + row.receivePhone + row.messageId, "");
  }
  ASSERT_EQ(OpenSheet("header_only.xls"), S_OK);
  EXPECT_EQ(Next().hr, S_FALSE);
  ASSERT_EQ(OpenSheet("three_rows.xls"), S_OK);
  EXPECT_EQ(OpenSheet("not_a_workbook.xls"), S_FALSE);  // the open sheet goes too
  EXPECT_EQ(Next().hr, S_FALSE);
  EXPECT_TRUE(RecordedCalls("batch-none").empty());
}

}  // namespace
