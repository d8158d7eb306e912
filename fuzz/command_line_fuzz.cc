// Fuzzes the argument vector: the input, split at NUL bytes, is the argument
// vector (the program's name first), run through the helper's own argument
// conversion and dispatch on an emulated Mac, without ending the process.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/dispatch.h"
#include "fuzz/line_check.h"
#include "platform/attached_machine.h"
#include "platform/emulated/machine_catalog.h"
#include "response/utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> raw(1);
  for (std::size_t i = 0; i < size && raw.size() <= 8; ++i) {
    if (data[i] == 0) {
      raw.emplace_back();
    } else {
      raw.back() += static_cast<char>(data[i]);
    }
  }
  // An empty input is an empty argument vector, as execve allows.
  if (size == 0) raw.clear();
  std::vector<const char*> argv;
  for (const std::string& arg : raw) argv.push_back(arg.c_str());
  argv.push_back(nullptr);

  emu::EmulatedMac mac;
  emu::applyState(mac, emu::findBuiltinMachine(emu::kDefaultMachine)->make());
  platform::attachMachine(&mac);
  const auto args = argumentsOf(static_cast<int>(raw.size()), argv.data());
  const auto line = fuzz::checkedLine(outputLine(respond(args)));
  platform::attachMachine(nullptr);

  const std::string expected = raw.size() < 2 ? "unknown" : repairUtf8(raw[1]);
  fuzz::require(line["command"] == expected, "command is the argument, made valid UTF-8");
  if (line.contains("code")) {
    const std::string code = line["code"];
    if (code == "INVALID_ARGS" || code == "UNKNOWN_COMMAND") {
      fuzz::require(mac.log().empty(), "an argument error opens no driver connection");
    }
  }
  fuzz::require(expected != "version" || mac.log().empty(), "version opens no driver connection");
  fuzz::require(mac.openConnections() == 0 && mac.maxOpenConnections() <= 1, "connections balance");
  return 0;
}
