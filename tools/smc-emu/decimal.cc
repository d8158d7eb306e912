#include "decimal.h"

namespace emu {

std::optional<int> decimalUpTo(std::string_view text, int most) {
  // Five digits hold every bound used here, and no sum of them overflows.
  if (text.empty() || text.size() > 5) return std::nullopt;
  int value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value > most) return std::nullopt;
  return value;
}

}  // namespace emu
