#include "options.h"

#include <getopt.h>

#include <array>
#include <string_view>

#include "decimal.h"
#include "emu_error.h"
#include "fault_syntax.h"
#include "four_printable.h"
#include "platform/emulated/emulated_battery.h"

namespace {

emu::Fault faultOf(std::string_view text) {
  if (auto fault = emu::parseFault(text)) {
    // A call that answers success is no fault: the helper would report
    // success while the trace says that the call failed.
    if (!fault->noDriver && fault->ioReturn == 0 && fault->result == 0 && !fault->replySize) {
      throw EmuError("--fail " + quoted(text) + ": a fault must fail; result=0 and io=0 are success");
    }
    return *fault;
  }
  if (text.starts_with("open=key-not-found") || text.starts_with("open=result=") ||
      text.starts_with("open=reply=")) {
    throw EmuError("--fail " + quoted(text) +
                   ": an opening cannot fail with key-not-found, result=N or reply=N");
  }
  if (text.starts_with("schedule=") || text.starts_with("unschedule=")) {
    throw EmuError("--fail " + quoted(text) + ": a timed wake's request fails with not-privileged, io-error or io=N");
  }
  throw EmuError("--fail " + quoted(text) +
                 " is not open=ERR[@N], registry=ERR[@N], schedule=ERR[@N], unschedule=ERR[@N] or CALL:KEY=ERR[@N]"
                 " (see smc-emu --help)");
}

// A week: far more than any test of a loop needs, and small enough that no
// sum overflows.
constexpr int kMostMinutes = 10080;

// Far beyond any battery's cycles or mAh.
constexpr int kMostFigure = 100'000;

/// An option that sets a figure of the battery's entry.
struct FigureOption {
  std::optional<int> emu::BatteryEntry::*figure;
  const char* name;
  const char* expected;  ///< what its value must be, but "none"
};

// getopt_long's values for the options, above every character.
enum OptionId : int {
  kMachine = 256, kKey, kDrop, kRefuse, kArch, kFail, kState, kTrace, kUnprivileged, kListMachines,
  kPrintState, kHelp, kVersion, kBattery, kUnplugged, kMinutes, kTimeline, kLayout, kTemperature, kCycleCount,
  kDesignCapacity, kNominalCapacity, kFullChargeCapacity, kAs
};

// In the order of their values, from kTemperature on.
constexpr std::array<FigureOption, 5> kFigureOptions{{
    {&emu::BatteryEntry::temperature, "--temperature", "degrees Celsius from 0 to 100, two decimals at most"},
    {&emu::BatteryEntry::cycleCount, "--cycle-count", "a count from 0 to 100000"},
    {&emu::BatteryEntry::designCapacity, "--design-capacity", "mAh from 0 to 100000"},
    {&emu::BatteryEntry::nominalCapacity, "--nominal-capacity", "mAh from 0 to 100000"},
    {&emu::BatteryEntry::fullChargeCapacity, "--full-charge-capacity", "mAh from 0 to 100000"},
}};

constexpr std::array<option, 25> kLongOptions{{
    {"machine", required_argument, nullptr, kMachine},
    {"key", required_argument, nullptr, kKey},
    {"drop", required_argument, nullptr, kDrop},
    {"refuse", required_argument, nullptr, kRefuse},
    {"arch", required_argument, nullptr, kArch},
    {"fail", required_argument, nullptr, kFail},
    {"state", required_argument, nullptr, kState},
    {"trace", required_argument, nullptr, kTrace},
    {"unprivileged", no_argument, nullptr, kUnprivileged},
    {"battery", required_argument, nullptr, kBattery},
    {"unplugged", no_argument, nullptr, kUnplugged},
    {"minutes", required_argument, nullptr, kMinutes},
    {"timeline", required_argument, nullptr, kTimeline},
    {"as", required_argument, nullptr, kAs},
    {"layout", required_argument, nullptr, kLayout},
    {"temperature", required_argument, nullptr, kTemperature},
    {"cycle-count", required_argument, nullptr, kCycleCount},
    {"design-capacity", required_argument, nullptr, kDesignCapacity},
    {"nominal-capacity", required_argument, nullptr, kNominalCapacity},
    {"full-charge-capacity", required_argument, nullptr, kFullChargeCapacity},
    {"list-machines", no_argument, nullptr, kListMachines},
    {"print-state", no_argument, nullptr, kPrintState},
    {"help", no_argument, nullptr, kHelp},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
}};

/// --key NAME[:TYPE]=HEX...: a key set.
// cppcheck-suppress constParameter ; it adds to options.keyChanges
void addKey(const std::string& value, Options& options) {
  try {
    KeySetting setting = parseKeySetting(value);
    std::string name = setting.name;
    options.keyChanges.push_back({.name = std::move(name), .setting = std::move(setting)});
  } catch (const EmuError& error) {
    throw EmuError(std::string("--key ") + error.what());
  }
}

/// --drop NAME or --refuse NAME.
void dropOrRefuse(bool drop, const std::string& value, Options& options) {
  if (!emu::isFourPrintable(value)) {
    throw EmuError((drop ? "--drop '" : "--refuse '") + value + "': NAME must be four printable ASCII characters");
  }
  if (drop) {
    options.keyChanges.push_back({.name = value});
  } else {
    options.refused.insert(value);
  }
}

/// Sets the option `id` (with its value, empty for a flag).
void setOption(int id, const std::string& value, Options& options) {
  switch (id) {
    case kMachine:
      options.machine = value;
      if (emu::findBuiltinMachine(options.machine) == nullptr) {
        throw EmuError("unknown machine '" + options.machine + "' (smc-emu --list-machines shows them)");
      }
      break;
    case kKey: addKey(value, options); break;
    case kDrop:
    case kRefuse: dropOrRefuse(id == kDrop, value, options); break;
    case kArch:
      options.arch = emu::archFromWord(value);
      if (!options.arch) throw EmuError("--arch '" + value + "': expected arm64, x86_64 or absent");
      break;
    case kFail: options.faults.push_back(faultOf(value)); break;
    case kState: options.statePath = value; break;
    case kTrace: options.tracePath = value; break;
    case kTimeline: options.timelinePath = value; break;
    case kUnprivileged: options.unprivileged = true; break;
    case kAs:
      if (const auto account = emu::accountFrom(value)) {
        options.account = *account;
      } else {
        throw EmuError("--as '" + value + "': expected root, admin or user");
      }
      break;
    case kBattery:
      options.setsBattery = true;
      options.battery.reset();
      if (const auto percent = emu::decimalUpTo(value, 100)) {
        options.battery = *percent * 10;
      } else if (value != "none") {
        throw EmuError("--battery '" + value + "': expected a PERCENT from 0 to 100, or none");
      }
      break;
    case kUnplugged: options.unplugged = true; break;
    case kMinutes:
      if (const auto minutes = emu::decimalUpTo(value, kMostMinutes)) {
        options.minutes = *minutes;
      } else {
        throw EmuError("--minutes '" + value + "': expected a number of minutes from 0 to 10080");
      }
      break;
    case kLayout:
      options.layout = emu::layoutFromWord(value);
      if (!options.layout) throw EmuError("--layout '" + value + "': expected top-level, BatteryData or intel");
      break;
    case kTemperature:
    case kCycleCount:
    case kDesignCapacity:
    case kNominalCapacity:
    case kFullChargeCapacity: {
      const FigureOption& option = kFigureOptions.at(static_cast<std::size_t>(id - kTemperature));
      const auto read = id == kTemperature ? emu::hundredthsUpTo(value, 100) : emu::decimalUpTo(value, kMostFigure);
      if (!read && value != "none") {
        throw EmuError(std::string(option.name) + " '" + value + "': expected " + option.expected + ", or none");
      }
      options.figureChanges.push_back({.figure = option.figure, .value = read});
      break;
    }
    case kListMachines: options.listMachines = true; break;
    case kPrintState: options.printState = true; break;
    case kHelp: options.help = true; break;
    case kVersion: options.version = true; break;
    default: break;
  }
}

/// The message for an option that getopt_long refused; `arg` is the
/// argument that it was reading.
std::string refusal(std::string_view arg) {
  if (optopt >= kMachine) {
    return arg.find('=') != std::string_view::npos ? "option '" + std::string(arg) + "' takes no value"
                                                   : std::string(arg) + " needs a value";
  }
  // A letter may stand in a group ("-xy"), where `arg` is not its argument.
  const std::string name = optopt != 0 ? "-" + std::string(1, static_cast<char>(optopt)) : std::string(arg);
  return "unknown option '" + name + "' (see smc-emu --help)";
}

}  // namespace

