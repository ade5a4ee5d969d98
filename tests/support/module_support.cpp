#include "module_support.h"

#include <stdio.h>
#include <sys/wait.h>

#include <sstream>

namespace test {

Outcome Shell(const std::string& command) {
  Outcome outcome{-1, {}};
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return outcome;
  char buffer[256];
  while (fgets(buffer, sizeof buffer, pipe)) outcome.output += buffer;
  const int status = pclose(pipe);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

std::set<std::string> DefinedExports(const std::string& module) {
  std::istringstream lines(Shell(std::string(NM_PATH) + " -D --defined-only " + module).output);
  std::set<std::string> names;
  for (std::string address, kind, name; lines >> address >> kind >> name;) names.insert(name);
  return names;
}

}  // namespace test
