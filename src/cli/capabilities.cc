#include "cli/capabilities.h"

#include <array>
#include <string_view>

#include "charging/key_access.h"
#include "cli/architecture.h"

JsonResponse capabilitiesRecord(const std::string& command) {
  SupportMap supports;
  supports.reserve(kControlKeys.size());
  // Independent checks: a false answer, for whatever reason, stops nothing.
  for (const std::string_view key : kControlKeys) supports.emplace_back(key, keyAvailable(key));
  return {.ok = true, .command = command, .supports = std::move(supports),
          .arch = machineHardwareName()};
}
