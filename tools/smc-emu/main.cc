// smc-emu: runs the smc-charge helper on an emulated Mac, for the tests of
// the helper and of the programs that call it, on machines without an SMC.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/dispatch.h"
#include "emu_error.h"
#include "options.h"
#include "platform/attached_machine.h"
#include "platform/machine_catalog.h"
#include "state_file.h"
#include "trace_line.h"

namespace {

/// Where each driver event goes as it happens.
struct Recorder {
  int traceFd = -1;
  std::string statePath;  ///< empty: no state file
};

/// An emulator error once the helper runs: its line has not been printed
/// yet, and none is printed, so the caller cannot take lost state for success.
[[noreturn]] void failDuringRun(const std::string& message) {
  printEmuError(message);
  std::exit(2);
}

void record(const Recorder& recorder, const emu::EmulatedMac& mac, const emu::Event& event) {
  if (recorder.traceFd >= 0) {
    const std::string line = emu::traceLine(event) + "\n";
    // One write per line on an O_APPEND descriptor: nothing waits in a
    // buffer, and runs that share the file never split each other's lines.
    if (write(recorder.traceFd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
      failDuringRun("cannot write the trace: " + std::string(std::strerror(errno)));
    }
  }
  if (!recorder.statePath.empty() && event.kind == emu::Event::Kind::write &&
      !event.failed()) {
    try {
      saveStateFile(recorder.statePath, emu::stateOf(mac));
    } catch (const EmuError& error) {
      failDuringRun(error.what());
    }
  }
}

/// Opens the trace for appending; `created` tells whether it was made now.
int openTrace(const std::string& path, bool& created) {
  int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  created = fd >= 0;
  if (fd < 0 && errno == EEXIST) fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) {
    throw EmuError("cannot open trace file " + path + ": " + std::strerror(errno));
  }
  return fd;
}

/// Makes sure that descriptors 0, 1 and 2 are open, on /dev/null where they
/// are not, as daemons do: else the trace or the state file, opened next,
/// would take the number and receive the helper's line or an error message.
bool openStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    // open() takes the lowest free number, which is `fd` itself.
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF && open("/dev/null", O_RDWR) != fd) {
      return false;
    }
  }
  return true;
}

void listMachines() {
  const char* separator = "";
  for (const emu::BuiltinMachine& machine : emu::builtinMachines()) {
    std::printf("%s%s: %s\n", separator, machine.name.c_str(), machine.summary.c_str());
    separator = "\n";
    const std::string lines = stateLines(machine.state);
    for (std::size_t at = 0; at < lines.size();) {
      const std::size_t end = lines.find('\n', at);
      std::printf("  %s\n", lines.substr(at, end - at).c_str());
      at = end + 1;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (!openStandardDescriptors()) return 2;
  // Beyond a size limit a write fails with EFBIG, which is reported, instead
  // of killing the run before it can clean up.
  static_cast<void>(std::signal(SIGXFSZ, SIG_IGN));

  // Lives until the process ends inside the helper, which never returns.
  emu::EmulatedMac mac;
  Recorder recorder;
  Options options;
  try {
    options = parseOptions(argc, argv);
    if (options.help) {
      static_cast<void>(std::fputs(usageText(), stdout));
      return 0;
    }
    if (options.listMachines) {
      listMachines();
      return 0;
    }

    // Everything is checked before any file is made or changed.
    std::optional<emu::MachineState> saved;
    if (options.statePath) saved = loadStateFile(*options.statePath);
    emu::MachineState state =
        saved ? *saved : emu::findBuiltinMachine(options.machine)->state;
    applyOptions(options, state);

    bool traceCreated = false;
    if (options.tracePath) recorder.traceFd = openTrace(*options.tracePath, traceCreated);
    if (options.statePath) {
      recorder.statePath = *options.statePath;
      if (!saved) {
        try {
          saveStateFile(recorder.statePath, state);
        } catch (const EmuError&) {
          if (traceCreated) unlink(options.tracePath->c_str());
          throw;
        }
      }
    }

    emu::applyState(mac, state);
    mac.privileged = !options.unprivileged;
    mac.faults = options.faults;
  } catch (const std::exception& error) {
    printEmuError(error.what());
    return 2;
  }
  mac.onEvent = [&](const emu::Event& event) { record(recorder, mac, event); };
  platform::attachMachine(&mac);

  // The helper reads its command at index 1, as if it had been run itself.
  std::vector<const char*> helperArgs{"smc-charge"};
  for (int i = options.commandAt; i < argc; ++i) helperArgs.push_back(argv[i]);
  helperArgs.push_back(nullptr);
  runHelper(static_cast<int>(helperArgs.size() - 1), helperArgs.data());
}
