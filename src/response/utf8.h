// UTF-8 checks for the texts that enter and leave the one line.
#pragma once

#include <string>
#include <string_view>

/// True when `bytes` is well-formed UTF-8 (no overlongs, no surrogates,
/// nothing above U+10FFFF).
bool isValidUtf8(std::string_view bytes);

/// `bytes` with each maximal ill-formed subsequence replaced by U+FFFD, as
/// Unicode recommends; well-formed input comes back unchanged.
std::string repairUtf8(std::string_view bytes);
