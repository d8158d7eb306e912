// The plain decimal numbers that smc-emu takes on its command line, in its
// state file and in its timeline: digits only, no sign, no space.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace emu {

/// `text` as a plain decimal number (one to six digits) from 0 to `most`;
/// none otherwise.
std::optional<int> decimalUpTo(std::string_view text, int most);

/// A charge in tenths of a percent as a percent: "60", "75.5".
std::string percentText(int charge);

/// `text` as hundredths: a plain decimal number from 0 to `most`, with at
/// most two decimals after a point ("36", "36.5", "36.55"); none otherwise.
std::optional<int> hundredthsUpTo(std::string_view text, int most);

/// Hundredths as a decimal number, without trailing zeros: "36", "36.5",
/// "36.55".
std::string hundredthsText(int hundredths);

}  // namespace emu
