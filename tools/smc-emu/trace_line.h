// The trace: one line of text per driver event, as smc-emu writes it.
#pragma once

#include <string>

#include "platform/emulated/emulated_mac.h"

namespace emu {

/// The word that names how the event's call failed, as the trace writes it.
std::string failureWord(const Event& event);

/// The event as one trace line: "open", "info CHTE", "write CHTE 01000000",
/// "info CH0I -> key-not-found", ...
std::string traceLine(const Event& event);

}  // namespace emu
