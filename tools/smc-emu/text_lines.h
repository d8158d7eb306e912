// The text files that smc-emu reads, the state and the timeline: one item a
// line, blank lines and "#" comments skipped, each error named by its line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "emu_error.h"

/// Hands each line of `text` that is neither empty nor a comment to `read`,
/// which throws EmuError for a line at fault; the error then starts with
/// "line N: ". The number of lines.
template <class Read>
std::size_t readLines(std::string_view text, Read&& read) {
  std::size_t number = 0;
  while (!text.empty()) {
    ++number;
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.empty() || line.front() == '#') continue;
    try {
      read(line);
    } catch (const EmuError& error) {
      throw EmuError("line " + std::to_string(number) + ": " + error.what());
    }
  }
  return number;
}
