#include "cli/architecture.h"

#include <cstdint>

#include "smc/platform.h"

std::string machineHardwareName() {
  std::int32_t arm64 = 0;
  size_t length = sizeof(arm64);
  // The return code is not consulted: a failed call or a missing name leaves
  // the 0 in place, which reads as x86_64.
  sysctlbyname("hw.optional.arm64", &arm64, &length, nullptr, 0);
  return arm64 == 1 ? "arm64" : "x86_64";
}
