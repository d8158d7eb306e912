#include "platform/standin/run_loop.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <string>
#include <vector>

#include "platform/emulated/emulated_mac.h"
#include "platform/emulated/machine_catalog.h"
#include "platform/standin/power_sources.h"
#include "platform/standin/system_power.h"
#include "platform/standin/timed_wakes.h"
#include "smc-emu/fault_syntax.h"
#include "smc-emu/trace_line.h"

namespace {

/// A holder as the daemon is one: a self-pipe for its stop signals, the
/// power-source notifications, the sleep and wake messages and a repeating
/// timer, each callback noting "MINUTE WHAT". It answers can-sleep and
/// leaves will-sleep unanswered, after `atWillSleep`; its stop stops the run
/// loop.
struct Holder {
  std::vector<std::string> received;
  io_connect_t root = 0;
  int pipe[2] = {-1, -1};  // NOLINT(*-avoid-c-arrays): pipe(2)'s own
  std::function<void()> atWillSleep{};

  void note(const std::string& what) {
    const double minutes = (CFAbsoluteTimeGetCurrent() - emu::kTimelineEpoch) / 60;
    std::string minute = std::to_string(minutes);
    minute.erase(minute.find_last_not_of('0') + 1);
    if (minute.back() == '.') minute.pop_back();
    received.push_back(minute + " " + what);
  }
};

int pipeWrite = -1;

extern "C" void onTestSignal(int /*signal*/) {
  const char byte = 1;
  static_cast<void>(!write(pipeWrite, &byte, 1));
}

void onStop(CFFileDescriptorRef /*f*/, CFOptionFlags /*types*/, void* info) {
  static_cast<Holder*>(info)->note("stop");
  CFRunLoopStop(CFRunLoopGetCurrent());
}

void onPowerSources(void* context) { static_cast<Holder*>(context)->note("power-sources"); }

void onSystemPower(void* refcon, io_service_t /*service*/, uint32_t messageType, void* messageArgument) {
  auto* holder = static_cast<Holder*>(refcon);
  const auto id = reinterpret_cast<intptr_t>(messageArgument);  // NOLINT(*-reinterpret-cast): the SDK's own
  switch (messageType) {
    case kIOMessageCanSystemSleep:
      holder->note("can-sleep");
      EXPECT_EQ(IOAllowPowerChange(holder->root, id), kIOReturnSuccess);
      break;
    case kIOMessageSystemWillSleep:
      holder->note("will-sleep");
      if (holder->atWillSleep) holder->atWillSleep();
      break;
    case kIOMessageSystemWillPowerOn: holder->note("will-power-on"); break;
    case kIOMessageSystemHasPoweredOn: holder->note("has-powered-on"); break;
    default: holder->note("other"); break;
  }
}

void onTimer(CFRunLoopTimerRef /*timer*/, void* info) { static_cast<Holder*>(info)->note("timer"); }

/// Sets the holder up with exactly the calls of the daemon, its timer every
/// `interval` seconds, and runs the loop until it stops.
void hold(Holder& holder, CFTimeInterval interval) {
  ASSERT_EQ(pipe(holder.pipe), 0);
  ASSERT_EQ(fcntl(holder.pipe[1], F_SETFL, O_NONBLOCK), 0);
  pipeWrite = holder.pipe[1];
  struct sigaction action {};
  action.sa_handler = onTestSignal;
  ASSERT_EQ(sigaction(SIGTERM, &action, nullptr), 0);
  ASSERT_EQ(sigaction(SIGALRM, &action, nullptr), 0);

  CFFileDescriptorContext fdContext{0, &holder, nullptr, nullptr, nullptr};
  CFFileDescriptorRef stop = CFFileDescriptorCreate(nullptr, holder.pipe[0], false, onStop, &fdContext);
  CFFileDescriptorEnableCallBacks(stop, kCFFileDescriptorReadCallBack);
  CFRunLoopSourceRef stopSource = CFFileDescriptorCreateRunLoopSource(nullptr, stop, 0);
  CFRunLoopAddSource(CFRunLoopGetCurrent(), stopSource, kCFRunLoopDefaultMode);
  CFRelease(stopSource);
  CFRelease(stop);
  CFRunLoopSourceRef power = IOPSNotificationCreateRunLoopSource(onPowerSources, &holder);
  CFRunLoopAddSource(CFRunLoopGetCurrent(), power, kCFRunLoopDefaultMode);
  CFRelease(power);
  IONotificationPortRef port = nullptr;
  io_object_t notifier = 0;
  holder.root = IORegisterForSystemPower(&holder, &port, onSystemPower, &notifier);
  ASSERT_NE(holder.root, 0U);
  CFRunLoopAddSource(CFRunLoopGetCurrent(), IONotificationPortGetRunLoopSource(port), kCFRunLoopDefaultMode);
  CFRunLoopTimerContext timerContext{0, &holder, nullptr, nullptr, nullptr};
  CFRunLoopTimerRef timer = CFRunLoopTimerCreate(nullptr, CFAbsoluteTimeGetCurrent() + interval, interval, 0, 0,
                                                 onTimer, &timerContext);
  CFRunLoopAddTimer(CFRunLoopGetCurrent(), timer, kCFRunLoopDefaultMode);
  CFRelease(timer);
  CFRunLoopRun();

  signal(SIGTERM, SIG_DFL);
  signal(SIGALRM, SIG_DFL);
  close(holder.pipe[0]);
  close(holder.pipe[1]);
  platform::clearRunLoop();
}

using Word = emu::TimelineEvent::Word;

}  // namespace

