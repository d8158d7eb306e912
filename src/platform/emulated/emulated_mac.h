// An emulated Mac for the IOKit stand-in: an AppleSMC controller with keys,
// faults on demand, a call log and a count of open connections, and its
// battery's entry in the registry (battery_entry.h); and, given a timeline, a
// clock that the run loop follows (emulated_time.h).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/attached_machine.h"
#include "platform/emulated/battery_entry.h"
#include "platform/emulated/emulated_time.h"
#include "platform/emulated/holder_requests.h"
#include "platform/emulated/power_requests.h"

namespace emu {

using Bytes = std::vector<std::uint8_t>;

/// The controller's result byte for a key that it does not know.
inline constexpr std::uint8_t kResultKeyNotFound = 132;

/// The attribute byte of a key that names none: readable (0x80) and writable
/// (0x40), with the bits that real controls report beside them.
inline constexpr std::uint8_t kDefaultAttributes = 0xd4;

/// The type of a placeholder that reports a blank type: the type code 0.
inline constexpr std::string_view kBlankType{"\0\0\0\0", 4};

/// One SMC key: its type (four characters), its attribute byte and its value.
/// The size that it reports is the value's length; a key may be larger than
/// the 32 bytes that a block carries, and a read then answers the first 32.
struct Key {
  std::string type = "hex_";
  std::uint8_t attributes = kDefaultAttributes;
  Bytes value{};
};

/// What "hw.optional.arm64" answers: 1, 0, or no such name.
enum class Arch : std::uint8_t { arm64, x86_64, absent };

/// The calls that a fault can hit: the driver's, the battery's entry
/// (`registry`: its lookup, or the reading of its properties), and the
/// requests for timed wakes and their cancellations.
enum class Call : std::uint8_t { open, info, read, write, registry, schedule, unschedule };

/// A call made to fail. For `open`, `noDriver` makes the service lookup find
/// nothing; otherwise IOServiceOpen returns `ioReturn`. For `registry` alike,
/// the lookup of the battery's entry or IORegistryEntryCreateCFProperties.
/// For the key calls the call returns `ioReturn`; with `touchReply` the reply
/// block is the normal reply with its result byte set to `result`, without it
/// the reply is left as the caller prepared it. With `replySize`, a key call
/// answers success with only that many bytes of the normal reply, fewer than
/// the block's.
struct Fault {
  Call call = Call::info;
  std::string key = "*";  ///< a key name, or "*" for any key
  unsigned nth = 0;       ///< fail only the Nth matching call (from 1); 0 fails every one
  bool noDriver = false;
  std::int32_t ioReturn = 0;
  std::uint8_t result = 0;
  bool touchReply = false;
  std::optional<std::uint32_t> replySize{};
  unsigned seen = 0;  ///< matching calls so far
};

/// One entry of the call log.
struct Event {
  enum class Kind : std::uint8_t {
    noDriver, open, close, info, read, write, other, badCall, powerSources, clock,
    noEntry,  ///< the lookup of the battery's entry found none
    entry,    ///< the entry's properties were read
    schedule, unschedule
  };
  Kind kind = Kind::open;
  std::string key{};    ///< the key of a call
  std::uint8_t subCommand = 0;
  Bytes bytes{};        ///< a write's first dataSize bytes sent (at most 32)
  /// How the call failed: the IOKit return, else the controller's result
  /// byte; both 0 when it did not fail.
  std::int32_t ioReturn = 0;
  std::uint8_t result = 0;
  /// The size of a reply that a fault cut short.
  std::optional<std::uint32_t> replySize{};
  /// What happened on the machine's clock, for `clock`.
  ClockEvent clock{};
  /// The request of `schedule` and `unschedule`; its failure is `ioReturn`.
  PowerRequest request{};

  bool failed() const { return ioReturn != 0 || result != 0 || replySize.has_value(); }
};

/// The emulated machine. Attach it with `platform::attachMachine`.
class EmulatedMac final : public platform::Machine {
 public:
  EmulatedMac() = default;
  EmulatedMac(const EmulatedMac&) = delete;
  EmulatedMac& operator=(const EmulatedMac&) = delete;
  EmulatedMac(EmulatedMac&&) = delete;
  EmulatedMac& operator=(EmulatedMac&&) = delete;
  ~EmulatedMac() override;

  std::map<std::string, Key> keys;
  bool driverPresent = true;
  bool privileged = true;
  Arch arch = Arch::arm64;
  /// Keys that the firmware refuses to everyone, root included: every
  /// information query, read and write on them answers kIOReturnNotPrivileged,
  /// whether or not the machine has the key.
  std::set<std::string> refused;
  /// Refused like `refused`, for this run only: not part of the machine's
  /// state (MachineState), so a save does not keep them.
  std::set<std::string> refusedForRun;
  std::vector<Fault> faults;
  /// The internal battery's charge in tenths of a percent (emulated_battery.h),
  /// or none for a Mac without a battery.
  std::optional<int> battery;
  /// Whether the power adapter is plugged in.
  bool adapterConnected = true;
  /// The battery's entry in the registry, there while there is a battery.
  BatteryEntry batteryEntry{};
  /// The holders' lock file (holderLockPath); empty: none to share.
  std::string holderLock{};
  /// Called when a holder has taken that lock.
  std::function<void()> onHolderLockSettled;
  /// Where its holder listens for callers, and keeps the band they set
  /// (holderSocketPath, holderBandPath); empty: nowhere.
  std::string holderSocket{};
  std::string holderBand{};
  /// The start of the name of the file by which a caller process tells its
  /// account (caller_file.h); empty: every caller is the administrator.
  std::string callerFiles{};

