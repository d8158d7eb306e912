#include "charging/wake_request.h"

#include "charging/cf_owned.h"
#include "smc/platform.h"

namespace {

/// Whom the requests name: a request is withdrawn by its date, this name and
/// its type together, and the name tells an owner who asked
/// (`pmset -g sched`).
CFStringRef requester() { return CFSTR("smc-charge.hold-daemon"); }

}  // namespace

bool requestWake(double at) {
  const CFOwned<CFDateRef> date(CFDateCreate(nullptr, at));
  return date && IOPMSchedulePowerEvent(date.get(), requester(), CFSTR(kIOPMAutoWake)) == kIOReturnSuccess;
}

void cancelWake(double at) {
  const CFOwned<CFDateRef> date(CFDateCreate(nullptr, at));
  if (date) IOPMCancelScheduledPowerEvent(date.get(), requester(), CFSTR(kIOPMAutoWake));
}
