// The registrar and the registry store: ATL script rules, the file, and concurrent updates.
#include <thread>
#include <vector>

#include "com/com.h"
#include "temp_store.h"

namespace {

using Registry = TempStore;

constexpr std::string_view kScript = R"(
HKCR
{
	Thing.Prog = s 'Thing Class'
	{
		CLSID = s '{5C1E7A2B-93D4-4F0A-8B6E-2D7C9A0F1E34}'
	}
	NoRemove CLSID
	{
		ForceRemove {5C1E7A2B-93D4-4F0A-8B6E-2D7C9A0F1E34} = s 'Thing Class'
		{
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Both'
			}
			'Sub Key' = s '100%% sure'
			Count = d '10'
		}
	}
	NoRemove Shared
	{
		val Marker = s 'x'
		Mine = s 'p'
	}
	Delete Obsolete
}
)";

constexpr std::string_view kClassKey = "CLSID\\{5C1E7A2B-93D4-4F0A-8B6E-2D7C9A0F1E34}";

std::string Key(std::string_view tail) { return std::string(kClassKey) + std::string(tail); }

TEST_F(Registry, RegisterWritesKeysValuesAndTheModulePath) {
  ASSERT_EQ(com::RunRegistryScript(kScript, "/opt/it's here/libthing.so", true), S_OK);
  EXPECT_EQ(com::RegistryValue("Thing.Prog"), "Thing Class");
  EXPECT_EQ(com::RegistryValue("thing.prog\\clsid"), "{5C1E7A2B-93D4-4F0A-8B6E-2D7C9A0F1E34}");
  EXPECT_EQ(com::RegistryValue(Key("\\InprocServer32")), "/opt/it's here/libthing.so");
  EXPECT_EQ(com::RegistryValue(Key("\\InprocServer32"), "threadingmodel"), "Both");
  EXPECT_EQ(com::RegistryValue(Key("\\Sub Key")), "100% sure");
  EXPECT_EQ(com::RegistryValue(Key("\\Count")), "10");
  EXPECT_EQ(com::RegistryValue("Shared", "Marker"), "x");
  EXPECT_FALSE(com::RegistryValue(Key("\\InprocServer32"), "Other"));
  EXPECT_FALSE(com::RegistryValue("Nowhere"));
  EXPECT_NE(StoreText().find("[" + Key("\\InprocServer32") +
                             "]\n@=\"/opt/it's here/libthing.so\"\n\"ThreadingModel\"=\"Both\"\n"),
            std::string::npos)
      << StoreText();
}

TEST_F(Registry, ForceRemoveDeleteAndNoRemove) {
  // Keys left by earlier registrations, and keys of other modules.
  ASSERT_EQ(com::RunRegistryScript(R"(HKCR {
      NoRemove CLSID { {5C1E7A2B-93D4-4F0A-8B6E-2D7C9A0F1E34} { Stale { Deeper } } Other = s 'o' }
      Obsolete { Sub }
      NoRemove Shared { Foreign }
    })",
                                   "", true),
            S_OK);
  ASSERT_EQ(com::RunRegistryScript(kScript, "/m.so", true), S_OK);
  EXPECT_FALSE(com::RegistryKeyExists(Key("\\Stale")));  // ForceRemove rewrote the class key
  EXPECT_FALSE(com::RegistryKeyExists("Obsolete"));      // Delete removed it
  EXPECT_TRUE(com::RegistryKeyExists("CLSID\\Other"));

  ASSERT_EQ(com::RunRegistryScript(R"(HKCR { Thing.Prog { Foreign } })", "", true), S_OK);
  ASSERT_EQ(com::RunRegistryScript(kScript, "/m.so", false), S_OK);
  EXPECT_FALSE(com::RegistryKeyExists(kClassKey));  // ForceRemove: all of it
  EXPECT_TRUE(com::RegistryKeyExists("CLSID"));     // NoRemove
  EXPECT_TRUE(com::RegistryKeyExists("CLSID\\Other"));
  EXPECT_TRUE(com::RegistryKeyExists("Thing.Prog\\Foreign"));  // kept: not the script's
  EXPECT_FALSE(com::RegistryKeyExists("Thing.Prog\\CLSID"));
  EXPECT_TRUE(com::RegistryKeyExists("Shared\\Foreign"));
  EXPECT_FALSE(com::RegistryKeyExists("Shared\\Mine"));
  EXPECT_FALSE(com::RegistryValue("Shared", "Marker"));

  ASSERT_EQ(com::RunRegistryScript(R"(HKCR { Thing.Prog { Foreign } })", "", false), S_OK);
  EXPECT_FALSE(com::RegistryKeyExists("Thing.Prog"));  // nothing foreign left beneath it
}

TEST_F(Registry, SyntaxErrorsChangeNothing) {
  const std::string_view bad[] = {
      "HKCR { Key = s 'unterminated }",
      "HKCR { Key = s 'value'",
      "HKLM { Key }",
      "HKCR { Key = s '%OTHER%' }",
      "HKCR { Key = s '50%' }",
      "HKCR { val AtRoot = s 'x' }",
      "HKCR { Key = b '0102' }",
      "HKCR { Key = s unquoted }",
      "HKCR { Key = d '12x' }",
      "HKCR { 'a\\b' }",
      "HKCR { '' }",
      "HKCR { Key } }",
  };
  for (std::string_view script : bad) {
    EXPECT_EQ(com::RunRegistryScript(script, "/m.so", true), DISP_E_EXCEPTION) << script;
    EXPECT_FALSE(std::filesystem::exists(store_)) << script;
  }
  std::string deep = "HKCR {";
  for (int i = 0; i < 100; ++i) deep += " K {";
  deep += std::string(101, '}');
  EXPECT_EQ(com::RunRegistryScript(deep, "", true), DISP_E_EXCEPTION);
}

TEST_F(Registry, StoreFileKeepsAnyTextAndRefusesAMalformedFile) {
  ASSERT_EQ(com::RunRegistryScript("HKCR { Odd { val 'q\"b\\s' = s '%MODULE%' } }",
                                   "line\nbreak \"quoted\" back\\slash", true),
            S_OK);
  EXPECT_EQ(com::RegistryValue("ODD", "Q\"B\\S"), "line\nbreak \"quoted\" back\\slash");
  EXPECT_NE(StoreText().find("\"q\\\"b\\\\s\"=\"line\\nbreak \\\"quoted\\\" back\\\\slash\""),
            std::string::npos)
      << StoreText();

  std::ofstream(store_) << "[Key]\n\"broken\n";
  EXPECT_FALSE(com::RegistryValue("Key", "broken"));
  EXPECT_EQ(com::RunRegistryScript("HKCR { Other }", "", true), REGDB_E_READREGDB);
}

TEST_F(Registry, ConcurrentRegistrationsKeepEveryKey) {
  constexpr int kThreads = 4, kEach = 5;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kEach; ++i) {
        const std::string script = "HKCR { NoRemove Concurrent { T" + std::to_string(t) + "_" +
                                   std::to_string(i) + " = s '%MODULE%' } }";
        EXPECT_EQ(com::RunRegistryScript(script, std::to_string(t * 100 + i), true), S_OK);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t)
    for (int i = 0; i < kEach; ++i)
      EXPECT_EQ(com::RegistryValue("Concurrent\\T" + std::to_string(t) + "_" + std::to_string(i)),
                std::to_string(t * 100 + i));
}

}  // namespace
