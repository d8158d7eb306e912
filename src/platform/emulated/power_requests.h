// The power events that a process asks the emulated Mac for
// (IOPMSchedulePowerEvent, timed_wakes.h), kept as a Mac keeps them: each
// until its date comes or it is taken back with the same date, id and type.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace emu {

/// One request, as asked.
struct PowerRequest {
  double date = 0;      ///< a clock value (CFAbsoluteTime)
  std::int64_t at = 0;  ///< its millisecond since minute 0 (msAtOrAfter)
  std::string type{};
  std::string id{};
  bool operator==(const PowerRequest&) const = default;
};

/// Whether IOPMSchedulePowerEvent takes `type`: wake, poweron, wakepoweron,
/// sleep, shutdown or restart.
bool knownRequestType(std::string_view type);

/// The millisecond of the first request of `requests` that wakes a sleeping
/// Mac (of type wake: the emulated Mac is never off, and sleeps and
/// shutdowns are not emulated) at `from` or after; none when there is none.
std::optional<std::int64_t> nextWake(const std::vector<PowerRequest>& requests, std::int64_t from);

/// Drops the requests whose millisecond is at or before `now`: each has come.
void dropPassed(std::vector<PowerRequest>& requests, std::int64_t now);

}  // namespace emu
