// Support for the tests of the COM modules: running the tools a test needs and reading what a
// module exports.
#pragma once

#include <set>
#include <string>

namespace test {

struct Outcome {
  int status;          // the exit status; -1 when the command did not exit normally
  std::string output;  // standard output and standard error together
};

Outcome Shell(const std::string& command);

// The dynamic symbols `module` defines, as nm reads them.
std::set<std::string> DefinedExports(const std::string& module);

// What every module exports, and nothing else.
inline const std::set<std::string> kComEntryPoints = {
    "DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"};

}  // namespace test
