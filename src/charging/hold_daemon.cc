#include "charging/hold_daemon.h"

#include <poll.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <stdexcept>

#include "charging/band_file.h"
#include "charging/cf_owned.h"
#include "charging/holder_lock.h"
#include "charging/holder_socket.h"
#include "charging/log_file.h"
#include "charging/stop_signals.h"
#include "charging/wake_request.h"
#include "response/print_json.h"
#include "smc/platform.h"

namespace {

/// The backstop's interval, in seconds: a change that no notification told
/// is seen within a minute, and a start that failed is tried again.
constexpr CFTimeInterval kBackstop = 60;
/// How often a failure that lasts is said again.
constexpr double kFailureRepeat = 3600;
/// How often charging whose write failed is tried again: the band is held
/// with the adapter alone until a write of charging succeeds.
constexpr double kChargingAside = 3600;

/// What the log has said of failures: the one that lasts, and when it was
/// last printed.
struct LogGate {
  bool failing{};                        ///< the last decision failed
  std::optional<std::string> printed{};  ///< the failure last printed
  double printedAt{};                    ///< when it was printed
  std::optional<double> endedAt{};       ///< when a failure's end was last printed
};

/// A full charge that an app asked for: every control on until the battery
/// is full, or the adapter is unplugged once it has been plugged in.
struct FullCharge {
  bool asked{};
  bool plugged{};  ///< a decision since it was asked found the adapter plugged in
};

/// What the callbacks share, for the life of the process.
struct Holder {
  std::string command{};
  HolderSettings settings{};
  Band band{};  ///< the band held: the arguments', or the one an app set
  FullCharge full{};
  /// The last decision's line, its JSON, for an app that asks: kept as text,
  /// so that no copy of a whole record is made at each decision.
  std::optional<std::string> last{};
  std::optional<int> lastLevel{};  ///< the level that decision read
  int stopPipe{};
  io_connect_t rootDomain{};  ///< where sleep messages are answered
  bool started{};             ///< holds its band; else its start failed and is tried again
  bool asleep{};              ///< from the sleep message to the full wake's
  std::optional<double> adapterOnAt{};    ///< when this holder last turned the adapter on
  std::optional<double> chargingAsideAt{};  ///< when charging's write last failed, until one succeeds
  std::optional<double> wakeAt{};         ///< the wake asked for, and not yet withdrawn
  bool heatPaused{};                      ///< it paused charging for the heat, and the battery is not cool yet
  LogGate gate{};
};

Holder& holderOf(void* info) { return *static_cast<Holder*>(info); }

/// Whether `line` is worth its bytes in the log, and notes it: always where
/// `always`, or where it wrote; a failure when it starts, and again once an
/// hour while it lasts or comes back; the first line without it, which says
/// it ended, at most once an hour (a failure that comes and goes with the
/// level says so in the lines that write).
bool worthPrinting(LogGate& gate, const JsonResponse& line, double now, bool always) {
  const bool wrote = line.writes && !line.writes->empty();
  if (line.ok) {
    const bool ended = gate.failing && (!gate.endedAt || now - *gate.endedAt >= kFailureRepeat);
    gate.failing = false;
    if (ended) gate.endedAt = now;
    return always || wrote || ended;
  }
  std::string failure = line.code.value_or("") + ' ' + line.error.value_or("");
  const bool repeat = gate.printed == failure && now - gate.printedAt < kFailureRepeat;
  gate.failing = true;
  if (!(always || wrote || !repeat)) return false;
  gate.printed = std::move(failure);
  gate.printedAt = now;
  return true;
}

/// Withdraws the wake asked for, unless it has come already.
void withdrawWake(Holder& holder, double now) {
  if (holder.wakeAt && *holder.wakeAt > now) cancelWake(*holder.wakeAt);
  holder.wakeAt.reset();
}

/// Makes sure that a wake comes at `at` or before; false when none can be asked.
bool wakeBy(Holder& holder, double at, double now) {
  if (holder.wakeAt && *holder.wakeAt > now && *holder.wakeAt <= at) return true;
  withdrawWake(holder, now);
  if (!requestWake(at)) return false;
  holder.wakeAt = at;
  return true;
}

/// What a holder carries out: the decision, the adapter's should charging's
/// write fail, and whether the wake asked for serves that case alone.
struct Plan {
  HoldDecision decision{};
  std::optional<bool> fallback{};
  bool wakeForFallback{};
};

/// Cool again, a pause for the heat ends where it began: by day, charging
/// goes on up to the upper level, as it would have gone but for the heat,
/// rather than wait in the band for the level to fall to the lower one.
void endHeatPause(Holder& holder, const HoldSituation& situation, Band band, HoldDecision& decision) {
  if (!holder.heatPaused || (situation.temperature && *situation.temperature > (band.hot - 3) * 10)) return;
  holder.heatPaused = false;
  if (!holder.asleep && situation.level < band.upper && !unplugged(situation)) {
    (adapterAlone(situation) ? decision.adapter : decision.charging) = true;
  }
}

/// Asleep, where the adapter alone holds the band (or would, should
/// charging's write fail), a cut adapter is left only with a wake asked for
/// to end it in time: where none can be asked, the adapter stays on and the
/// Mac charges, as it did before any wake was asked for. Any other plan needs
/// no wake, and the one asked for is withdrawn.
void wakeOrCharge(Holder& holder, const HoldSituation& situation, Band band, const HolderRule& rule, Plan& planned,
                  double now) {
  const bool alone = adapterAlone(situation);
  const bool chargingWritten = planned.decision.charging == false && situation.charging.status != "disabled";
  if (!holder.asleep || !situation.adapter.usable || unplugged(situation) || !(alone || chargingWritten)) {
    withdrawWake(holder, now);
    return;
  }
  std::optional<bool>& adapter = alone ? planned.decision.adapter : planned.fallback;
  const bool cut = adapter ? !*adapter : situation.adapter.status == "disabled";
  // An adapter left on all night by choice (a full charge, --charge-asleep)
  // needs no wake; a cut one always does, heat's included.
  if (!cut && (rule.chargeAsleep || band.upper == 100)) {
    withdrawWake(holder, now);
    return;
  }
  const double at = nightWakeAt(situation.level, band, cut, now, rule.adapterHeldOn ? *holder.adapterOnAt : now);
  if (!wakeBy(holder, at, now) && cut) adapter = true;
  planned.wakeForFallback = !alone;
}

/// The plan on `situation`: the holder's decision on the band, with charging
/// set aside where its write failed (asked again once an hour), the end of a
/// pause for the heat, and what a night needs.
Plan plan(Holder& holder, HoldSituation situation, Band band, double now) {
  const HolderRule rule{.night = holder.asleep, .chargeAsleep = holder.settings.chargeAsleep,
                        .adapterHeldOn = holder.adapterOnAt && now - *holder.adapterOnAt < kAdapterHeldOnSeconds,
                        .heatPaused = holder.heatPaused};
  std::optional<bool> retry;
  if (holder.chargingAsideAt) {
    // Charging set aside: the adapter alone holds the band, and once an hour
    // charging is asked again what the band wants of it.
    if (now - *holder.chargingAsideAt >= kChargingAside) retry = decideHolder(situation, band, rule).charging;
    situation = withoutCharging(situation);
  }
  Plan planned{.decision = decideHolder(situation, band, rule),
               .fallback = decideHolder(withoutCharging(situation), band, rule).adapter};
  if (retry) planned.decision.charging = retry;
  endHeatPause(holder, situation, band, planned.decision);
  wakeOrCharge(holder, situation, band, rule, planned, now);
  return planned;
}

/// Notes what a run did that later decisions depend on: when the adapter
/// went on, and whether charging's writes work.
void remember(Holder& holder, const HoldRun& run, double now) {
  for (const auto& [control, state] : run.line.writes.value_or(WriteList{})) {
    if (control == "adapter") holder.adapterOnAt = state == "on" ? std::optional(now) : std::nullopt;
    if (control == "charging") holder.chargingAsideAt.reset();
  }
  if (run.chargingWriteFailed) holder.chargingAsideAt = now;
  // Paused for the heat until the battery is cool again, whatever the lines
  // in between say (one near the lower level names no heat).
  if (run.line.heat) holder.heatPaused = true;
}

/// The band to decide with on `situation`: the band held, or, while a full
/// charge lasts, the band up to 100. The charge ends full, or unplugged once
/// it has been plugged in (asked for unplugged, it waits for the plug).
Band bandFor(Holder& holder, const HoldSituation& situation) {
  FullCharge& full = holder.full;
  if (full.asked && situation.onAdapter) full.plugged = true;
  if (full.asked && (situation.level >= 100 || (full.plugged && unplugged(situation)))) full = {};
  if (!full.asked) return holder.band;
  return {.lower = holder.band.lower, .upper = 100, .hot = holder.band.hot};
}

/// Decides at `event` and prints the line (unless `always` is false and the
/// log would not miss it); its status. Memory running out prints the
/// fallback line, and the holder goes on to the next event.
int decide(Holder& holder, HolderEvent event, bool always) noexcept {
  try {
    const double now = CFAbsoluteTimeGetCurrent();
    const bool stopping = event == HolderEvent::stop;
    if (holder.asleep && (event == HolderEvent::timer || event == HolderEvent::power)) event = HolderEvent::dark;
    const HoldFindings found = findForHold(stopping, holder.band);
    Plan planned;
    if (stopping) {
      withdrawWake(holder, now);
      planned.decision = {.adapter = found.situation.adapter.usable ? std::optional(true) : std::nullopt,
                          .charging = found.situation.charging.usable ? std::optional(true) : std::nullopt};
    } else if (decidable(found, stopping)) {
      planned = plan(holder, found.situation, bandFor(holder, found.situation), now);
    }
    const HoldRun run = carryOut(holder.command, std::string(eventWord(event)), found, stopping, planned.decision,
                                 planned.fallback);
    if (planned.wakeForFallback && !run.chargingWriteFailed) withdrawWake(holder, now);
    remember(holder, run, now);
    const int status = worthPrinting(holder.gate, run.line, now, always) ? printLine(run.line) : 0;
    holder.last = encodeJson(run.line);
    holder.lastLevel = run.line.level;
    return status;
  } catch (...) {
    writeAll(STDOUT_FILENO, kFallbackLine);
    return 1;
  }
}

/// Restores the Mac, prints the stop line and ends the process with its
/// status.
[[noreturn]] void stop(Holder& holder) {
  closeDoor();
  std::exit(decide(holder, HolderEvent::stop, true));
}

/// A start that cannot hold its band: the adapter back on where it is cut
/// (a holder killed before may have left it so), and the line that says why,
/// as often as the log takes it.
void failStart(Holder& holder, JsonResponse line) noexcept {
  try {
    const HoldFindings found = findForHold(/*stopping=*/true);
    HoldRun restore = carryOut(holder.command, std::nullopt, found, /*stopping=*/true,
                               {.adapter = found.situation.adapter.usable ? std::optional(true) : std::nullopt},
                               std::nullopt);
    if (!restore.line.writes->empty()) line.writes = std::move(restore.line.writes);
    if (worthPrinting(holder.gate, line, CFAbsoluteTimeGetCurrent(), false)) printLine(line);
  } catch (...) {
    writeAll(STDOUT_FILENO, kFallbackLine);
  }
}

JsonResponse unavailableLine(const Holder& holder) {
  return {.ok = false, .command = holder.command, .event = "start", .code = std::string(kHolderUnavailableCode),
          .error = std::string(kHolderUnavailableMessage), .writes = WriteList{}};
}

/// Takes the holders' lock, waiting while another holder lives: it says so
/// once, naming that holder, and looks once a second for a signal. A stop
/// then ends the process with a stop line that wrote nothing: the other
/// holder holds. flock cannot wait on the pipe too, and a signal may come
/// just before it blocks; asking again each second leaves no such gap.
LockTry takeLock(Holder& holder) {
  bool told = false;
  for (;;) {
    const LockTry attempt = tryHolderLock();
    if (attempt != LockTry::busy) return attempt;
    if (!told) {
      printLine({.ok = true, .command = holder.command, .event = "wait", .holder = lockHolder()});
      told = true;
    }
    pollfd signals{.fd = holder.stopPipe, .events = POLLIN, .revents = {}};
    if (poll(&signals, 1, 1000) <= 0) continue;
    switch (readSignals(holder.stopPipe)) {
      case SignalRequest::stop: printJson({.ok = true, .command = holder.command, .event = "stop", .writes = WriteList{}});
      case SignalRequest::reopenLog: reopenLog(); break;
      case SignalRequest::none: break;
    }
  }
}

void onPowerSources(void* context) { decide(holderOf(context), HolderEvent::power, false); }

void onSystemPower(void* refcon, io_service_t /*service*/, uint32_t messageType, void* messageArgument) {
  Holder& holder = holderOf(refcon);
  // The notification's ID travels as the argument's pointer value.
  const auto notification = reinterpret_cast<intptr_t>(messageArgument);  // NOLINT(*-reinterpret-cast)
  switch (messageType) {
    case kIOMessageCanSystemSleep: IOAllowPowerChange(holder.rootDomain, notification); break;
    case kIOMessageSystemWillSleep:
      // Asleep from here to the full wake: the kernel tells a process
      // nothing of the dark wakes in between, in which it runs.
      holder.asleep = true;
      decide(holder, HolderEvent::sleep, true);
      // Whatever the decision did: unanswered, the Mac would sleep anyway
      // 30 seconds later, and a holder never keeps it awake.
      IOAllowPowerChange(holder.rootDomain, notification);
      break;
    case kIOMessageSystemHasPoweredOn:
      holder.asleep = false;
      decide(holder, HolderEvent::wake, true);
      break;
    default: break;
  }
}

/// Puts the power sources and the sleep messages on the run loop; a Mac
/// that tells no power change or no sleep still has the timer, so each is
/// left out where it fails.
void listenForPower(Holder& holder) {
  const CFRunLoopRef loop = CFRunLoopGetCurrent();
  if (const CFOwned<CFRunLoopSourceRef> power(IOPSNotificationCreateRunLoopSource(onPowerSources, &holder)); power) {
    CFRunLoopAddSource(loop, power.get(), kCFRunLoopDefaultMode);
  }
  IONotificationPortRef port = nullptr;
  io_object_t notifier{};
  holder.rootDomain = IORegisterForSystemPower(&holder, &port, onSystemPower, &notifier);
  if (holder.rootDomain != io_connect_t{}) {
    CFRunLoopAddSource(loop, IONotificationPortGetRunLoopSource(port), kCFRunLoopDefaultMode);
  }
}

/// What the holder tells an app of itself.
HolderInfo infoOf(const Holder& holder) {
  return {.pid = getpid(), .lower = holder.band.lower, .upper = holder.band.upper, .full = holder.full.asked};
}

/// The line of a band request refused with `code` and `message`.
CallerAnswer refusal(std::string_view code, std::string_view message) {
  return {.line = encodeJson({.command = "band", .code = std::string(code), .error = std::string(message)})};
}

/// What the holder answers `request`, and whether its band changed.
CallerAnswer answerCaller(const BandRequest& request, bool mayChange, void* context) {
  Holder& holder = holderOf(context);
  if (request.kind == BandRequest::Kind::holder) {
    return {.line = encodeJson({.ok = true, .command = "holder", .holder = infoOf(holder), .decision = holder.last})};
  }
  if (!mayChange) {
    return refusal(kNotAllowedCode, holder.settings.bandGroup == "staff" ? kNotAllowedStaffMessage : kNotAllowedMessage);
  }
  if (request.kind == BandRequest::Kind::band) {
    const Band band{.lower = request.band.lower, .upper = request.band.upper, .hot = holder.band.hot};
    if (!saveBand(band, *holder.settings.band)) return refusal(kBandNotSavedCode, kBandNotSavedMessage);
    holder.band = band;
    holder.full = {};
    recordHolder(band);
  } else {
    // Already full, there is nothing to charge: the answer says so.
    holder.full = {.asked = holder.lastLevel.value_or(0) < 100};
  }
  return {.line = encodeJson({.ok = true, .command = "band", .holder = infoOf(holder)}), .changed = true};
}

void onBandChanged(void* context) { decide(holderOf(context), HolderEvent::band, true); }

/// Takes the lock and starts holding, or fails the start, to be tried again
/// at the next minute.
void attemptStart(Holder& holder) {
  if (!holder.settings.band) {
    // No lock is asked for: the wait for it is over at once (an emulated
    // Mac's clock starts here too).
    holderLockSettled();
    failStart(holder, {.ok = false, .command = holder.command, .code = "INVALID_ARGS",
                       .error = std::string(holder.settings.refusal)});
    return;
  }
  if (takeLock(holder) == LockTry::failed) {
    failStart(holder, unavailableLine(holder));
    return;
  }
  holder.band = savedBand(*holder.settings.band).value_or(*holder.settings.band);
  recordHolder(holder.band);
  try {
    listenForPower(holder);
    // A holder that cannot listen still holds its band; the apps' band
    // commands then find no holder, and say so.
    listenForCallers(*bandGroupId(holder.settings.bandGroup),
                     {.answer = answerCaller, .changed = onBandChanged, .context = &holder});
  } catch (...) {
    // Only the stand-in allocates here, and may run out of memory.
    failStart(holder, unavailableLine(holder));
    std::exit(1);
  }
  holder.started = true;
  holder.gate = {};
  decide(holder, HolderEvent::start, true);
}

void onSignals(CFFileDescriptorRef descriptor, CFOptionFlags /*types*/, void* info) {
  Holder& holder = holderOf(info);
  if (readSignals(holder.stopPipe) == SignalRequest::stop) stop(holder);
  reopenLog();
  CFFileDescriptorEnableCallBacks(descriptor, kCFFileDescriptorReadCallBack);
}

void onTimer(CFRunLoopTimerRef /*timer*/, void* info) {
  Holder& holder = holderOf(info);
  if (holder.started) {
    decide(holder, HolderEvent::timer, false);
  } else {
    attemptStart(holder);
  }
}

/// Puts the signals' pipe on this thread's run loop; throws when the signals
/// cannot be heard there.
void listenForSignals(Holder& holder) {
  CFFileDescriptorContext signalContext{.version = {}, .info = &holder, .retain = nullptr, .release = nullptr,
                                        .copyDescription = nullptr};
  // Each object made here is the run loop's once added (a source keeps its
  // descriptor): the holder's own references go when this returns, or throws.
  const CFOwned<CFFileDescriptorRef> signals(
      CFFileDescriptorCreate(nullptr, holder.stopPipe, /*closeOnInvalidate=*/Boolean{}, onSignals, &signalContext));
  const CFOwned<CFRunLoopSourceRef> signalSource(
      signals ? CFFileDescriptorCreateRunLoopSource(nullptr, signals.get(), CFIndex{}) : nullptr);
  if (!signalSource) throw std::runtime_error("the stop signals cannot be heard");
  CFFileDescriptorEnableCallBacks(signals.get(), kCFFileDescriptorReadCallBack);
  CFRunLoopAddSource(CFRunLoopGetCurrent(), signalSource.get(), kCFRunLoopDefaultMode);
}

/// Puts the timer on the run loop, a minute from now: the backstop of a
/// holder, or the next attempt of one whose start failed.
void addTimer(Holder& holder) {
  CFRunLoopTimerContext timerContext{.version = {}, .info = &holder, .retain = nullptr, .release = nullptr,
                                     .copyDescription = nullptr};
  if (const CFOwned<CFRunLoopTimerRef> timer(CFRunLoopTimerCreate(nullptr, CFAbsoluteTimeGetCurrent() + kBackstop,
                                                                  kBackstop, CFOptionFlags{}, CFIndex{}, onTimer,
                                                                  &timerContext));
      timer) {
    CFRunLoopAddTimer(CFRunLoopGetCurrent(), timer.get(), kCFRunLoopDefaultMode);
  }
}

}  // namespace

