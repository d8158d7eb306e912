#include "charging/controls.h"

#include <utility>

#include "charging/adapter_status.h"
#include "charging/charging_status.h"
#include "charging/charging_write.h"

ControlMap usableControls() {
  ControlMap controls;
  if (auto status = readChargingStatus()) {
    controls.emplace_back("charging-status", std::move(status->backend));
  }
  if (auto backend = chargingBackend()) controls.emplace_back("charging", std::move(*backend));
  // The adapter's status reads the key that its write would use: one choice
  // serves both, and only the reading is added to it.
  if (const auto adapter = adapterControl()) {
    if (auto status = readAdapterStatus(*adapter)) {
      controls.emplace_back("adapter-status", std::move(status->backend));
    }
    controls.emplace_back("adapter", adapter->key);
  }
  return controls;
}
