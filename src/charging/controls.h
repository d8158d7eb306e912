// What each operation would use on this machine now.
#pragma once

#include "response/json_response.h"

/// For "charging-status", "charging", "adapter-status" and "adapter", in that
/// order, the backend that the operation would report if it ran now, decided
/// by the same functions that the operations run; an operation without a
/// usable key is left out. Reads and checks only, each over a connection of
/// its own; writes nothing and never fails.
ControlMap usableControls();