Options parseOptions(int argc, char* const* argv) {
  Options options;
  // "+": options end at the first argument that is not one, which is the
  // helper's command; ":": a missing value is told apart. Our own messages,
  // one line each, replace the library's.
  opterr = 0;
  int id = 0;
  while ((id = getopt_long(argc, argv, "+:", kLongOptions.data(), nullptr)) != -1) {
    if (id == '?' || id == ':') throw EmuError(refusal(argv[optind - 1]));
    setOption(id, optarg != nullptr ? optarg : "", options);
  }
  for (const auto* path : {&options.statePath, &options.tracePath, &options.timelinePath}) {
    if (*path && (*path)->empty()) throw EmuError("a FILE may not be empty");
  }
  options.commandAt = optind;
  // A timeline is what a holder that stays lives through; any other command
  // would end before its first minute.
  const bool printsOnly = options.help || options.version || options.listMachines;
  if (options.timelinePath && !printsOnly &&
      (optind >= argc || std::string_view(argv[optind]) != "hold-daemon")) {
    throw EmuError("--timeline runs the command hold-daemon alone" +
                   (optind < argc ? ", not " + quoted(argv[optind]) : std::string()));
  }
  return options;
}

bool applyOptions(const Options& options, emu::MachineState& state) {
  for (const KeyChange& change : options.keyChanges) {
    const auto found = state.keys.find(change.name);
    if (!change.setting) {
      if (found != state.keys.end()) state.keys.erase(found);
      continue;
    }
    state.keys[change.name] =
        keyFrom(*change.setting, found != state.keys.end() ? found->second : emu::Key{});
  }
  if (options.arch) state.arch = *options.arch;
  if (options.setsBattery) state.battery = options.battery;
  if (options.layout) state.entry.layout = *options.layout;
  for (const FigureChange& change : options.figureChanges) state.entry.*change.figure = change.value;
  if (!state.battery || options.minutes == 0) return false;
  const emu::PowerState power = emu::powerState(state.keys, *state.battery, !options.unplugged);
  const int moved = emu::chargeAfter(*state.battery, std::int64_t{options.minutes} * 60'000,
                                     emu::activityOf(power), false);
  if (moved == *state.battery) return false;
  state.battery = moved;
  return true;
}

