// smc-emu: runs the smc-charge helper on an emulated Mac, for the tests of
// the helper and of the programs that call it, on machines without an SMC.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <utility>

#include "cli/dispatch.h"
#include "cli/version.h"
#include "emu_error.h"
#include "options.h"
#include "platform/attached_machine.h"
#include "platform/emulated/caller_file.h"
#include "platform/emulated/machine_catalog.h"
#include "regular_file.h"
#include "state_file.h"
#include "timeline_file.h"
#include "trace_file.h"
#include "trace_line.h"

namespace {

/// Where each driver event goes as it happens.
struct Recorder {
  TraceFile trace;        ///< fd -1: no trace
  std::string statePath;  ///< empty: no state file
};

/// Whether `event` is the stop of the timeline.
bool isStop(const emu::Event& event) {
  return event.kind == emu::Event::Kind::clock && event.clock.kind == emu::ClockEvent::Kind::timeline &&
         event.clock.word == emu::TimelineEvent::Word::stop;
}

/// Runs `body` inside a callback of the emulated Mac's, which no exception
/// may leave: an emulator error, or memory running out, ends the run there
/// with status 2 and its one message.
template <class Body>
void orEnd(Body body) noexcept {
  try {
    body();
  } catch (const EmuError& error) {
    printEmuError(error.what());
    std::exit(2);
  } catch (...) {  // only std::bad_alloc
    printOutOfMemory();
    std::exit(2);
  }
}

/// Called with each event as it happens: writes its trace line and, after a
/// write or at the timeline's stop, saves the state. An emulator error here
/// ends the run with status 2 before the helper's line is printed, so the
/// caller cannot take a lost trace line or lost state for success; running
/// out of memory included. So does a holder that goes on after its stop.
void traceAndSave(const Recorder& recorder, const emu::EmulatedMac& mac, const emu::Event& event) {
  orEnd([&] {
    if (event.kind == emu::Event::Kind::clock && event.clock.kind == emu::ClockEvent::Kind::ended) {
      throw EmuError("hold-daemon went on after its stop, with nothing left to happen");
    }
    if (recorder.trace.fd >= 0 && !appendLine(recorder.trace, emu::traceLine(event) + "\n")) {
      throw EmuError("cannot write the trace: " + std::string(std::strerror(errno)));
    }
    if (!recorder.statePath.empty() && ((event.kind == emu::Event::Kind::write && !event.failed()) || isStop(event))) {
      saveStateFile(recorder.statePath, emu::stateOf(mac));
    }
  });
}

/// Makes sure that descriptors 0, 1 and 2 are open, on /dev/null where they
/// are not, as daemons do: else the trace or the state file, opened next,
/// would take the number and receive the helper's line or an error message.
bool openStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    // open() takes the lowest free number, which is `fd` itself.
    struct stat status {};
    if (fstat(fd, &status) != 0 && errno == EBADF && open("/dev/null", O_RDWR) != fd) {
      return false;
    }
  }
  return true;
}

/// The caller file of this process (caller_file.h), taken away as the run
/// ends; empty: none was made.
std::string& callerFile() {
  static std::string path;
  return path;
}

/// Tells the holder of the Mac of `statePath` which account this process
/// runs as, until the run ends: a run that was killed leaves its file, which
/// names this process id only.
void tellAccount(const std::string& statePath, emu::Account account) {
  const std::string prefix = linkTarget(statePath) + ".caller.";
  // The name is made before the removal is registered: exit() then runs the
  // removal before it destroys the name.
  callerFile() = emu::callerFilePath(prefix, getpid());
  if (std::atexit([] { unlink(callerFile().c_str()); }) != 0) throw EmuError("cannot register the caller file's removal");
  // What a failed write made is taken away at the exit too.
  if (!emu::writeCallerFile(prefix, getpid(), account)) throw EmuError(fileFailure("write caller file", callerFile(), errno));
}

/// Opens the trace and creates a missing state file, after checking that an
/// existing one can be saved: a run that could not keep what it does stops
/// before the helper with nothing changed, not midway. A trace made here is
/// taken back when what follows fails. `saved`: whether the state file exists;
/// `moved`: whether --minutes moved the battery, which is saved before the run;
/// `asksHolder`: whether the command is one that asks the holder.
void prepareFiles(const Options& options, bool saved, bool moved, bool asksHolder, const emu::MachineState& state,
                  Recorder& recorder) {
  if (options.statePath && saved) checkStateSaveable(*options.statePath, state);
  if (options.tracePath) recorder.trace = openTraceFile(*options.tracePath);
  if (!options.statePath) return;
  try {
    // Checked once the trace is open: had the state file been missing, the
    // trace may just have been made at its name.
    if (recorder.trace.fd >= 0 && isSameFile(recorder.trace.fd, *options.statePath)) {
      throw EmuError("--state and --trace name the same file");
    }
    if (!saved || moved) saveStateFile(*options.statePath, state);
    if (asksHolder) tellAccount(*options.statePath, options.account);
  } catch (...) {
    if (recorder.trace.created) unlink(recorder.trace.path.c_str());
    throw;
  }
  recorder.statePath = *options.statePath;
}

