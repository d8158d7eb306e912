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

std::optional<int> hundredthsUpTo(std::string_view text, int most) {
  const std::size_t point = text.find('.');
  const std::string_view fraction = point == std::string_view::npos ? "" : text.substr(point + 1);
  if (point != std::string_view::npos && (fraction.empty() || fraction.size() > 2)) return std::nullopt;
  const auto whole = decimalUpTo(text.substr(0, point), most);
  const auto part = fraction.empty() ? 0 : decimalUpTo(fraction, 99);
  if (!whole || !part) return std::nullopt;
  // "36.5" is 50 hundredths past 36, "36.05" five.
  const int hundredths = *whole * 100 + *part * (fraction.size() == 1 ? 10 : 1);
  if (hundredths > most * 100) return std::nullopt;
  return hundredths;
}

std::string hundredthsText(int hundredths) {
  std::string text = std::to_string(hundredths / 100);
  const int part = hundredths % 100;
  if (part != 0) {
    text += '.';
    text += static_cast<char>('0' + part / 10);
    if (part % 10 != 0) text += static_cast<char>('0' + part % 10);
  }
  return text;
}

}  // namespace emu
