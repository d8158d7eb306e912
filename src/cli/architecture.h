// The processor architecture, as the capabilities and keys reports name it.
#pragma once

#include <string>

/// "arm64" when the kernel's "hw.optional.arm64" holds exactly 1, else
/// "x86_64" (also when the name is missing or the probe fails).
std::string machineHardwareName();
