// The emulated Mac's clock: how it follows its timeline, moves its battery,
// and tells the process what a Mac tells it (emulated_time.h).

#include "platform/emulated_time.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <csignal>

#include "platform/emulated_battery.h"
#include "platform/emulated_mac.h"
#include "platform/system_power.h"

namespace emu {

namespace {

constexpr std::array<std::string_view, 7> kWords{"sleep", "wake", "unplug", "plug", "battery", "stop", "temp"};

/// Beyond any timeline (a year is 3.2e10 ms): where a far timer is held.
constexpr std::int64_t kNever = std::int64_t{1} << 50U;

}  // namespace

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
  if (activity != time.activity || time.asleep != time.phaseAsleep) {
    time.phaseStart = time.now;
    time.phaseCharge = *battery;
    time.activity = activity;
    time.phaseAsleep = time.asleep;
  }
  if (!changed) return;
  time.percent = *battery / 10;
  recordClock({.kind = ClockEvent::Kind::level, .charge = *battery, .activity = activity});
  post();
}

void EmulatedMac::post() {
  MachineTime& time = *time_;
  if (time.asleep || time.sleepComing) {
    time.notifyAtWake = true;
  } else if (std::none_of(time.pending.begin(), time.pending.end(),
                          [](const PendingEvent& p) { return p.kind == PendingEvent::Kind::notify; })) {
    time.pending.push_back({.kind = PendingEvent::Kind::notify});
  }
}

void EmulatedMac::happen(const TimelineEvent& event) {
  MachineTime& time = *time_;
  recordClock({.kind = ClockEvent::Kind::timeline, .word = event.word, .charge = event.percent * 10,
               .temperature = event.temperature});
  switch (event.word) {
    case TimelineEvent::Word::sleep:
      time.pending.push_back({.kind = PendingEvent::Kind::message, .message = kIOMessageCanSystemSleep, .id = ++time.lastID});
      time.pending.push_back({.kind = PendingEvent::Kind::message, .message = kIOMessageSystemWillSleep, .id = ++time.lastID});
      time.pending.push_back({.kind = PendingEvent::Kind::fallAsleep});
      time.sleepComing = true;
      break;
    case TimelineEvent::Word::wake:
      time.asleep = false;
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

std::optional<std::int64_t> EmulatedMac::nextOwnEvent() const {
  const MachineTime& time = *time_;
  std::optional<std::int64_t> next = nextBatteryChange();
  if (time.next < time.timeline.size()) {
    const std::int64_t at = std::int64_t{time.timeline[time.next].minute} * 60'000;
    next = next ? std::min(*next, at) : at;
  }
  return next;
}

bool EmulatedMac::advance(std::optional<double> deadline) {
  if (!time_) return false;
  MachineTime& time = *time_;
  if (time.ended) {
    recordClock({.kind = ClockEvent::Kind::ended});
    return false;
  }
  std::optional<std::int64_t> due;
  if (deadline) {
    // The first millisecond at or after the deadline, so that the timer is
    // due once the clock is there.
    const double ms = std::ceil((*deadline - kTimelineEpoch) * 1000);
    due = ms >= static_cast<double>(kNever) ? kNever : std::max(time.now, static_cast<std::int64_t>(ms));
    while (kTimelineEpoch + static_cast<double>(*due) / 1000 < *deadline) ++*due;
  }
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
    if (!own) {
      recordClock({.kind = ClockEvent::Kind::ended});
      return false;
    }
    moveTo(*own);
    settle();
    if (time.next < time.timeline.size() && std::int64_t{time.timeline[time.next].minute} * 60'000 == time.now) {
      happen(time.timeline[time.next++]);
    }
    if (!time.pending.empty() || time.ended) return true;
  }
}

void EmulatedMac::sleepUntilWake() {
  MachineTime& time = *time_;
  time.sleepComing = false;
  time.asleep = true;
  settle();
  // The process is frozen: only the machine's own events happen, up to the
  // wake, which a checked timeline always has before its stop.
  while (time.asleep && !time.ended) {
    const auto own = nextOwnEvent();
    if (!own) return;
    moveTo(*own);
    settle();
    if (time.next < time.timeline.size() && std::int64_t{time.timeline[time.next].minute} * 60'000 == time.now) {
      happen(time.timeline[time.next++]);
    }
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
      case PendingEvent::Kind::fallAsleep: sleepUntilWake(); continue;
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
