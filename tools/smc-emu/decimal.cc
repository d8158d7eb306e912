#include "decimal.h"

namespace emu {

std::optional<int> decimalUpTo(std::string_view text, int most) {
  // Six digits hold every bound used here (a year of minutes), and no sum
  // of them overflows.
  if (text.empty() || text.size() > 6) return std::nullopt;
  int value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value > most) return std::nullopt;
  return value;
}

std::string percentText(int charge) {
  std::string text = std::to_string(charge / 10);
  // Appended in two steps: g++ 12 warns (-Wrestrict) of "." + a string at -O2.
  if (charge % 10 != 0) {
    text += '.';
    text += std::to_string(charge % 10);
  }
  return text;
}

}  // namespace emu
