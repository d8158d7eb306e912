// The version of the helper, as the build declares it.
#pragma once

#include <string_view>

/// "X.Y.Z": the project version that CMakeLists.txt declares, the one place
/// it is written down for the helper, smc-emu and the manual page.
std::string_view helperVersion();