const char* usageText() {
  return R"(Usage: smc-emu [OPTION]... [--] COMMAND [ARG]...
Runs the smc-charge helper with COMMAND ARG... on an emulated Mac. Its output
and exit status are the helper's; smc-emu's own errors exit with status 2.

  --machine NAME          start from a built-in machine (default apple-silicon)
  --key NAME=HEX          add or replace a key; its type stays, else hex_
  --key NAME:TYPE=HEX     ... with that type; empty HEX: size 0
  --key NAME:=HEX         ... with the blank type (type code 0)
                          any form may end in /AA: the attribute byte (else
                          the replaced key's, or d4); HEX: up to 255 bytes,
                          of which a read answers the first 32
  --drop NAME             remove a key
  --refuse NAME           refuse every call on NAME with kIOReturnNotPrivileged,
                          to everyone, for this run (not saved with --state)
  --arch arm64|x86_64|absent
                          what hw.optional.arm64 answers: 1, 0 or no such name
  --unprivileged          refuse every write call with kIOReturnNotPrivileged
  --battery PERCENT|none  the internal battery's level (0-100), or no battery
  --layout top-level|BatteryData|intel
                          where the battery's registry entry keeps its
                          capacities: as macOS 26 and earlier, as macOS 27, or
                          as on Intel
  --temperature C|none    the battery's temperature, in degrees Celsius (0-100,
                          two decimals at most); none: not in the entry
  --cycle-count N|none    the battery's cycle count (0-100000)
  --design-capacity MAH|none, --nominal-capacity MAH|none,
  --full-charge-capacity MAH|none
                          the battery's capacities (0-100000 mAh)
  --unplugged             the power adapter is out, for this run (not saved)
  --minutes N             before the run, move the battery as N minutes
                          (0-10080) would: +0.5 percent a minute while
                          charging, -0.2 on the battery; saved with --state
  --fail open=ERR[@N]     make opening the driver fail; ERR: not-privileged,
                          io-error, io=N, or no-driver (the lookup finds nothing)
  --fail registry=ERR[@N] make reading the battery's registry entry fail; ERR:
                          not-privileged, io-error, io=N, or no-entry (the
                          lookup finds nothing)
  --fail CALL:KEY=ERR[@N] make info, read or write calls on KEY (or *) fail;
                          ERR: not-privileged, io-error, key-not-found,
                          result=N (1-255), reply=N (success with a reply of
                          only N bytes, 0-79), io=N (an IOKit return code,
                          not 0: decimal, or its 32 bits in 0x hex)
                          @N fails only the Nth matching one, from 1
  --fail schedule=ERR[@N] make requests for timed wakes (IOPMSchedulePowerEvent)
  --fail unschedule=ERR[@N]
                          or their cancellations fail; ERR: not-privileged,
                          io-error or io=N
  --state FILE            start from FILE (created from the machine when
                          missing) and save the machine there after every write;
                          its holder listens at FILE.sock, keeps its band in
                          FILE.band, and band and holder ask that holder
  --as root|admin|user    who runs band and holder, to the holder of the
                          --state machine (default admin): root (uid 0),
                          admin (501, in staff and admin), user (502, in staff)
  --trace FILE            append one line per driver event to FILE, and with
                          --timeline one per event of the emulated Mac's clock
  --timeline FILE         run hold-daemon in virtual time through the events
                          of FILE ("MINUTE WORD [VALUE]" lines: sleep, wake,
                          dark, unplug, plug, battery PERCENT, temp C, and a
                          final stop; with --state also the requests of a
                          caller: band LOWER UPPER [as ROLE], band full
                          [as ROLE] and holder, answered in the trace)
  --list-machines         print each built-in machine's name, summary and
                          (indented) the lines of its state file, and exit
  --print-state           print the starting machine (--machine, --state, with
                          --key, --drop, --arch, --battery, the battery
                          entry's options and --minutes applied) as a state
                          file, and exit
  --help                  print this help and exit
  --version               print the version (the helper's own) and exit

An option takes its value as the next argument or after '=' (--machine=intel).
The FILE of --state and --trace must be a regular file, or not exist yet, or a
symbolic link to either; that of --timeline, a regular file.
)";
}
