#include "response/utf8.h"

#include <cstddef>

namespace {

/// Length of the well-formed sequence that starts at `pos`, or 0 when the
/// sequence is ill-formed; `consumed` then tells how many bytes form the
/// maximal ill-formed subsequence (at least 1). Ranges follow Unicode's table
/// of well-formed byte sequences, which the second byte narrows for E0, ED,
/// F0 and F4.
std::size_t wellFormedLength(std::string_view s, std::size_t pos,
                             std::size_t& consumed) {
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = at(pos);
  consumed = 1;
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  for (std::size_t i = 1; i < length; ++i) {
    if (pos + i >= s.size()) return 0;
    const unsigned char b = at(pos + i);
    const unsigned char lo = i == 1 ? low : 0x80;
    const unsigned char hi = i == 1 ? high : 0xBF;
    if (b < lo || b > hi) return 0;
    consumed = i + 1;
  }
  return length;
}

}  // namespace

bool isValidUtf8(std::string_view bytes) {
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    std::size_t consumed = 0;
    const std::size_t length = wellFormedLength(bytes, pos, consumed);
    if (length == 0) return false;
    pos += length;
  }
  return true;
}

std::string repairUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    std::size_t consumed = 0;
    const std::size_t length = wellFormedLength(bytes, pos, consumed);
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      pos += consumed;
    } else {
      out.append(bytes.substr(pos, length));
      pos += length;
    }
  }
  return out;
}
