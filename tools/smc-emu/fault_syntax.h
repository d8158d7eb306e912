// A fault as smc-emu's --fail spells it: open=ERR[@N] or CALL:KEY=ERR[@N].
#pragma once

#include <optional>
#include <string_view>

#include "platform/emulated_mac.h"

namespace emu {

/// Parses `open=ERR[@N]` or `CALL:KEY=ERR[@N]`, with ERR one of
/// not-privileged, io-error, key-not-found, result=N, io=N, and (for open
/// only) no-driver. None when the text is malformed.
std::optional<Fault> parseFault(std::string_view text);

}  // namespace emu
