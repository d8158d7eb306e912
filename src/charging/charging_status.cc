#include "charging/charging_status.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

#include "charging/key_access.h"

namespace {

/// The plain command's read: a read that fails for any reason gives no
/// value, and the next key is asked.
SMCResult<std::optional<ByteList>> valueOrNone(std::string_view key) { return readKeyBytes(key); }

/// The status, reading each key with `read`; the first failure it hands on
/// ends the reading.
template <class Read>
SMCResult<std::optional<StatusReading>> chargingStatus(Read read) {
  // An empty "CHTE" is a zero-size placeholder that carries no control, so it
  // tells nothing about charging and counts as no value at all.
  const auto chte = read("CHTE");
  if (!chte.ok()) return chte.error();
  if (const auto& bytes = chte.value(); bytes && !bytes->empty()) {
    std::array<std::uint8_t, 4> first{};  // shorter values are padded with zeros
    std::copy_n(bytes->begin(), std::min(first.size(), bytes->size()), first.begin());
    std::string status = "unknown";
    if (first == std::array<std::uint8_t, 4>{0, 0, 0, 0}) status = "enabled";
    if (first == std::array<std::uint8_t, 4>{1, 0, 0, 0}) status = "disabled";
    return std::optional(StatusReading{.backend = "CHTE", .status = std::move(status)});
  }
  const auto ch0b = read("CH0B");
  if (!ch0b.ok()) return ch0b.error();
  const auto& bytes = ch0b.value();
  if (!bytes || bytes->empty()) return std::optional<StatusReading>();
  return std::optional(StatusReading{.backend = "CH0B", .status = bytes->front() == 0 ? "enabled" : "disabled"});
}

}  // namespace

std::optional<StatusReading> readChargingStatus() { return chargingStatus(valueOrNone).value(); }

SMCResult<std::optional<StatusReading>> readChargingStatusOrError() {
  return chargingStatus(readKeyBytesOrAbsent);
}
