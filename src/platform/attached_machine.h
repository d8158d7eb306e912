// What stands behind the IOKit and power-source stand-in: an emulated Mac,
// or nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "platform/standin/iokit.h"

namespace platform {

/// A value of a power source's description: a boolean, a number or a text.
using PowerValue = std::variant<bool, std::int64_t, std::string>;

/// One power source as IOPSGetPowerSourceDescription describes it: its keys
/// with their values, in order.
using PowerSourceDescription = std::vector<std::pair<std::string, PowerValue>>;

/// What a machine with a clock sends to the process: a power-source
/// notification, or a sleep or wake message.
struct SystemEvent {
  enum class Kind : std::uint8_t { powerSources, systemPower };
  Kind kind = Kind::powerSources;
  std::uint32_t message = 0;         ///< systemPower: its kIOMessage constant
  std::intptr_t notificationID = 0;  ///< systemPower: its argument, the ID that an answer names
};

/// A machine that answers the IOKit, power-source, timed-wake and sysctl
/// calls of the stand-in. Each member receives the call's own arguments and
/// gives the call's own answer. The members after powerSources have defaults:
/// those of a machine that no other holder shares, whose timed wakes never
/// come (a request succeeds), and without a clock of its own, which the run
/// loop would then follow (run_loop.h).
class Machine {
 public:
  Machine() = default;
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;
  Machine(Machine&&) = delete;
  Machine& operator=(Machine&&) = delete;
  virtual ~Machine() = default;

  /// The service of class `className`, or 0.
  virtual io_service_t matchService(std::string_view className) = 0;
  virtual kern_return_t openService(io_service_t service, task_port_t owningTask,
                                    uint32_t type, io_connect_t* connect) = 0;
  virtual kern_return_t releaseObject(io_object_t object) = 0;
  virtual kern_return_t closeConnection(io_connect_t connect) = 0;
  virtual kern_return_t callStructMethod(io_connect_t connection, uint32_t selector,
                                         const void* input, size_t inputSize, void* output,
                                         size_t* outputSize) = 0;
  /// The integer that the kernel value `name` holds, or none when the name
  /// does not exist.
  virtual std::optional<int> sysctlInteger(std::string_view name) = 0;
  /// The power sources, in the order of the system's list; none when the
  /// information cannot be had (IOPSCopyPowerSourcesInfo answers null).
  virtual std::optional<std::vector<PowerSourceDescription>> powerSources() = 0;
  /// The properties of the registry entry `entry` (a service that
  /// matchService gave), as a new dictionary stored in `*properties`;
  /// kIOReturnBadArgument for an object that is no entry of the machine's.
  virtual kern_return_t createProperties(io_registry_entry_t /*entry*/, CFMutableDictionaryRef* /*properties*/) {
    return kIOReturnBadArgument;
  }
  /// The file on which the holders of this machine meet, or null when no
  /// other holder can share it.
  virtual const char* holderLockPath() { return nullptr; }
  /// A holder's wait for that lock is over: it has it, or it was refused.
  virtual void holderLockSettled() {}
  /// Where this machine's holder listens for its callers, and where it keeps
  /// the band they set; null: no caller can reach it.
  virtual const char* holderSocketPath() { return nullptr; }
  virtual const char* holderBandPath() { return nullptr; }
  /// The effective user and group of the process `pid` on this machine (a
  /// caller of its holder); none: the host's own.
  virtual std::optional<std::pair<std::uint32_t, std::uint32_t>> peerIdentity(std::int64_t /*pid*/) {
    return std::nullopt;
  }
  /// Whether the user `uid` belongs to the group `gid` on this machine; none:
  /// not a member.
  virtual std::optional<bool> isMember(std::uint32_t /*uid*/, std::uint32_t /*gid*/) { return std::nullopt; }

  /// IOPMSchedulePowerEvent's answer to a request for the power event `type`
  /// at `date` (a clock value) on behalf of `id`.
  virtual IOReturn schedulePowerEvent(double /*date*/, std::string_view /*id*/, std::string_view /*type*/) {
    return kIOReturnSuccess;
  }
  /// IOPMCancelScheduledPowerEvent's answer: the request of the same date, id
  /// and type is taken back.
  virtual IOReturn cancelScheduledPowerEvent(double /*date*/, std::string_view /*id*/, std::string_view /*type*/) {
    return kIOReturnSuccess;
  }

  /// The machine's clock as CFAbsoluteTimeGetCurrent answers it; none: the
  /// process runs in real time, and no system event ever comes.
  virtual std::optional<double> clock() { return std::nullopt; }
  /// Moves the clock to the machine's next event of its own, or to
  /// `deadline` (the run loop's next timer, as a clock value) when that comes
  /// first. False when its time cannot move: the machine's run has ended and
  /// the process went on.
  virtual bool advance(std::optional<double> /*deadline*/) { return false; }
  /// The next notification or message due now, or none. A machine that goes
  /// to sleep once its sleep messages are served sleeps within this call,
  /// frozen for the process, and answers with its first wake message.
  virtual std::optional<SystemEvent> nextSystemEvent() { return std::nullopt; }
  /// The process's answer to the sleep message `notificationID`: the change
  /// may go on (`allow`) or not. kIOReturnBadArgument for an ID that awaits
  /// no answer.
  virtual IOReturn answerPowerChange(std::intptr_t /*notificationID*/, bool /*allow*/) {
    return kIOReturnBadArgument;
  }
};

/// Puts `machine` behind the stand-in (null detaches). The caller keeps it
/// alive while attached.
void attachMachine(Machine* machine);

/// The attached machine, or null.
Machine* attachedMachine();

}  // namespace platform
