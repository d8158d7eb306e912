#include "charging/charging_status.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

#include "charging/key_access.h"

std::optional<StatusReading> readChargingStatus() {
  // An empty "CHTE" is a zero-size placeholder that carries no control, so it
  // tells nothing about charging and counts as no value at all.
  if (const auto chte = readKeyBytes("CHTE"); chte && !chte->empty()) {
    std::array<std::uint8_t, 4> first{};  // shorter values are padded with zeros
    std::copy_n(chte->begin(), std::min(first.size(), chte->size()), first.begin());
    std::string status = "unknown";
    if (first == std::array<std::uint8_t, 4>{0, 0, 0, 0}) status = "enabled";
    if (first == std::array<std::uint8_t, 4>{1, 0, 0, 0}) status = "disabled";
    return StatusReading{.backend = "CHTE", .status = std::move(status)};
  }
  const auto ch0b = readKeyBytes("CH0B");
  if (!ch0b || ch0b->empty()) return std::nullopt;
  return StatusReading{.backend = "CH0B", .status = ch0b->front() == 0 ? "enabled" : "disabled"};
}
