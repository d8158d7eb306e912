// A fault as smc-emu's --fail spells it: open=ERR[@N], registry=ERR[@N],
// schedule=ERR[@N], unschedule=ERR[@N] or CALL:KEY=ERR[@N].
#pragma once

#include <optional>
#include <string_view>

#include "platform/emulated/emulated_mac.h"

namespace emu {

/// Parses `open=ERR[@N]`, `registry=ERR[@N]`, `schedule=ERR[@N]`,
/// `unschedule=ERR[@N]` or `CALL:KEY=ERR[@N]`, with ERR one of
/// not-privileged, io-error, io=N, and for a key's call key-not-found,
/// result=N, reply=N, for open no-driver and for registry no-entry; KEY is
/// four characters, or "*". None when the text is malformed or a number is
/// out of its range.
std::optional<Fault> parseFault(std::string_view text);

}  // namespace emu
