#include "emu_error.h"

#include <unistd.h>

#include <string>

#include "response/hex.h"
#include "response/print_json.h"

namespace {

/// The line for `message`, its control characters escaped.
std::string errorLine(std::string_view message) {
  std::string line = "smc-emu: ";
  for (const char c : message) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      line += "\\\\";
    } else if (c == '\n') {
      line += "\\n";
    } else if (c == '\t') {
      line += "\\t";
    } else if (c == '\r') {
      line += "\\r";
    } else if (byte < 0x20U || byte == 0x7FU) {
      line += "\\x";
      line += hexOf({&byte, 1});
    } else {
      line += c;
    }
  }
  line += '\n';
  return line;
}

}  // namespace

std::string quoted(std::string_view text) {
  // Not "'" + std::string(text) + "'": g++ 12 at -O3 warns of an overlapping
  // copy inside libstdc++ that cannot happen (a false -Wrestrict).
  std::string out = "'";
  out.append(text);
  out += '\'';
  return out;
}

void printEmuError(std::string_view message) noexcept {
  try {
    writeAll(STDERR_FILENO, errorLine(message));
  } catch (...) {  // only std::bad_alloc
    printOutOfMemory();
  }
}

void printOutOfMemory() noexcept { writeAll(STDERR_FILENO, "smc-emu: out of memory\n"); }
