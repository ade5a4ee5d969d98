// A refused database login. This program runs alone (RUN_SERIAL): for a moment it changes the
// password of the module's database login, which every other database test relies on.
#include <gtest/gtest.h>

#include "sms_client.h"
#include "test_database.h"

namespace {

// Gives the login another password for its lifetime, through a connection opened before.
class ChangedPassword {
 public:
  ChangedPassword() {
    connection_->Open(SmsConnectionString(), "", "", 0);
    Run("ALTER ROLE \"SMSUser\" PASSWORD 'changed-for-a-test'");
  }
  ~ChangedPassword() { Run("ALTER ROLE \"SMSUser\" PASSWORD 'tulipmoss7'"); }

 private:
  void Run(const std::string& sql) {
    const ado::Ref<ado::Command> command = ado::Command::Create();
    command->PutActiveConnection(connection_);
    command->PutCommandText(sql);
    command->Execute(ado::adCmdText);
  }

  ado::Ref<ado::Connection> connection_ = ado::Connection::Create();
};

TEST(Login, WrongDatabasePasswordIsRecorded) {
  ChangedPassword changed;
  CSMSSender sender;
  EXPECT_FALSE(sender.Connect("user", "", "secret"));
  // The driver chooses the SQLSTATE of a refused login (PostgreSQL's driver says 08001).
  const std::string expected =
      "Connection String = " + SmsConnectionString() + "\nCADODataBase Error\n\tCode = ";
  EXPECT_EQ(sender.Database().LastErrorText().substr(0, expected.size()), expected);
  EXPECT_NE(sender.Database().LastErrorText().find("password authentication failed"),
            std::string::npos)
      << sender.Database().LastErrorText();
  EXPECT_FALSE(sender.Database().IsOpen());
  EXPECT_EQ(sender.SendMessage("0212345678", "01012345678", "m", {2006, 1, 1, 0, 0}, 0), "");

  ISMSClient2* client = nullptr;
  ASSERT_EQ(com::CreateInstance<SMSClient2>(nullptr, ISMSClient2::kIid,
                                            reinterpret_cast<void**>(&client)),
            S_OK);
  EXPECT_EQ(client->OpenConnection(nullptr, nullptr, nullptr), S_FALSE);
  client->Release();
}

}  // namespace