  /// Called with each event as it happens, after the log has it.
  std::function<void(const Event&)> onEvent;
  /// Whether the log keeps the events. A caller that takes them as they
  /// come through onEvent turns it off, so that a long timeline runs in
  /// memory that does not grow.
  bool keepsLog = true;

  const std::vector<Event>& log() const { return log_; }
  void clearLog() { log_.clear(); }

  /// Connections open now, and the most that were ever open at once.
  std::size_t openConnections() const { return connections_.size(); }
  std::size_t maxOpenConnections() const { return maxOpen_; }
  /// Service handles, the battery's entry's included, handed out and not yet
  /// released.
  std::size_t heldServices() const { return services_.size() + entries_.size(); }

  io_service_t matchService(std::string_view className) override;
  kern_return_t openService(io_service_t service, task_port_t owningTask, uint32_t type,
                            io_connect_t* connect) override;
  kern_return_t releaseObject(io_object_t object) override;
  kern_return_t closeConnection(io_connect_t connect) override;
  kern_return_t callStructMethod(io_connect_t connection, uint32_t selector, const void* input,
                                 size_t inputSize, void* output, size_t* outputSize) override;
  std::optional<int> sysctlInteger(std::string_view name) override;
  /// The battery, if any, as the power-source API describes it; each call is
  /// an event.
  std::optional<std::vector<platform::PowerSourceDescription>> powerSources() override;
  kern_return_t createProperties(io_registry_entry_t entry, CFMutableDictionaryRef* properties) override;
  /// Keeps a request for a timed wake, or takes one back, as a Mac does:
  /// root only, a type that a Mac knows, and a cancellation names the
  /// request's date, id and type (else kIOReturnNotFound). Each is an event.
  /// Along a timeline a request is kept until its time comes: of type wake,
  /// while the Mac sleeps, it makes a dark wake of kTimedWakeMs; while the
  /// Mac is awake or dark, it passes.
  IOReturn schedulePowerEvent(double date, std::string_view id, std::string_view type) override;
  IOReturn cancelScheduledPowerEvent(double date, std::string_view id, std::string_view type) override;
  const char* holderLockPath() override { return holderLock.empty() ? nullptr : holderLock.c_str(); }
  void holderLockSettled() override {
    if (onHolderLockSettled) onHolderLockSettled();
  }
  const char* holderSocketPath() override { return holderSocket.empty() ? nullptr : holderSocket.c_str(); }
  const char* holderBandPath() override { return holderBand.empty() ? nullptr : holderBand.c_str(); }
  /// The account of the caller `pid` (accounts.h): for the process itself,
  /// that of its timeline's request under way; for another, what its caller
  /// file says.
  std::optional<std::pair<std::uint32_t, std::uint32_t>> peerIdentity(std::int64_t pid) override;
  std::optional<bool> isMember(std::uint32_t uid, std::uint32_t gid) override;

  /// Puts the machine in virtual time at minute 0, to follow `timeline`: in
  /// order of minutes, ending in a stop, and possible for this machine (no
  /// wake while awake, no battery event without a battery...), which the
  /// caller checks. Records the starting level.
  void startTimeline(std::vector<TimelineEvent> timeline);
  /// The clock, from kTimelineEpoch at minute 0; none without a timeline.
  std::optional<double> clock() override;
  /// Moves to the next change of the battery's whole percent, the next event
  /// of the timeline, or `deadline`; at a stop, raises SIGTERM in the process.
  bool advance(std::optional<double> deadline) override;
  std::optional<platform::SystemEvent> nextSystemEvent() override;
  IOReturn answerPowerChange(std::intptr_t notificationID, bool allow) override;

 private:
  Fault* firingFault(Call call, std::string_view key, bool lookup);
  void record(Event event);
  void recordClock(ClockEvent event);
  void moveTo(std::int64_t ms);
  void settle();
  void post();
  void happen(const TimelineEvent& event);
  void tellSleep();
  void goDark();
  void sleepUntilWoken();
  bool followOwnEvent();
  std::optional<std::int64_t> nextBatteryChange() const;
  std::optional<std::int64_t> nextOwnEvent() const;
  IOReturn request(Call call, double date, std::string_view id, std::string_view type);
  void ask(const TimelineEvent& request);
  void sendNextAsk();
  bool finishAsking();
  std::optional<Account> askingAccount() const;

  std::optional<MachineTime> time_;
  std::vector<PowerRequest> requests_;
  /// The timeline's requests to the holder, one open at a time: the
  /// holder's peer is then this process, as that one caller.
  std::deque<TimelineEvent> asks_;
  std::optional<OpenAsk> asking_;

  std::vector<Event> log_;
  std::set<io_connect_t> connections_;
  std::set<io_service_t> services_;
  std::set<io_registry_entry_t> entries_;
  std::size_t maxOpen_ = 0;
  io_object_t nextHandle_ = 0x1001;
};

}  // namespace emu