/// Makes `mac` the machine that its state file holds now, with the run's
/// options applied again (but --minutes, which moved it once already), and
/// only then starts its `timeline`, if any: a holder that waited for
/// another's end starts from the Mac as that one left it, as the SMC that
/// every process shares would be, and its clock and trace from there. An
/// emulator error ends the run with status 2.
void catchUp(const Options& options, std::vector<emu::TimelineEvent>& timeline, emu::EmulatedMac& mac) {
  orEnd([&] {
    // Gone: the machine stays as this run has it.
    if (auto state = loadStateFile(*options.statePath)) {
      Options again = options;
      again.minutes = 0;
      applyOptions(again, *state);
      emu::applyState(mac, *state);
    }
    if (options.timelinePath) mac.startTimeline(std::move(timeline));
  });
}

void listMachines() {
  const char* separator = "";
  for (const emu::BuiltinMachine& machine : emu::builtinMachines()) {
    std::printf("%s%.*s: %.*s\n", separator, static_cast<int>(machine.name.size()), machine.name.data(),
                static_cast<int>(machine.summary.size()), machine.summary.data());
    separator = "\n";
    const std::string lines = stateLines(machine.make());
    for (std::size_t at = 0; at < lines.size();) {
      const std::size_t end = lines.find('\n', at);
      std::printf("  %s\n", lines.substr(at, end - at).c_str());
      at = end + 1;
    }
  }
}

/// Ends smc-emu's own output (help, version, machines, a state): all of it written,
/// or an EmuError, so that a caller never takes a lost text for success.
void finishOutput() {
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    throw EmuError("cannot write to standard output: " + std::string(std::strerror(errno)));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (!openStandardDescriptors()) return 2;
  // Until the helper puts its own in place: an exception that cannot even be
  // made (memory is gone) ends the run as an emulator error, not in the
  // runtime's abort.
  std::set_terminate([] {
    printOutOfMemory();
    _exit(2);
  });
  // Beyond a size limit a write fails with EFBIG, and into a pipe without a
  // reader with EPIPE, which are reported (or for the helper's line, told by
  // its status), instead of killing the run before it can clean up.
  static_cast<void>(std::signal(SIGXFSZ, SIG_IGN));
  static_cast<void>(std::signal(SIGPIPE, SIG_IGN));

  // Lives until the process ends inside the helper, which never returns.
  emu::EmulatedMac mac;
  Recorder recorder;
  Options options;
  std::vector<emu::TimelineEvent> timeline;
  try {
    options = parseOptions(argc, argv);
    if (options.help) {
      static_cast<void>(std::fputs(usageText(), stdout));
      finishOutput();
      return 0;
    }
    if (options.version) {
      const std::string_view version = helperVersion();
      std::printf("smc-emu %.*s\n", static_cast<int>(version.size()), version.data());
      finishOutput();
      return 0;
    }
    if (options.listMachines) {
      listMachines();
      finishOutput();
      return 0;
    }

    // Everything is checked before any file is made or changed.
    std::optional<emu::MachineState> saved;
    if (options.statePath) saved = loadStateFile(*options.statePath);
    emu::MachineState state =
        saved ? *saved : emu::findBuiltinMachine(options.machine)->make();
    const bool moved = applyOptions(options, state);
    if (options.printState) {
      // A file that --state loads: the way to start from a built-in machine
      // and edit it.
      static_cast<void>(std::fputs(stateText(state).c_str(), stdout));
      finishOutput();
      return 0;
    }
    // The whole timeline is checked against the machine before any file is made.
    if (options.timelinePath) {
      timeline = loadTimelineFile(*options.timelinePath, state.battery.has_value(), !options.unplugged,
                                  options.statePath.has_value());
    }
    const std::string_view command = options.commandAt < argc ? argv[options.commandAt] : "";
    prepareFiles(options, saved.has_value(), moved, command == "band" || command == "holder", state, recorder);

    emu::applyState(mac, state);
    mac.refusedForRun = options.refused;
    mac.privileged = !options.unprivileged;
    mac.adapterConnected = !options.unplugged;
    mac.faults = options.faults;
    // The holders of one emulated Mac take turns, as on a Mac: their lock
    // stands beside the machine's state file, where its links lead.
    // So do its holder's socket and band file, and its callers' files.
    if (options.statePath) {
      const std::string beside = linkTarget(*options.statePath);
      mac.holderLock = beside + ".lock";
      mac.holderSocket = beside + ".sock";
      mac.holderBand = beside + ".band";
      mac.callerFiles = beside + ".caller.";
      // Once: a holder refused its lock tries again later, on the clock
      // that its first attempt started.
      mac.onHolderLockSettled = [&, caughtUp = false]() mutable {
        if (!std::exchange(caughtUp, true)) catchUp(options, timeline, mac);
      };
    }
  } catch (const std::bad_alloc&) {
    printOutOfMemory();
    return 2;
  } catch (const std::exception& error) {
    printEmuError(error.what());
    return 2;
  }
  mac.onEvent = [&](const emu::Event& event) { traceAndSave(recorder, mac, event); };
  // Each event goes to the trace as it comes; kept, they would fill memory
  // over a long timeline.
  mac.keepsLog = false;
  // A holder that may share its Mac starts its clock once it has the lock.
  if (options.timelinePath && !options.statePath) mac.startTimeline(std::move(timeline));
  platform::attachMachine(&mac);

  // The helper reads its command at index 1, as if it had been run itself:
  // the entry before the command (smc-emu's name, an option or "--", or with
  // no arguments at all argv's closing null) becomes the helper's name in
  // place. Nothing is allocated outside the helper's own answer to running out
  // of memory.
  static char helperName[] = "smc-charge";  // NOLINT(*-avoid-c-arrays): argv holds char*
  char** helperArgv = argv + options.commandAt - 1;
  helperArgv[0] = helperName;
  runHelper(argc - options.commandAt + 1, helperArgv);
}
