// The emulated Mac's clock: how it follows its timeline, moves its battery,
// and tells the process what a Mac tells it (emulated_time.h).

#include "platform/emulated/emulated_time.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <csignal>

#include "platform/emulated/emulated_battery.h"
#include "platform/emulated/emulated_mac.h"
#include "platform/standin/system_power.h"

namespace emu {

namespace {

constexpr std::array<std::string_view, 10> kWords{"sleep", "wake",    "dark", "unplug", "plug",
                                                  "battery", "stop", "temp", "band",   "holder"};

}  // namespace

std::int64_t msAtOrAfter(double clock) {
  const double ms = std::ceil((clock - kTimelineEpoch) * 1000);
  if (ms >= static_cast<double>(kNever)) return kNever;
  if (ms <= -static_cast<double>(kNever)) return -kNever;
  auto at = static_cast<std::int64_t>(ms);
  // The subtraction may round below the clock value: the first millisecond
  // that reads at or after it, so that what is due there is due.
  while (kTimelineEpoch + static_cast<double>(at) / 1000 < clock) ++at;
  return at;
}

std::string_view timelineWord(TimelineEvent::Word word) { return kWords.at(static_cast<std::size_t>(word)); }

std::optional<TimelineEvent::Word> timelineWordFrom(std::string_view word) {
  const auto* found = std::find(kWords.begin(), kWords.end(), word);
  if (found == kWords.end()) return std::nullopt;
  return static_cast<TimelineEvent::Word>(found - kWords.begin());
}

std::string_view activityWord(Activity activity) {
  switch (activity) {
    case Activity::charging: return "charging";
    case Activity::draining: return "draining";
    case Activity::still: break;
  }
  return "still";
}

void EmulatedMac::startTimeline(std::vector<TimelineEvent> timeline) {
  MachineTime& time = time_.emplace();
  time.timeline = std::move(timeline);
  if (!battery) return;
  time.phaseCharge = *battery;
  time.activity = activityOf(powerState(keys, *battery, adapterConnected));
  time.percent = *battery / 10;
  recordClock({.kind = ClockEvent::Kind::level, .charge = *battery, .activity = time.activity});
}

std::optional<double> EmulatedMac::clock() {
  if (!time_) return std::nullopt;
  return kTimelineEpoch + static_cast<double>(time_->now) / 1000;
}

void EmulatedMac::recordClock(ClockEvent event) {
  event.at = time_->now;
  record({.kind = Event::Kind::clock, .clock = event});
}

void EmulatedMac::moveTo(std::int64_t ms) {
  MachineTime& time = *time_;
  time.now = ms;
  if (battery) battery = chargeAfter(time.phaseCharge, ms - time.phaseStart, time.activity, time.phaseAsleep);
}

void EmulatedMac::settle() {
  MachineTime& time = *time_;
  if (!battery) return;
  const Activity activity = activityOf(powerState(keys, *battery, adapterConnected));
  const bool changed = activity != time.activity || *battery / 10 != time.percent;
  // Progress towards the next tenth is dropped with the pace it was made at:
  // every change then falls a whole pace after an event, on a tenth of a minute.
  // A dark wake moves the battery at the awake paces: the Mac runs.
  const bool asleep = time.power == Power::asleep;
  if (activity != time.activity || asleep != time.phaseAsleep) {
    time.phaseStart = time.now;
    time.phaseCharge = *battery;
    time.activity = activity;
    time.phaseAsleep = asleep;
  }
  if (!changed) return;
  time.percent = *battery / 10;
  recordClock({.kind = ClockEvent::Kind::level, .charge = *battery, .activity = activity});
  post();
}

void EmulatedMac::post() {
  MachineTime& time = *time_;
  if (time.power == Power::asleep || time.sleepComing) {
    time.notifyAtWake = true;
  } else if (std::none_of(time.pending.begin(), time.pending.end(),
                          [](const PendingEvent& p) { return p.kind == PendingEvent::Kind::notify; })) {
    time.pending.push_back({.kind = PendingEvent::Kind::notify});
  }
}

void EmulatedMac::happen(const TimelineEvent& event) {
  MachineTime& time = *time_;
  recordClock({.kind = ClockEvent::Kind::timeline, .word = event.word, .charge = event.percent * 10,
               .temperature = event.temperature, .request = event});
  switch (event.word) {
    case TimelineEvent::Word::sleep:
      // From a dark wake the kernel tells nothing: the process just freezes.
      if (time.power == Power::awake) tellSleep();
      time.pending.push_back({.kind = PendingEvent::Kind::fallAsleep});
      time.sleepComing = true;
      time.darkEnds.reset();
      break;
    case TimelineEvent::Word::dark:
      // From a full wake the display goes dark as a sleep begins, with the
      // sleep's messages; from sleep nothing is told, and the process runs.
      // A timed wake's dark wake now lasts as the timeline's does.
      if (time.power == Power::awake) {
        tellSleep();
        time.pending.push_back({.kind = PendingEvent::Kind::goDark});
        time.sleepComing = true;
      } else {
        goDark();
      }
      time.darkEnds.reset();
      break;
    case TimelineEvent::Word::wake:
      time.power = Power::awake;
      time.darkEnds.reset();
      settle();
      time.pending.push_back({.kind = PendingEvent::Kind::message, .message = kIOMessageSystemWillPowerOn});
      time.pending.push_back({.kind = PendingEvent::Kind::message, .message = kIOMessageSystemHasPoweredOn});
      if (time.notifyAtWake) time.pending.push_back({.kind = PendingEvent::Kind::notify});
      time.notifyAtWake = false;
      break;
    case TimelineEvent::Word::unplug:
    case TimelineEvent::Word::plug:
      adapterConnected = event.word == TimelineEvent::Word::plug;
      settle();
      post();
      break;
    case TimelineEvent::Word::battery:
      battery = event.percent * 10;
      time.phaseStart = time.now;
      time.phaseCharge = *battery;
      settle();
      break;
    case TimelineEvent::Word::temp:
      // Nothing tells the process: it reads the figure when it asks.
      batteryEntry.temperature = event.temperature;
      break;
    case TimelineEvent::Word::stop:
      time.ended = true;
      // As launchd stops a job: the process's own handler, if any, decides.
      static_cast<void>(std::raise(SIGTERM));
      break;
    case TimelineEvent::Word::band:
    case TimelineEvent::Word::holder: ask(event); break;
  }
}

std::optional<std::int64_t> EmulatedMac::nextBatteryChange() const {
  const MachineTime& time = *time_;
  const auto pace = tenthPace(time.activity, time.phaseAsleep);
  if (!battery || !pace) return std::nullopt;
  // The charge at which the whole percent changes, and the tenths from the
  // phase's start to it.
  int tenths = 0;
  if (time.activity == Activity::charging) {
    if (*battery >= kFullCharge) return std::nullopt;
    tenths = (*battery / 10 + 1) * 10 - time.phaseCharge;
  } else {
    if (*battery < 10) return std::nullopt;
    tenths = time.phaseCharge - (*battery / 10 * 10 - 1);
  }
  return time.phaseStart + tenths * *pace;
}

void EmulatedMac::tellSleep() {
  MachineTime& time = *time_;
  time.pending.push_back({.kind = PendingEvent::Kind::message, .message = kIOMessageCanSystemSleep, .id = ++time.lastID});
  time.pending.push_back({.kind = PendingEvent::Kind::message, .message = kIOMessageSystemWillSleep, .id = ++time.lastID});
}

void EmulatedMac::goDark() {
  MachineTime& time = *time_;
  time.sleepComing = false;
  time.power = Power::dark;
  settle();
  if (time.notifyAtWake) time.pending.push_back({.kind = PendingEvent::Kind::notify});
  time.notifyAtWake = false;
}

std::optional<std::int64_t> EmulatedMac::nextOwnEvent() const {
  const MachineTime& time = *time_;
  std::optional<std::int64_t> next = nextBatteryChange();
  const auto consider = [&](std::int64_t at) { next = next ? std::min(*next, at) : at; };
  if (time.next < time.timeline.size()) consider(std::int64_t{time.timeline[time.next].minute} * 60'000);
  if (time.darkEnds) consider(*time.darkEnds);
  // A timed wake comes only to a sleeping Mac; awake or dark, it passes.
  if (time.power == Power::asleep) {
    if (const auto wake = nextWake(requests_, time.now)) consider(*wake);
  }
  return next;
}

bool EmulatedMac::followOwnEvent() {
  MachineTime& time = *time_;
  const auto own = nextOwnEvent();
  if (!own) return false;
  moveTo(*own);
  settle();
  if (time.next < time.timeline.size() && std::int64_t{time.timeline[time.next].minute} * 60'000 == time.now) {
    happen(time.timeline[time.next++]);
  } else if (time.darkEnds == time.now) {
    // Back to sleep, telling nothing.
    recordClock({.kind = ClockEvent::Kind::timedSleep});
    time.darkEnds.reset();
    time.pending.push_back({.kind = PendingEvent::Kind::fallAsleep});
    time.sleepComing = true;
  } else if (time.power == Power::asleep && nextWake(requests_, time.now) == time.now) {
    recordClock({.kind = ClockEvent::Kind::timedWake});
    time.darkEnds = time.now + kTimedWakeMs;
    goDark();
  }
  return true;
}

bool EmulatedMac::advance(std::optional<double> deadline) {
  if (!time_) return false;
  MachineTime& time = *time_;
  // The run loop has served every descriptor that was ready: the holder has
  // had its chance to answer. The next request, if any, goes out and is
  // served before time moves on.
  if (finishAsking()) return true;
  if (time.ended) {
    recordClock({.kind = ClockEvent::Kind::ended});
    return false;
  }
  // The timer is due once the clock is at its date or after.
  const std::optional<std::int64_t> due =
      deadline ? std::optional(std::max(time.now, msAtOrAfter(*deadline))) : std::nullopt;
  for (;;) {
    const auto own = nextOwnEvent();
    // A timer due with an event of the timeline goes first, so that each
    // timer that fires has its line; a change of the level due with it is
    // recorded on the way.
    if (due && (!own || *due <= *own)) {
      moveTo(*due);
      settle();
      recordClock({.kind = ClockEvent::Kind::timer});
      return true;
    }
    if (!followOwnEvent()) {
      recordClock({.kind = ClockEvent::Kind::ended});
      return false;
    }
    if (!time.pending.empty() || time.ended || askingAccount()) return true;
  }
}

void EmulatedMac::sleepUntilWoken() {
  MachineTime& time = *time_;
  time.sleepComing = false;
  time.power = Power::asleep;
  // What fell while the Mac was awake has passed.
  dropPassed(requests_, time.now);
  settle();
  // The process is frozen: only the machine's own events happen, up to a
  // wake, full or dark; a checked timeline always has one before its stop.
  while (time.power == Power::asleep && !time.ended) {
    if (!followOwnEvent()) return;
  }
}

std::optional<platform::SystemEvent> EmulatedMac::nextSystemEvent() {
  if (!time_) return std::nullopt;
  MachineTime& time = *time_;
  // The message before this call was served without an answer: a Mac goes
  // on after its wait, which here is over at once.
  if (time.awaiting != 0) {
    recordClock({.kind = ClockEvent::Kind::unanswered, .id = time.awaiting});
    time.awaiting = 0;
  }
  while (!time.pending.empty()) {
    const PendingEvent pending = time.pending.front();
    time.pending.pop_front();
    switch (pending.kind) {
      case PendingEvent::Kind::fallAsleep: sleepUntilWoken(); continue;
      case PendingEvent::Kind::goDark: goDark(); continue;
      case PendingEvent::Kind::notify:
        recordClock({.kind = ClockEvent::Kind::notify});
        return platform::SystemEvent{};
      case PendingEvent::Kind::message:
        recordClock({.kind = ClockEvent::Kind::message, .message = pending.message, .id = pending.id});
        time.awaiting = pending.id;
        return platform::SystemEvent{.kind = platform::SystemEvent::Kind::systemPower, .message = pending.message,
                                     .notificationID = pending.id};
    }
  }
  return std::nullopt;
}

IOReturn EmulatedMac::answerPowerChange(std::intptr_t notificationID, bool allow) {
  if (!time_) return kIOReturnBadArgument;
  recordClock({.kind = ClockEvent::Kind::answer, .id = notificationID, .allow = allow});
  if (notificationID == 0 || notificationID != time_->awaiting) return kIOReturnBadArgument;
  time_->awaiting = 0;
  return kIOReturnSuccess;
}

}  // namespace emu
