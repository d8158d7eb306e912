#include "charging/charging_write.h"

#include <array>
#include <utility>

// Existence for a write means a usable size (key_access.h): a zero-size
// placeholder would take the write and store nothing. The writes and every
// report of what they would do decide through the choices below, so that the
// report and the write cannot disagree.

namespace {

/// The existence check of the plain commands: a check that fails for any
/// reason counts as a key that is not there, and the next one is asked.
SMCResult<bool> usableOrNot(std::string_view key) { return keyUsable(key); }

/// The charging backend, asking `usable` of each key in order of preference;
/// the first failure it hands on ends the choice.
template <class Usable>
SMCResult<std::optional<std::string>> chooseChargingBackend(Usable usable) {
  const auto chte = usable("CHTE");
  if (!chte.ok()) return chte.error();
  if (chte.value()) return std::optional<std::string>("CHTE");
  for (const std::string_view key : {"CH0B", "CH0C"}) {
    const auto pair = usable(key);
    if (!pair.ok()) return pair.error();
    if (pair.value()) return std::optional<std::string>("CH0B_CH0C");
  }
  return std::optional<std::string>();
}

/// The adapter control, asking `usable` as above.
template <class Usable>
SMCResult<std::optional<AdapterControl>> chooseAdapterControl(Usable usable) {
  static constexpr std::array<AdapterControl, 3> kControls{{
      {.key = "CHIE", .on = 0x00, .off = 0x08},
      {.key = "CH0J", .on = 0x00, .off = 0x01},
      {.key = "CH0I", .on = 0x00, .off = 0x01},
  }};
  for (const AdapterControl& control : kControls) {
    const auto found = usable(control.key);
    if (!found.ok()) return found.error();
    if (found.value()) return std::optional(control);
  }
  return std::optional<AdapterControl>();
}

}  // namespace

std::optional<std::string> chargingBackend() { return chooseChargingBackend(usableOrNot).value(); }

SMCResult<std::optional<std::string>> chargingBackendOrError() {
  return chooseChargingBackend(keyUsableOrError);
}

WriteOutcome writeCharging(bool on) {
  const auto backend = chargingBackend();
  if (!backend) return std::nullopt;
  return writeCharging(on, *backend);
}

WriteOutcome writeCharging(bool on, std::string_view backend) {
  if (backend == "CHTE") {
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

std::optional<AdapterControl> adapterControl() { return chooseAdapterControl(usableOrNot).value(); }

SMCResult<std::optional<AdapterControl>> adapterControlOrError() {
  return chooseAdapterControl(keyUsableOrError);
}

WriteOutcome writeAdapter(bool on) {
  const auto control = adapterControl();
  if (!control) return std::nullopt;
  return writeAdapter(on, *control);
}

WriteAttempt writeAdapter(bool on, const AdapterControl& control) {
  return {.backend = std::string(control.key),
          .result = writeKeyBytes(control.key, ByteList{on ? control.on : control.off})};
}
