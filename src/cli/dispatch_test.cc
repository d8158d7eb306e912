#include "cli/dispatch.h"

#include <gtest/gtest.h>

#include "cli/capabilities.h"
#include "testing/child_process.h"
#include "testing/emulated_test.h"

namespace {

using testing_support::runInChild;

class DispatchTest : public testing_support::EmulatedTest {
 protected:
  /// Runs the helper's entry point with `args` in a child; checks that the
  /// child wrote one valid line and nothing on standard error.
  testing_support::ChildOutput run(std::vector<std::string> args) {
    args.insert(args.begin(), "smc-charge");
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    auto child = runInChild([&] { runHelper(static_cast<int>(args.size()), argv.data()); });
    EXPECT_EQ(child.err, "");
    testing_support::parsedLine(child.out);
    return child;
  }
};

TEST_F(DispatchTest, ArgumentErrorsTouchNoDriver) {
  const std::string longWord(100000, 'x');
  const struct {
    std::vector<std::string> args;
    std::string line;
  } cases[] = {
      {{}, R"({"ok":false,"command":"unknown","code":"INVALID_ARGS","error":"missing command"})"},
      {{"unknown"}, R"({"ok":false,"command":"unknown","code":"UNKNOWN_COMMAND","error":"unknown command"})"},
      {{""}, R"({"ok":false,"command":"","code":"UNKNOWN_COMMAND","error":"unknown command"})"},
      {{"Charging", "on"}, R"({"ok":false,"command":"Charging","code":"UNKNOWN_COMMAND","error":"unknown command"})"},
      {{" capabilities"}, R"({"ok":false,"command":" capabilities","code":"UNKNOWN_COMMAND","error":"unknown command"})"},
      {{"cap\"\\\n\x01"}, R"({"ok":false,"command":"cap\"\\\n\u0001","code":"UNKNOWN_COMMAND","error":"unknown command"})"},
      {{"\xff" "a\xc3"}, "{\"ok\":false,\"command\":\"\xEF\xBF\xBD" "a\xEF\xBF\xBD\",\"code\":\"UNKNOWN_COMMAND\",\"error\":\"unknown command\"}"},
      {{longWord}, R"({"ok":false,"command":")" + longWord + R"(","code":"UNKNOWN_COMMAND","error":"unknown command"})"},
      {{"charging"}, R"({"ok":false,"command":"charging","code":"INVALID_ARGS","error":"charging expects on/off"})"},
      {{"charging", "ON"}, R"({"ok":false,"command":"charging","code":"INVALID_ARGS","error":"charging expects on/off"})"},
      {{"charging", "off "}, R"({"ok":false,"command":"charging","code":"INVALID_ARGS","error":"charging expects on/off"})"},
      {{"adapter", "Off"}, R"({"ok":false,"command":"adapter","code":"INVALID_ARGS","error":"adapter expects on/off"})"},
  };
  key("CHTE", "00000000");
  key("CHIE", "00");
  for (const auto& c : cases) {
    mac.clearLog();
    const auto child = run(c.args);
    EXPECT_EQ(child.out, c.line + "\n");
    EXPECT_EQ(child.exitStatus, 1);
    EXPECT_EQ(trace(), std::vector<std::string>{}) << c.line;
  }
}

TEST_F(DispatchTest, CapabilitiesNeverFailAndReportEveryKnownKey) {
  mac.setSizedKey("CHTE", "ui32", 0);  // known, whatever its size
  key("ACLC", "00", "ui8 ");
  mac.faults = {*emu::parseFault("info:CH0B=not-privileged")};
  const struct {
    emu::Arch arch;
    const char* name;
  } arches[] = {{emu::Arch::arm64, "arm64"}, {emu::Arch::x86_64, "x86_64"}, {emu::Arch::absent, "x86_64"}};
  for (const auto& a : arches) {
    mac.arch = a.arch;
    const auto record = capabilitiesRecord("capabilities");
    EXPECT_EQ(record.arch, a.name);
    EXPECT_EQ(record.supports, (SupportMap{{"CHTE", true}, {"CH0B", false}, {"CH0C", false},
                                           {"CH0I", false}, {"CHIE", false}, {"CH0J", false},
                                           {"ACLC", true}}));
  }
  mac.driverPresent = false;
  const auto child = run({"capabilities"});
  EXPECT_EQ(child.exitStatus, 0);
  EXPECT_NE(child.out.find(R"("CHTE":false)"), std::string::npos);
}

}  // namespace
