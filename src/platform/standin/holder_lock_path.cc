#include "platform/standin/holder_lock_path.h"

#include "platform/attached_machine.h"

const char* holderLockPath() {
  platform::Machine* machine = platform::attachedMachine();
  return machine == nullptr ? nullptr : machine->holderLockPath();
}

void holderLockSettled() {
  if (platform::Machine* machine = platform::attachedMachine(); machine != nullptr) machine->holderLockSettled();
}

const char* holderSocketPath() {
  platform::Machine* machine = platform::attachedMachine();
  return machine == nullptr ? nullptr : machine->holderSocketPath();
}

const char* holderBandPath() {
  platform::Machine* machine = platform::attachedMachine();
  return machine == nullptr ? nullptr : machine->holderBandPath();
}
