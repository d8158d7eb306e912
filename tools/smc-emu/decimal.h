// The plain decimal numbers that smc-emu takes on its command line and in its
// state file: digits only, no sign, no space.
#pragma once

#include <optional>
#include <string_view>

namespace emu {

/// `text` as a plain decimal number (one to five digits) from 0 to `most`;
/// none otherwise.
std::optional<int> decimalUpTo(std::string_view text, int most);

}  // namespace emu
