// The command line of smc-emu: options first, then the helper's own arguments.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "key_setting.h"
#include "platform/emulated/accounts.h"
#include "platform/emulated/machine_catalog.h"

/// A `--key` (with a setting) or a `--drop` (without), applied in the order given.
struct KeyChange {
  std::string name{};
  std::optional<KeySetting> setting{};
};

/// A figure of the battery's entry that an option sets: a value, or none,
/// which takes the figure out of the entry.
struct FigureChange {
  std::optional<int> emu::BatteryEntry::*figure = nullptr;
  std::optional<int> value{};
};

/// Everything the command line asks for.
struct Options {
  std::string machine{emu::kDefaultMachine};
  std::vector<KeyChange> keyChanges;
  std::set<std::string> refused;  ///< --refuse: for this run only
  std::optional<emu::Arch> arch;
  bool unprivileged = false;
  bool setsBattery = false;    ///< --battery was given
  std::optional<int> battery;  ///< its charge in tenths of a percent; none: no battery
  bool unplugged = false;  ///< --unplugged: the adapter is out for this run
  int minutes = 0;         ///< --minutes: how far the battery moves before the run
  std::optional<emu::EntryLayout> layout;  ///< --layout
  std::vector<FigureChange> figureChanges;  ///< --temperature, --cycle-count, --*-capacity, in order
  std::vector<emu::Fault> faults;
  std::optional<std::string> statePath;
  std::optional<std::string> tracePath;
  std::optional<std::string> timelinePath;  ///< --timeline: hold-daemon in virtual time
  emu::Account account = emu::Account::admin;  ///< --as: who the caller is, to the holder
  bool help = false;
  bool version = false;
  bool listMachines = false;
  bool printState = false;
  /// Index in argv of COMMAND, the first argument for the helper; argc when
  /// there is none.
  int commandAt = 0;
};

/// Reads the options of argv (argv[0] is the program) as getopt_long does:
/// "--machine NAME" or "--machine=NAME", a unique abbreviation of a name.
/// Options stop at "--" or at the first argument that is not an option. A
/// repeated single-valued option takes the last value; --timeline takes
/// the command hold-daemon and no other. Throws EmuError.
Options parseOptions(int argc, char* const* argv);

/// Applies `--key`, `--drop`, `--arch`, `--battery` and the battery entry's
/// options to `state`, then moves its battery by `--minutes`; true when that
/// moved it.
bool applyOptions(const Options& options, emu::MachineState& state);

/// The text of `--help`.
const char* usageText();
