#include "options.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "emu_error.h"

namespace {

emu::Fault faultOf(std::string_view text) {
  if (auto fault = emu::parseFault(text)) return *fault;
  // Not "'" + std::string(text): g++ 12 at -O3 warns of an overlapping
  // copy inside libstdc++ that cannot happen (a false -Wrestrict).
  const std::string quoted = std::string("'").append(text) + "'";
  if (text.starts_with("open=key-not-found") || text.starts_with("open=result=")) {
    throw EmuError("--fail " + quoted + ": an opening cannot fail with key-not-found or result=N");
  }
  throw EmuError("--fail " + quoted +
                 " is not open=ERR[@N] or CALL:KEY=ERR[@N] (see smc-emu --help)");
}

constexpr std::array<std::string_view, 7> kValueOptions{
    "--machine", "--key", "--drop", "--arch", "--fail", "--state", "--trace"};

/// Sets `arg`, one of kValueOptions, to `value`.
void setValueOption(std::string_view arg, const std::string& value, Options& options) {
  if (arg == "--machine") {
    options.machine = value;
    if (emu::findBuiltinMachine(options.machine) == nullptr) {
      throw EmuError("unknown machine '" + options.machine + "' (smc-emu --list-machines shows them)");
    }
  } else if (arg == "--key") {
    try {
      KeySetting setting = parseKeySetting(value);
      options.keyChanges.push_back({setting.name, std::move(setting)});
    } catch (const EmuError& error) {
      throw EmuError(std::string("--key ") + error.what());
    }
  } else if (arg == "--drop") {
    if (!emu::isFourPrintable(value)) {
      throw EmuError("--drop '" + value + "': NAME must be four printable ASCII characters");
    }
    options.keyChanges.push_back({value, std::nullopt});
  } else if (arg == "--arch") {
    options.arch = emu::archFromWord(value);
    if (!options.arch) throw EmuError("--arch '" + value + "': expected arm64, x86_64 or absent");
  } else if (arg == "--fail") {
    options.faults.push_back(faultOf(value));
  } else if (arg == "--state") {
    options.statePath = value;
  } else if (arg == "--trace") {
    options.tracePath = value;
  }
}

/// Sets the option `arg` that takes no value; false when `arg` is none.
bool setFlag(std::string_view arg, Options& options) {
  if (arg == "--unprivileged") {
    options.unprivileged = true;
  } else if (arg == "--list-machines") {
    options.listMachines = true;
  } else if (arg == "--help") {
    options.help = true;
  } else {
    return false;
  }
  return true;
}

}  // namespace

Options parseOptions(int argc, const char* const* argv) {
  Options options;
  int i = 1;
  for (; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") {
      ++i;
      break;
    }
    // A lone "-" is an argument, as everywhere else.
    if (!arg.starts_with("-") || arg == "-") break;
    if (setFlag(arg, options)) continue;
    if (std::find(kValueOptions.begin(), kValueOptions.end(), arg) == kValueOptions.end()) {
      throw EmuError("unknown option '" + std::string(arg) + "' (see smc-emu --help)");
    }
    if (i + 1 >= argc) throw EmuError(std::string(arg) + " needs a value");
    setValueOption(arg, argv[i + 1], options);
    ++i;
  }
  for (const auto* path : {&options.statePath, &options.tracePath}) {
    if (*path && (*path)->empty()) throw EmuError("a FILE may not be empty");
  }
  options.commandAt = i;
  return options;
}

void applyOptions(const Options& options, emu::MachineState& state) {
  for (const KeyChange& change : options.keyChanges) {
    const auto found = state.keys.find(change.name);
    if (!change.setting) {
      if (found != state.keys.end()) state.keys.erase(found);
      continue;
    }
    const KeySetting& setting = *change.setting;
    std::string type = setting.type.value_or(found != state.keys.end() ? found->second.type : "hex_");
    state.keys[change.name] = emu::Key{std::move(type),
                                       static_cast<std::uint32_t>(setting.value.size()),
                                       setting.value};
  }
  if (options.arch) state.arch = *options.arch;
}

const char* usageText() {
  return R"(Usage: smc-emu [OPTION]... [--] COMMAND [ARG]...
Runs the smc-charge helper with COMMAND ARG... on an emulated Mac. Its output
and exit status are the helper's; smc-emu's own errors exit with status 2.

  --machine NAME          start from a built-in machine (default apple-silicon)
  --key NAME=HEX          add or replace a key; the type stays, else hex_
  --key NAME:TYPE=HEX     ... with that type; HEX: 0 to 64 digits, empty: size 0
  --drop NAME             remove a key
  --arch arm64|x86_64|absent
                          what hw.optional.arm64 answers: 1, 0 or no such name
  --unprivileged          refuse every write call with kIOReturnNotPrivileged
  --fail open=ERR[@N]     make opening the driver fail; ERR: not-privileged,
                          io-error, io=N, or no-driver (the lookup finds nothing)
  --fail CALL:KEY=ERR[@N] make info, read or write calls on KEY (or *) fail;
                          ERR: not-privileged, io-error, key-not-found,
                          result=N (0-255), io=N (decimal or 0x hex)
                          @N fails only the Nth matching one, from 1
  --state FILE            start from FILE (created from the machine when
                          missing) and save the machine there after every write
  --trace FILE            append one line per driver event to FILE
  --list-machines         print the built-in machines and exit
  --help                  print this help and exit
)";
}