std::optional<unsigned> bandGroupId(std::string_view word) {
  if (word == "admin") return kAdminGroup;
  if (word == "staff") return kStaffGroup;
  return std::nullopt;
}

void runHoldDaemon(const std::string& command, const HolderSettings& settings) {
  // The callbacks reach it until the process ends.
  static Holder holder;
  holder.command = command;
  holder.settings = settings;
  rememberLog();
  // The stop is heard from the first moment: also while another holder lives.
  holder.stopPipe = openStopPipe();
  // A process left without a descriptor for a pipe touches nothing: it
  // cannot stay, and the start that launchd makes next restores the Mac.
  if (holder.stopPipe == -1) printJson(unavailableLine(holder));
  try {
    listenForSignals(holder);
  } catch (...) {
    // A holder that cannot hear its stop must not take charge, nor stay.
    failStart(holder, unavailableLine(holder));
    std::exit(1);
  }
  attemptStart(holder);
  // Timed from the first attempt's end: the clock is the Mac's once its
  // lock is settled (an emulated Mac's starts then).
  try {
    addTimer(holder);
  } catch (...) {
    // Only the stand-in allocates here: without its timer, a holder still
    // hears every change of the power sources and every sleep.
  }
  CFRunLoopRun();
  // It returns only once no source is left, which no holder lets happen.
  stop(holder);
}
