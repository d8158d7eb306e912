// The sleep and wake stand-in: a registration is a port whose source the run
// loop serves with the attached machine's messages; the answers go back to
// the machine.

#include "platform/standin/system_power.h"

#include "platform/attached_machine.h"
#include "platform/standin/cf_objects.h"

namespace {

/// The notifier that a registration fills in; nothing takes it back here.
constexpr io_object_t kNotifier = 0x7fff0003U;

IOReturn answer(io_connect_t kernelPort, intptr_t notificationID, bool allow) {
  platform::Machine* machine = platform::attachedMachine();
  if (kernelPort != platform::kRootDomainConnection || machine == nullptr) return kIOReturnBadArgument;
  return machine->answerPowerChange(notificationID, allow);
}

}  // namespace

extern "C" {

io_connect_t IORegisterForSystemPower(void* refcon, IONotificationPortRef* thePortRef,
                                      IOServiceInterestCallback callback, io_object_t* notifier) {
  if (thePortRef == nullptr || callback == nullptr || notifier == nullptr) return 0;
  platform::cf::Owned port = platform::cf::make(
      platform::cf::Port{.source = platform::cf::make(platform::cf::Source{.systemPower = callback, .context = refcon})});
  *thePortRef = port.get();
  platform::cf::keepPort(std::move(port));
  *notifier = kNotifier;
  return platform::kRootDomainConnection;
}

CFRunLoopSourceRef IONotificationPortGetRunLoopSource(IONotificationPortRef notify) {
  const auto* port = std::get_if<platform::cf::Port>(&platform::cf::objectOf(notify)->value);
  return port != nullptr ? port->source.get() : nullptr;
}

IOReturn IOAllowPowerChange(io_connect_t kernelPort, intptr_t notificationID) {
  return answer(kernelPort, notificationID, true);
}

IOReturn IOCancelPowerChange(io_connect_t kernelPort, intptr_t notificationID) {
  return answer(kernelPort, notificationID, false);
}

}  // extern "C"
