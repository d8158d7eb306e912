// What smc-emu takes as a key name or a type on its command line and in its
// state file.
#pragma once

#include <string_view>

namespace emu {

/// Whether `text` can be a key name or a type: four printable ASCII characters.
bool isFourPrintable(std::string_view text);

}  // namespace emu
