#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "connection.h"

namespace orv {
namespace {

// A fresh directory standing for the module's own, removed with everything in it.
class ModuleDirectory {
 public:
  ModuleDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvconf.XXXXXX").string();
    path_ = std::string(mkdtemp(pattern.data())) + "/";
  }
  ~ModuleDirectory() { std::filesystem::remove_all(path_); }
  const std::string& Path() const { return path_; }
  void WriteOverride(std::string_view text) const {
    std::ofstream(path_ + kGatewayOverrideFile, std::ios::binary) << text;
  }

 private:
  std::string path_;
};

const GatewayAddresses kBase = {"127.0.0.1", "127.0.0.2", "127.0.0.3", "127.0.0.4"};

TEST(GatewayOverride, NamedAddressesReplaceTheBase) {
  struct Case {
    std::string_view text;
    GatewayAddresses expected;
  };
  const Case cases[] = {
      {"", kBase},
      {"# nothing but a comment\n\n", kBase},
      {"primary = 127.1.0.1\nfirst_backup=127.1.0.2\nsecond_backup =127.1.0.3\ntest= 127.1.0.4\n",
       {"127.1.0.1", "127.1.0.2", "127.1.0.3", "127.1.0.4"}},
      {"\ttest\t=\t127.9.9.9\r\n  # a note\r\n",
       {"127.0.0.1", "127.0.0.2", "127.0.0.3", "127.9.9.9"}},
      {"second_backup = 127.20.30.40", {"127.0.0.1", "127.0.0.2", "127.20.30.40", "127.0.0.4"}},
  };
  for (const Case& c : cases) {
    const std::optional<GatewayAddresses> parsed = ParseGatewayOverride(c.text, kBase);
    ASSERT_TRUE(parsed) << c.text;
    EXPECT_EQ(parsed->primary, c.expected.primary) << c.text;
    EXPECT_EQ(parsed->firstBackup, c.expected.firstBackup) << c.text;
    EXPECT_EQ(parsed->secondBackup, c.expected.secondBackup) << c.text;
    EXPECT_EQ(parsed->test, c.expected.test) << c.text;
  }
}

TEST(GatewayOverride, MalformedTextIsRefusedWhole) {
  const std::string_view cases[] = {
      "primary 127.1.0.1",            // no '='
      "backup = 127.1.0.1",           // unknown name
      "Primary = 127.1.0.1",          // names are lower case
      "primary = 127.1.0.1\nprimary = 127.1.0.2",
      "primary = ",
      "primary = 127.1.0",
      "primary = 127.1.0.256",
      "primary = 127.1.0.1 x",
      "primary = 127.1.0.1; test = 127.1.0.2",
      "primary = gateway.example",
      "primary = 0.0.0.0",
      "primary = 255.255.255.255",
      "primary = -1.0.0.1",
      std::string_view("primary = 127.1.0.1\0", 20),
      "test = 127.1.0.4\ngarbage",
  };
  for (const std::string_view text : cases)
    EXPECT_FALSE(ParseGatewayOverride(text, kBase)) << text;
  const std::string oversized = "# " + std::string(5000, 'x') + "\nprimary = 127.1.0.1\n";
  EXPECT_FALSE(ParseGatewayOverride(oversized, kBase));
}

TEST(GatewayAddresses, CompiledValuesAreAddresses) {
  const GatewayAddresses compiled = CompiledGatewayAddresses();
  for (const std::string* address :
       {&compiled.primary, &compiled.firstBackup, &compiled.secondBackup, &compiled.test})
    EXPECT_TRUE(net::ParseIpv4(*address)) << *address;
}

TEST(GatewayAddresses, TheModuleDirectoryFileIsReadOnce) {
  const GatewayAddresses compiled = CompiledGatewayAddresses();
  const ModuleDirectory directory;
  directory.WriteOverride("primary = 127.95.200.1\ntest = 127.95.200.4\n");
  GatewayAddresses addresses = GatewayAddressesOf(directory.Path());
  EXPECT_EQ(addresses.primary, "127.95.200.1");
  EXPECT_EQ(addresses.firstBackup, compiled.firstBackup);
  EXPECT_EQ(addresses.secondBackup, compiled.secondBackup);
  EXPECT_EQ(addresses.test, "127.95.200.4");

  directory.WriteOverride("primary = 127.95.200.9\n");
  EXPECT_EQ(GatewayAddressesOf(directory.Path()).primary, "127.95.200.1");
}

TEST(GatewayAddresses, NoOrBadFileKeepsTheCompiledValues) {
  const GatewayAddresses compiled = CompiledGatewayAddresses();
  const ModuleDirectory missing;
  EXPECT_EQ(GatewayAddressesOf(missing.Path()).primary, compiled.primary);

  const ModuleDirectory garbage;
  garbage.WriteOverride("primary = 127.95.200.1\ntest = nowhere\n");
  EXPECT_EQ(GatewayAddressesOf(garbage.Path()).primary, compiled.primary);
  EXPECT_EQ(GatewayAddressesOf(garbage.Path()).test, compiled.test);

  EXPECT_EQ(GatewayAddressesOf("").primary, compiled.primary);
}

}  // namespace
}  // namespace orv
