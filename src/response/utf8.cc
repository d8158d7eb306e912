#include "response/utf8.h"

#include <cstddef>

namespace {

/// What a lead byte promises: the length of its sequence (0 when no
/// well-formed sequence starts with it) and the range of the second byte,
/// which Unicode's table narrows for E0, ED, F0 and F4 to exclude overlongs,
/// surrogates and code points above U+10FFFF.
struct Lead {
  std::size_t length;
  unsigned char low;
  unsigned char high;
};

/// A lead byte other than ASCII, which wellFormedLength takes first.
constexpr Lead classify(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return {2, 0x80, 0xBF};
  if (lead == 0xE0) return {3, 0xA0, 0xBF};
  if (lead == 0xED) return {3, 0x80, 0x9F};
  if (lead >= 0xE1 && lead <= 0xEF) return {3, 0x80, 0xBF};
  if (lead == 0xF0) return {4, 0x90, 0xBF};
  if (lead == 0xF4) return {4, 0x80, 0x8F};
  if (lead >= 0xF1 && lead <= 0xF3) return {4, 0x80, 0xBF};
  return {};
}

/// Length of the well-formed sequence that starts at `pos`, or 0 when it is
/// ill-formed; `consumed` then tells how many bytes form the maximal
/// ill-formed subsequence (at least 1).
std::size_t wellFormedLength(std::string_view s, std::size_t pos, std::size_t& consumed) {
  consumed = 1;
  // Nearly every byte of a line is ASCII, which needs no table.
  const auto first = static_cast<unsigned char>(s[pos]);
  if (first < 0x80) return 1;
  const Lead lead = classify(first);
  for (std::size_t i = 1; i < lead.length; ++i) {
    if (pos + i >= s.size()) return 0;
    const auto b = static_cast<unsigned char>(s[pos + i]);
    if (b < (i == 1 ? lead.low : 0x80) || b > (i == 1 ? lead.high : 0xBF)) return 0;
    consumed = i + 1;
  }
  return lead.length;
}

}  // namespace

bool isValidUtf8(std::string_view bytes) {
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    // A run of ASCII is passed over here, without a call for each byte.
    if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
      ++pos;
      continue;
    }
    std::size_t consumed = 0;
    const std::size_t length = wellFormedLength(bytes, pos, consumed);
    if (length == 0) return false;
    pos += length;
  }
  return true;
}

std::string repairUtf8(std::string_view bytes) {
  // The common case, an argument already well formed, is one copy.
  if (isValidUtf8(bytes)) return std::string(bytes);
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
