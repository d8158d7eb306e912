// The emulated Mac's timed wakes as the process asks for them and takes them
// back; the clock honours them (emulated_time.cc).

#include "platform/emulated/power_requests.h"

#include <algorithm>
#include <array>

#include "platform/emulated/emulated_mac.h"

namespace emu {

namespace {

constexpr std::array<std::string_view, 6> kTypes{"wake", "poweron", "wakepoweron", "sleep", "shutdown", "restart"};

}  // namespace

bool knownRequestType(std::string_view type) { return std::ranges::find(kTypes, type) != kTypes.end(); }

std::optional<std::int64_t> nextWake(const std::vector<PowerRequest>& requests, std::int64_t from) {
  std::optional<std::int64_t> next;
  for (const PowerRequest& request : requests) {
    if (request.type == "wake" && request.at >= from && (!next || request.at < *next)) next = request.at;
  }
  return next;
}

void dropPassed(std::vector<PowerRequest>& requests, std::int64_t now) {
  std::erase_if(requests, [&](const PowerRequest& request) { return request.at <= now; });
}

IOReturn EmulatedMac::schedulePowerEvent(double date, std::string_view id, std::string_view type) {
  return request(Call::schedule, date, id, type);
}

IOReturn EmulatedMac::cancelScheduledPowerEvent(double date, std::string_view id, std::string_view type) {
  return request(Call::unschedule, date, id, type);
}

IOReturn EmulatedMac::request(Call call, double date, std::string_view id, std::string_view type) {
  Event event{.kind = call == Call::schedule ? Event::Kind::schedule : Event::Kind::unschedule,
              .request = {.date = date, .at = msAtOrAfter(date), .type = std::string(type), .id = std::string(id)}};
  // Along a timeline, a request whose time has come is gone, honoured or not.
  if (time_) dropPassed(requests_, time_->now);
  const auto same = std::ranges::find(requests_, event.request);
  if (const Fault* fault = firingFault(call, {}, false); fault != nullptr) {
    event.ioReturn = fault->ioReturn;
  } else if (!privileged) {
    event.ioReturn = kIOReturnNotPrivileged;
  } else if (!knownRequestType(type)) {
    event.ioReturn = kIOReturnBadArgument;
  } else if (call == Call::unschedule) {
    if (same == requests_.end()) {
      event.ioReturn = kIOReturnNotFound;
    } else {
      requests_.erase(same);
    }
  } else if (same == requests_.end()) {
    // Asked twice, a request is still one.
    requests_.push_back(event.request);
  }
  const IOReturn answer = event.ioReturn;
  record(std::move(event));
  return answer;
}

}  // namespace emu
