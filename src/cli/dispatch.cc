#include "cli/dispatch.h"

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <vector>

#include "charging/adapter_status.h"
#include "charging/battery.h"
#include "charging/charging_status.h"
#include "charging/charging_write.h"
#include "charging/controls.h"
#include "charging/hold.h"
#include "charging/band_request.h"
#include "charging/hold_daemon.h"
#include "charging/holder_call.h"
#include "charging/write_report.h"
#include "cli/capabilities.h"
#include "cli/health_report.h"
#include "cli/keys_report.h"
#include "cli/version.h"
#include "response/print_json.h"
#include "response/utf8.h"

JsonResponse errorRecord(const std::string& command, const std::string& code,
                         const std::string& message) {
  return {.ok = false, .command = command, .code = code, .error = message};
}

namespace {

/// The battery, as the system reports it: no SMC access.
JsonResponse batteryRecord(const std::string& command) {
  const auto battery = readBattery();
  if (!battery) {
    return errorRecord(command, std::string(kBatteryUnavailableCode), std::string(kBatteryUnavailableMessage));
  }
  return {.ok = true, .command = command, .level = battery->level,
          .source = battery->onAdapter ? "adapter" : "battery", .charging = battery->charging};
}

/// The band of hold LOWER UPPER, and of hold-daemon; none when the arguments
/// make none.
std::optional<Band> bandOf(std::span<const std::string> args) {
  return args.size() < 4 ? std::nullopt : parseBand(args[2], args[3]);
}

/// Reads the options after the band into `band` and, for a holder, into
/// `holder`: each of `--hot C` and, for a holder, `--charge-asleep` and
/// `--band-group admin|staff`, at most once, in any order. False for any
/// other word that starts with "--"; a word that does not is passed over, as
/// every version has passed over what follows a band.
bool readOptions(std::span<const std::string> args, Band& band, HolderSettings* holder) {
  bool hot = false;
  bool group = false;
  for (std::size_t i = 4; i < args.size(); ++i) {
    if (args[i] == "--hot" && !hot && i + 1 < args.size()) {
      const auto degrees = parseHot(args[++i]);
      if (!degrees) return false;
      band.hot = *degrees;
      hot = true;
    } else if (args[i] == "--charge-asleep" && holder != nullptr && !holder->chargeAsleep) {
      holder->chargeAsleep = true;
    } else if (args[i] == "--band-group" && holder != nullptr && !group && i + 1 < args.size()) {
      // The word kept is the constant's, which outlives the arguments.
      holder->bandGroup = args[++i] == "staff" ? "staff" : "admin";
      if (!bandGroupId(args[i])) return false;
      group = true;
    } else if (args[i].starts_with("--")) {
      return false;
    }
  }
  return true;
}

/// What hold-daemon's arguments ask: its band and its options.
HolderSettings holderSettingsOf(std::span<const std::string> args) {
  HolderSettings settings{.band = bandOf(args), .refusal = kBandMessage};
  if (settings.band && !readOptions(args, *settings.band, &settings)) settings = {.refusal = kHolderArgsMessage};
  return settings;
}

/// The line of `command` for arguments that make no band.
JsonResponse bandError(const std::string& command) {
  return errorRecord(command, "INVALID_ARGS", std::string(kBandMessage));
}

/// hold LOWER UPPER: the band is checked before anything is read.
JsonResponse holdRecord(std::span<const std::string> args) {
  auto band = bandOf(args);
  if (!band) return bandError(args[1]);
  if (!readOptions(args, *band, nullptr)) {
    return errorRecord(args[1], "INVALID_ARGS", std::string(kHoldOptionsMessage));
  }
  return holdResponse(args[1], *band);
}

/// charging on|off and adapter on|off: the value is checked before anything
/// is written.
JsonResponse writeRecord(std::span<const std::string> args) {
  const std::string& command = args[1];
  const bool charging = command == "charging";
  const std::string value = args.size() > 2 ? args[2] : std::string();
  if (value != "on" && value != "off") {
    return errorRecord(command, "INVALID_ARGS", charging ? "charging expects on/off" : "adapter expects on/off");
  }
  const bool on = value == "on";
  return writeResponse(command, value, charging ? writeCharging(on) : writeAdapter(on));
}

/// band LOWER UPPER, band full and holder: the running holder's answer, as
/// it came, or the line that says why there is none. The band is checked
/// before the holder is asked.
[[noreturn]] void askHolderFor(std::span<const std::string> args) {
  const std::string& command = args[1];
  // The request is the command's own words, checked: "holder", "band full"
  // or "band LOWER UPPER".
  std::string request = command;
  if (command == "band") {
    const bool full = args.size() == 3 && args[2] == "full";
    if (!full && (args.size() != 4 || !bandOf(args))) {
      printJson(errorRecord(command, "INVALID_ARGS", std::string(kBandArgsMessage)));
    }
    for (std::size_t i = 2; i < args.size(); ++i) request.append(" ").append(args[i]);
  }
  request += '\n';
  const HolderReply reply = askHolder(request, command);
  if (!reply.line) {
    printJson(errorRecord(command, std::string(kNoHolderCode),
                          std::string(reply.reached ? kNoAnswerMessage : kNoHolderMessage)));
  }
  writeAll(STDOUT_FILENO, *reply.line);
  std::exit(reply.line->starts_with(R"({"ok":true,)") ? 0 : 1);
}

}  // namespace