// What a holder receives, each at its minute. Four hours of a Mac whose
// charging is inhibited (its battery moves only off the adapter), the
// holder's timer every 10 minutes: no notification while asleep, one at the
// wake for what changed in the sleep, and the timers missed asleep fired once
// after the wake messages. Then a Mac that charges, its holder's timer every
// 2 minutes, as each new percent is reached: the notification, then the timer.
TEST(RunLoop, FollowsTheMachinesTimeline) {
  const struct {
    bool inhibited;
    std::vector<emu::TimelineEvent> timeline;
    CFTimeInterval interval;
    std::vector<std::string> received;
  } cases[] = {
      {true,
       {{15, Word::unplug}, {17, Word::plug}, {30, Word::battery, 50}, {60, Word::sleep}, {90, Word::unplug},
        {200, Word::wake}, {202, Word::plug}, {240, Word::stop}},
       600,
       {"10 timer", "15 power-sources", "15.5 power-sources", "17 power-sources", "20 timer", "30 timer",
        "30 power-sources", "40 timer", "50 timer", "60 timer", "60 can-sleep", "60 will-sleep",
        "200 will-power-on", "200 has-powered-on", "200 power-sources", "200 timer", "201.5 power-sources",
        "202 power-sources", "210 timer", "220 timer", "230 timer", "240 timer", "240 stop"}},
      {false,
       {{4, Word::stop}},
       120,
       {"2 power-sources", "2 timer", "4 power-sources", "4 timer", "4 stop"}},
  };
  for (const auto& c : cases) {
    emu::EmulatedMac mac;
    emu::applyState(mac, emu::findBuiltinMachine("apple-silicon")->make());
    if (c.inhibited) mac.keys["CHTE"].value = {1, 0, 0, 0};
    mac.battery = 800;
    mac.startTimeline(c.timeline);
    platform::attachMachine(&mac);
    Holder holder;
    hold(holder, c.interval);
    platform::attachMachine(nullptr);
    EXPECT_EQ(holder.received, c.received);
    if (!c.inhibited) continue;
    // What the machine made of the answers, and its battery through the
    // sleep: 1 percent an hour asleep, from minute 90 to 200.
    std::vector<std::string> answers;
    for (const emu::Event& event : mac.log()) {
      if (event.clock.kind == emu::ClockEvent::Kind::answer ||
          event.clock.kind == emu::ClockEvent::Kind::unanswered) {
        answers.push_back(std::to_string(event.clock.at / 60'000) + (event.clock.allow ? " allow " : " not ") +
                          std::to_string(event.clock.id));
      }
    }
    EXPECT_EQ(answers, (std::vector<std::string>{"60 allow 1", "60 not 2"}));
    EXPECT_EQ(mac.battery, 478);
  }
}

// Dark wakes as the kernel tells them: from a full wake, the sleep's messages,
// and the process runs on; from sleep, nothing, and the process runs: what
// changed asleep is notified, and the timer missed asleep fires at once. Then
// the timed wakes that the holder asks for at its sleep, with its timer every
// minute: each that comes while asleep is a dark wake of 2 minutes, told
// nothing (or as long as the timeline's own dark wake that follows); one
// cancelled, asked by a caller without root, failed by a fault, or falling
// while awake or dark never comes, and one whose time has come is gone.
TEST(RunLoop, DarkWakesAndTimedWakes) {
  struct Request {
    bool cancel;
    int minute;
    const char* type;
    const char* failure;  ///< how its line ends
    const char* id = "holder";
  };
  const struct {
    std::vector<emu::TimelineEvent> timeline;
    CFTimeInterval interval;
    std::vector<Request> requests;  ///< made at each will-sleep
    std::vector<const char*> faults;
    bool privileged;
    std::vector<std::string> received;
    std::vector<std::string> wakes;  ///< the trace's lines of timed wakes
  } cases[] = {
      {{{10, Word::dark}, {20, Word::sleep}, {30, Word::unplug}, {100, Word::dark}, {105, Word::sleep},
        {200, Word::wake}, {205, Word::dark}, {210, Word::wake}, {215, Word::stop}},
       600, {}, {}, true,
       {"10 timer", "10 can-sleep", "10 will-sleep", "20 timer", "100 power-sources", "100 timer",
        "105 power-sources", "200 will-power-on", "200 has-powered-on", "200 power-sources", "200 timer",
        "202.5 power-sources", "205 can-sleep", "205 will-sleep", "207.5 power-sources", "210 timer",
        "210 will-power-on", "210 has-powered-on", "212.5 power-sources", "215 stop"},
       {}},
      {{{1, Word::sleep}, {250, Word::dark}, {255, Word::sleep}, {300, Word::wake}, {301, Word::stop}},
       60,
       {{false, 100, "wake", ""}, {false, 150, "wake", ""}, {false, 150, "wake", ""}, {true, 150, "wake", ""},
        {true, 150, "wake", " -> not-found"}, {false, 0, "wake", ""}, {true, 0, "wake", " -> not-found"},
        {false, 249, "wake", ""}, {false, 253, "wake", ""}, {false, 200, "sleep", ""}, {false, 270, "wake", ""},
        {true, 270, "wake", " -> not-found", "other"}, {true, 270, "poweron", " -> not-found"},
        {true, 271, "wake", " -> not-found"}, {false, 280, "nap", " -> bad-argument"}, {false, -5, "wake", ""},
        {false, 1, "wake", ""}},
       {}, true,
       {"1 timer", "1 can-sleep", "1 will-sleep", "100 timer", "101 timer", "102 timer", "249 timer", "250 timer",
        "251 timer", "252 timer", "253 timer", "254 timer", "255 timer", "270 timer", "271 timer", "272 timer",
        "300 will-power-on", "300 has-powered-on", "300 timer", "301 timer", "301 stop"},
       {"at 100 dark timed", "at 102 sleep timed", "at 249 dark timed", "at 270 dark timed", "at 272 sleep timed"}},
      {{{1, Word::sleep}, {300, Word::wake}, {300, Word::stop}},
       600,
       {{false, 100, "wake", " -> io-error"}, {false, 200, "wake", ""}, {true, 200, "wake", " -> not-privileged"}},
       {"schedule=io-error@1", "unschedule=not-privileged@1"}, true,
       {"1 can-sleep", "1 will-sleep", "200 timer", "300 will-power-on", "300 has-powered-on", "300 timer", "300 stop"},
       {"at 200 dark timed", "at 202 sleep timed"}},
      {{{1, Word::sleep}, {300, Word::wake}, {300, Word::stop}},
       600, {{false, 100, "wake", " -> not-privileged"}}, {}, false,
       {"1 can-sleep", "1 will-sleep", "300 will-power-on", "300 has-powered-on", "300 timer", "300 stop"}, {}},
  };
  for (const auto& c : cases) {
    emu::EmulatedMac mac;
    emu::applyState(mac, emu::findBuiltinMachine("apple-silicon")->make());
    mac.keys["CHTE"].value = {1, 0, 0, 0};
    mac.battery = 800;
    for (const char* fault : c.faults) mac.faults.push_back(*emu::parseFault(fault));
    mac.privileged = c.privileged;
    mac.startTimeline(c.timeline);
    platform::attachMachine(&mac);
    Holder holder;
    holder.atWillSleep = [&] {
      for (const Request& r : c.requests) {
        CFDateRef date = CFDateCreate(nullptr, emu::kTimelineEpoch + r.minute * 60.0);
        EXPECT_EQ(CFDateGetAbsoluteTime(date), emu::kTimelineEpoch + r.minute * 60.0);
        const auto call = r.cancel ? IOPMCancelScheduledPowerEvent : IOPMSchedulePowerEvent;
        call(date, CFStandinConstantString(r.id), CFStandinConstantString(r.type));
        CFRelease(date);
      }
      EXPECT_EQ(IOPMSchedulePowerEvent(nullptr, CFSTR("holder"), CFSTR(kIOPMAutoWake)), kIOReturnBadArgument);
    };
    hold(holder, c.interval);
    platform::attachMachine(nullptr);
    EXPECT_EQ(holder.received, c.received);
    std::vector<std::string> trace;
    std::vector<std::string> expected;
    for (const Request& r : c.requests) {
      expected.push_back(std::string(r.cancel ? "unschedule " : "schedule ") + r.type + " " +
                         std::to_string(r.minute) + " " + r.id + r.failure);
    }
    expected.insert(expected.end(), c.wakes.begin(), c.wakes.end());
    for (const emu::Event& event : mac.log()) {
      const auto kind = event.clock.kind;
      if (event.kind == emu::Event::Kind::schedule || event.kind == emu::Event::Kind::unschedule ||
          (event.kind == emu::Event::Kind::clock &&
           (kind == emu::ClockEvent::Kind::timedWake || kind == emu::ClockEvent::Kind::timedSleep))) {
        trace.push_back(emu::traceLine(event));
      }
    }
    EXPECT_EQ(trace, expected);
  }
}

// In real time: a descriptor's callback runs once each time it is enabled
// (here twice from within itself, then no more, its byte still unread), and a
// signal ends the wait for a timer an hour away.
TEST(RunLoop, WaitsInRealTimeForDescriptorsAndSignals) {
  platform::attachMachine(nullptr);
  Holder holder;
  int ready[2] = {-1, -1};  // NOLINT(*-avoid-c-arrays): pipe(2)'s own
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(write(ready[1], "xy", 2), 2);
  int calls = 0;
  CFFileDescriptorContext context{0, &calls, nullptr, nullptr, nullptr};
  CFFileDescriptorRef unread = CFFileDescriptorCreate(
      nullptr, ready[0], false,
      [](CFFileDescriptorRef f, CFOptionFlags, void* info) {
        if (++*static_cast<int*>(info) < 3) CFFileDescriptorEnableCallBacks(f, kCFFileDescriptorReadCallBack);
      },
      &context);
  CFFileDescriptorEnableCallBacks(unread, kCFFileDescriptorReadCallBack);
  CFRunLoopSourceRef source = CFFileDescriptorCreateRunLoopSource(nullptr, unread, 0);
  CFRunLoopAddSource(CFRunLoopGetCurrent(), source, kCFRunLoopDefaultMode);
  CFRelease(source);
  CFRelease(unread);  // the source holds it

  itimerval alarm{};
  alarm.it_value.tv_usec = 50'000;
  ASSERT_EQ(setitimer(ITIMER_REAL, &alarm, nullptr), 0);
  const auto start = std::chrono::steady_clock::now();
  hold(holder, 3600);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  ASSERT_EQ(holder.received.size(), 1U);
  EXPECT_EQ(holder.received[0].substr(holder.received[0].find(' ')), " stop");
  EXPECT_EQ(calls, 3);
  close(ready[0]);
  close(ready[1]);
}
