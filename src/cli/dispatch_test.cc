#include "cli/dispatch.h"

#include <gtest/gtest.h>

#include "cli/capabilities.h"
#include "response/print_json.h"
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
      {{"charging-"}, R"({"ok":false,"command":"charging-","code":"UNKNOWN_COMMAND","error":"unknown command"})"},
      {{"cap\"\\\n\x01"}, R"({"ok":false,"command":"cap\"\\\n\u0001","code":"UNKNOWN_COMMAND","error":"unknown command"})"},
      {{"\xff" "a\xc3"}, "{\"ok\":false,\"command\":\"\xEF\xBF\xBD" "a\xEF\xBF\xBD\",\"code\":\"UNKNOWN_COMMAND\",\"error\":\"unknown command\"}"},
      {{longWord}, R"({"ok":false,"command":")" + longWord + R"(","code":"UNKNOWN_COMMAND","error":"unknown command"})"},
      {{"charging"}, R"({"ok":false,"command":"charging","code":"INVALID_ARGS","error":"charging expects on/off"})"},
      {{"charging", ""}, R"({"ok":false,"command":"charging","code":"INVALID_ARGS","error":"charging expects on/off"})"},
      {{"charging", "ON"}, R"({"ok":false,"command":"charging","code":"INVALID_ARGS","error":"charging expects on/off"})"},
      {{"charging", "off "}, R"({"ok":false,"command":"charging","code":"INVALID_ARGS","error":"charging expects on/off"})"},
      {{"charging", "1"}, R"({"ok":false,"command":"charging","code":"INVALID_ARGS","error":"charging expects on/off"})"},
      {{"adapter"}, R"({"ok":false,"command":"adapter","code":"INVALID_ARGS","error":"adapter expects on/off"})"},
      {{"adapter", "Off"}, R"({"ok":false,"command":"adapter","code":"INVALID_ARGS","error":"adapter expects on/off"})"},
  };
  key("CHTE", "00000000");
  key("CHIE", "00");
  for (const auto& c : cases) {
    mac.clearLog();
    const auto child = run(c.args);
    EXPECT_EQ(child.out, c.line + "\n");
    EXPECT_EQ(child.exitStatus, 1);
    EXPECT_EQ(mac.trace(), std::vector<std::string>{}) << c.line;
  }
}

TEST_F(DispatchTest, CommandsServeTheirLinesAndIgnoreExtraArguments) {
  key("CHTE", "00000000");
  key("CHIE", "00");
  const struct {
    std::vector<std::string> args;
    std::string line;
    int status;
  } cases[] = {
      {{"charging-status", "extra"}, R"({"ok":true,"command":"charging-status","backend":"CHTE","status":"enabled"})", 0},
      {{"charging", "off", "on"}, R"({"ok":true,"command":"charging","backend":"CHTE","value":"off"})", 0},
      {{"adapter", "off"}, R"({"ok":true,"command":"adapter","backend":"CHIE","value":"off"})", 0},
      {{"capabilities", "x"},
       R"({"ok":true,"command":"capabilities","supports":{"CHTE":true,"CH0B":false,"CH0C":false,"CH0I":false,"CHIE":true,"CH0J":false,"ACLC":false},"arch":"arm64"})", 0},
  };
  for (const auto& c : cases) {
    const auto child = run(c.args);
    EXPECT_EQ(child.out, c.line + "\n");
    EXPECT_EQ(child.exitStatus, c.status);
  }
  mac.keys.clear();
  const auto status = run({"charging-status"});
  EXPECT_EQ(status.out, R"({"ok":false,"command":"charging-status","code":"STATUS_UNAVAILABLE","error":"unable to determine charging status"})"
                        "\n");
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

TEST(HelperBinary, WithoutAnEmulatedMacFindsNoDriver) {
  const auto bare = testing_support::runProgram({SMC_CHARGE_BINARY});
  EXPECT_EQ(bare.out, R"({"ok":false,"command":"unknown","code":"INVALID_ARGS","error":"missing command"})"
                      "\n");
  EXPECT_EQ(bare.exitStatus, 1);
  const auto caps = testing_support::runProgram({SMC_CHARGE_BINARY, "capabilities"});
  const std::string arch = machineHardwareName();
  EXPECT_EQ(caps.out, R"({"ok":true,"command":"capabilities","supports":{"CHTE":false,"CH0B":false,"CH0C":false,"CH0I":false,"CHIE":false,"CH0J":false,"ACLC":false},"arch":")" +
                          arch + "\"}\n");
  EXPECT_EQ(caps.exitStatus, 0);
  const auto write = testing_support::runProgram({SMC_CHARGE_BINARY, "charging", "off"});
  EXPECT_EQ(write.out, R"({"ok":false,"command":"charging","value":"off","code":"WRITE_UNAVAILABLE","error":"no supported control key found"})"
                       "\n");
  for (const auto* child : {&bare, &caps, &write}) EXPECT_EQ(child->err, "");
}

}  // namespace
