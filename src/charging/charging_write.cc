#include "charging/charging_write.h"

#include <array>
#include <cstdint>
#include <string_view>

WriteOutcome writeCharging(bool on) {
  // Existence for a write means a size above 0: a zero-size placeholder would
  // take the write and store nothing.
  if (keyWritable("CHTE")) {
    return WriteAttempt{"CHTE", writeKeyBytes("CHTE", on ? ByteList{0, 0, 0, 0}
                                                         : ByteList{1, 0, 0, 0})};
  }
  if (!keyWritable("CH0B") && !keyWritable("CH0C")) return std::nullopt;

  const ByteList value{static_cast<std::uint8_t>(on ? 0x00 : 0x02)};
  // Each key is checked again right before its write; the first answers are
  // not reused, so a key that vanished in between is skipped, not written.
  bool wrote = false;
  for (const std::string_view key : {"CH0B", "CH0C"}) {
    if (!keyWritable(key)) continue;
    WriteResult result = writeKeyBytes(key, value);
    if (!result.ok()) return WriteAttempt{"CH0B_CH0C", std::move(result)};
    wrote = true;
  }
  // Success is claimed only for a value that was actually written.
  if (!wrote) return std::nullopt;
  return WriteAttempt{"CH0B_CH0C", Done{}};
}

WriteOutcome writeAdapter(bool on) {
  struct Control {
    std::string_view key;
    std::uint8_t on;
    std::uint8_t off;
  };
  static constexpr std::array<Control, 3> kControls{{
      {"CHIE", 0x00, 0x08},
      {"CH0J", 0x00, 0x01},
      {"CH0I", 0x00, 0x01},
  }};
  for (const Control& control : kControls) {
    if (!keyWritable(control.key)) continue;
    return WriteAttempt{std::string(control.key),
                        writeKeyBytes(control.key, ByteList{on ? control.on : control.off})};
  }
  return std::nullopt;
}
