#include "cli/capabilities.h"

#include <array>
#include <cstdint>
#include <string_view>

#include "charging/key_access.h"
#include "response/print_json.h"
#include "smc/platform.h"

JsonResponse capabilitiesRecord(const std::string& command) {
  SupportMap supports;
  supports.reserve(kControlKeys.size());
  // Independent checks: a false answer, for whatever reason, stops nothing.
  for (const std::string_view key : kControlKeys) supports.emplace_back(key, keyAvailable(key));
  return {.ok = true, .command = command, .supports = std::move(supports),
          .arch = machineHardwareName()};
}

void capabilitiesResponse(const std::string& command) { printJson(capabilitiesRecord(command)); }

std::string machineHardwareName() {
  std::int32_t arm64 = 0;
  size_t length = sizeof(arm64);
  // The return code is not consulted: a failed call or a missing name leaves
  // the 0 in place, which reads as x86_64.
  sysctlbyname("hw.optional.arm64", &arm64, &length, nullptr, 0);
  return arm64 == 1 ? "arm64" : "x86_64";
}
