#include "cli/version.h"

// The build defines SMC_CHARGE_VERSION for this file alone, from project():
// a new version recompiles one file, and no copy of it can drift.
std::string_view helperVersion() { return SMC_CHARGE_VERSION; }
