#include "charging/charging_write.h"

#include <array>
#include <utility>

// Existence for a write means a usable size (key_access.h): a zero-size
// placeholder would take the write and store nothing. The writes and every
// report of what they would do decide through the two functions below, so
// that the report and the write cannot disagree.

std::optional<std::string> chargingBackend() {
  if (keyUsable("CHTE")) return "CHTE";
  if (keyUsable("CH0B") || keyUsable("CH0C")) return "CH0B_CH0C";
  return std::nullopt;
}

WriteOutcome writeCharging(bool on) {
  const auto backend = chargingBackend();
  if (!backend) return std::nullopt;
  if (*backend == "CHTE") {
    return WriteAttempt{.backend = "CHTE",
                        .result = writeKeyBytes("CHTE", on ? ByteList{0, 0, 0, 0}
                                                           : ByteList{1, 0, 0, 0})};
  }

  const ByteList value{static_cast<std::uint8_t>(on ? 0x00 : 0x02)};
  // Each key is checked again right before its write; the first answers are
  // not reused, so a key that vanished in between is skipped, not written.
  bool wrote = false;
  for (const std::string_view key : {"CH0B", "CH0C"}) {
    if (!keyUsable(key)) continue;
    WriteResult result = writeKeyBytes(key, value);
    if (!result.ok()) return WriteAttempt{.backend = "CH0B_CH0C", .result = std::move(result)};
    wrote = true;
  }
  // Success is claimed only for a value that was actually written.
  if (!wrote) return std::nullopt;
  return WriteAttempt{.backend = "CH0B_CH0C"};
}

std::optional<AdapterControl> adapterControl() {
  static constexpr std::array<AdapterControl, 3> kControls{{
      {.key = "CHIE", .on = 0x00, .off = 0x08},
      {.key = "CH0J", .on = 0x00, .off = 0x01},
      {.key = "CH0I", .on = 0x00, .off = 0x01},
  }};
  for (const AdapterControl& control : kControls) {
    if (keyUsable(control.key)) return control;
  }
  return std::nullopt;
}

WriteOutcome writeAdapter(bool on) {
  const auto control = adapterControl();
  if (!control) return std::nullopt;
  return WriteAttempt{.backend = std::string(control->key),
                      .result = writeKeyBytes(control->key, ByteList{on ? control->on : control->off})};
}
