#include "four_printable.h"

#include <algorithm>

namespace emu {

bool isFourPrintable(std::string_view text) {
  return text.size() == 4 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

}  // namespace emu
