#include "charging/adapter_status.h"

#include <algorithm>
#include <string>

namespace {

/// The status that `bytes`, read from `control`'s key, tell.
std::optional<StatusReading> statusOf(const AdapterControl& control, const std::optional<ByteList>& bytes) {
  // A usable key has a size of at least 1, so a read that succeeds has a
  // first byte; an empty one tells nothing and is no reading.
  if (!bytes || bytes->empty()) return std::nullopt;
  // A write sends one byte and the SMC fills the rest of the key with zeros,
  // so both states are a first byte followed by zeros.
  const bool restZero = std::all_of(bytes->begin() + 1, bytes->end(), [](auto b) { return b == 0; });
  std::string status = "unknown";
  if (restZero && bytes->front() == control.on) status = "enabled";
  if (restZero && bytes->front() == control.off) status = "disabled";
  return StatusReading{.backend = std::string(control.key), .status = std::move(status)};
}

}  // namespace

std::optional<StatusReading> readAdapterStatus(const AdapterControl& control) {
  return statusOf(control, readKeyBytes(control.key));
}

SMCResult<std::optional<StatusReading>> readAdapterStatusOrError(const AdapterControl& control) {
  const auto bytes = readKeyBytesOrAbsent(control.key);
  if (!bytes.ok()) return bytes.error();
  return statusOf(control, bytes.value());
}

std::optional<StatusReading> readAdapterStatus() {
  const auto control = adapterControl();
  if (!control) return std::nullopt;
  return readAdapterStatus(*control);
}