JsonResponse respond(std::span<const std::string> args) {
  if (args.size() < 2) return errorRecord("unknown", "INVALID_ARGS", "missing command");
  const std::string& command = args[1];

  if (command == "capabilities") return capabilitiesRecord(command);
  if (command == "keys") return keysRecord(command);

  // Each status reading answers alike: the key that decided and its word.
  const bool chargingStatus = command == "charging-status";
  if (chargingStatus || command == "adapter-status") {
    const auto status = chargingStatus ? readChargingStatus() : readAdapterStatus();
    if (!status) {
      return errorRecord(command, "STATUS_UNAVAILABLE", "unable to determine charging status");
    }
    return {.ok = true, .command = command, .backend = status->backend, .status = status->status};
  }

  // What each operation would use here, for the app that offers them.
  if (command == "controls") return {.ok = true, .command = command, .controls = usableControls()};

  if (command == "charging" || command == "adapter") return writeRecord(args);
  if (command == "battery") return batteryRecord(command);
  if (command == "battery-health") return healthRecord(command);
  if (command == "hold") return holdRecord(args);

  // The installed copy's version, for the app that ships it: no SMC access.
  if (command == "version") {
    return {.ok = true, .command = command, .version = std::string(helperVersion())};
  }

  return errorRecord(command, "UNKNOWN_COMMAND", "unknown command");
}

std::vector<std::string> argumentsOf(int argc, const char* const* argv) {
  std::vector<std::string> args;
  // Only the program, the command and its values (two at most, for hold,
  // and three words of options after them) are ever read; the command is
  // echoed, so its text must be valid before it enters a record.
  for (int i = 0; i < std::min(argc, 7); ++i) args.push_back(repairUtf8(argv[i]));
  return args;
}

void runHelper(int argc, const char* const* argv) {
  // Every way out of a run prints one line: the runtime's own report on
  // standard error, and its exit status 134, must never appear.
  fallBackOnTerminate();
  // A reader that has gone away must not end the run by a signal (status
  // 141): the line is lost, as on any failed write, and the status still
  // tells how the run went.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, nullptr);
  try {
    const std::vector<std::string> args = argumentsOf(argc, argv);
    // The holder that stays answers with a line at each event, not with one;
    // one whose arguments are refused stays too, so that launchd does not
    // start it again and again.
    if (args.size() > 1 && args[1] == "hold-daemon") runHoldDaemon(args[1], holderSettingsOf(args));
    if (args.size() > 1 && (args[1] == "band" || args[1] == "holder")) askHolderFor(args);
    printJson(respond(args));
  } catch (...) {
    // Only running out of memory can land here.
    printFallbackLine();
  }
}
