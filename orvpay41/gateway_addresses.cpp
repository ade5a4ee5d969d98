#include <array>
#include <fstream>
#include <map>
#include <mutex>

#include "connection.h"

namespace orv {

namespace {

constexpr size_t kOverrideLimit = 4096;

struct OverrideName {
  std::string_view name;
  std::string GatewayAddresses::*member;
};

constexpr std::array kOverrideNames = {
    OverrideName{"primary", &GatewayAddresses::primary},
    OverrideName{"first_backup", &GatewayAddresses::firstBackup},
    OverrideName{"second_backup", &GatewayAddresses::secondBackup},
    OverrideName{"test", &GatewayAddresses::test},
};

std::string_view Trim(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\r";
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// The address of one "name = address" line put into `addresses`; false when the line is
// not such a line or names an entry already set.
bool ApplyOverrideLine(std::string_view line, GatewayAddresses& addresses,
                       std::array<bool, kOverrideNames.size()>& seen) {
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos) return false;
  const std::string_view name = Trim(line.substr(0, equals));
  const std::optional<uint32_t> address = net::ParseIpv4(Trim(line.substr(equals + 1)));
  if (!address || *address == 0 || *address == 0xFFFFFFFF) return false;
  for (size_t i = 0; i < kOverrideNames.size(); ++i) {
    if (kOverrideNames[i].name != name) continue;
    if (seen[i]) return false;
    seen[i] = true;
    addresses.*kOverrideNames[i].member = net::FormatIpv4(*address);
    return true;
  }
  return false;
}

// The file's first kOverrideLimit + 1 bytes: enough to tell an oversized file.
std::string ReadOverrideFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::string text(kOverrideLimit + 1, '\0');
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(file.gcount()));
  return text;
}

}  // namespace

GatewayAddresses CompiledGatewayAddresses() {
  return {GATEWAY_PRIMARY_ADDRESS, GATEWAY_FIRST_BACKUP_ADDRESS, GATEWAY_SECOND_BACKUP_ADDRESS,
          GATEWAY_TEST_ADDRESS};
}

std::optional<GatewayAddresses> ParseGatewayOverride(std::string_view text,
                                                     GatewayAddresses base) {
  if (text.size() > kOverrideLimit) return std::nullopt;
  std::array<bool, kOverrideNames.size()> seen{};
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = Trim(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty() || line.front() == '#') continue;
    if (!ApplyOverrideLine(line, base, seen)) return std::nullopt;
  }
  return base;
}

GatewayAddresses GatewayAddressesOf(const std::string& moduleDirectory) {
  // Addresses by module directory, filled on first use and never changed after; any thread
  // may ask, under the lock.
  static std::mutex mutex;
  static std::map<std::string, GatewayAddresses> known;
  std::lock_guard lock(mutex);
  const auto found = known.find(moduleDirectory);
  if (found != known.end()) return found->second;
  const GatewayAddresses compiled = CompiledGatewayAddresses();
  // An unknown directory ("") must not become a file name relative to the working directory.
  const std::string text =
      moduleDirectory.empty() ? "" : ReadOverrideFile(moduleDirectory + kGatewayOverrideFile);
  return known.emplace(moduleDirectory, ParseGatewayOverride(text, compiled).value_or(compiled))
      .first->second;
}

}  // namespace orv
