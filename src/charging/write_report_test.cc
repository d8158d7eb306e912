#include "charging/write_report.h"

#include <gtest/gtest.h>

#include "response/print_json.h"
#include "testing/child_process.h"
#include "testing/emulated_test.h"

namespace {

TEST(WriteReport, EveryOutcomeGivesItsExactLine) {
  const struct {
    const char* command;
    const char* value;
    WriteOutcome outcome;
    std::string line;
  } cases[] = {
      {"charging", "off", std::nullopt,
       R"({"ok":false,"command":"charging","value":"off","code":"WRITE_UNAVAILABLE","error":"no supported control key found"})"},
      {"charging", "on", WriteAttempt{"CHTE", Done{}},
       R"({"ok":true,"command":"charging","backend":"CHTE","value":"on"})"},
      {"adapter", "off", WriteAttempt{"CHIE", Done{}},
       R"({"ok":true,"command":"adapter","backend":"CHIE","value":"off"})"},
      {"charging", "off", WriteAttempt{"CH0B_CH0C", SMCError::notPrivileged()},
       R"({"ok":false,"command":"charging","backend":"CH0B_CH0C","value":"off","code":"PERMISSION_DENIED","error":"root privileges required"})"},
      {"adapter", "on", WriteAttempt{"CH0J", SMCError::keyNotFound("CH0J")},
       R"({"ok":false,"command":"adapter","backend":"CH0J","value":"on","code":"KEY_NOT_FOUND","error":"SMC key not found: CH0J"})"},
      {"charging", "on", WriteAttempt{"CHTE", SMCError::unknown(-536870212, 0)},
       R"({"ok":false,"command":"charging","backend":"CHTE","value":"on","code":"WRITE_FAILED","error":"SMC write failed: io=-536870212 smc=0"})"},
      {"charging", "on", WriteAttempt{"CHTE", SMCError::unknown(0, 255)},
       R"({"ok":false,"command":"charging","backend":"CHTE","value":"on","code":"WRITE_FAILED","error":"SMC write failed: io=0 smc=255"})"},
      {"adapter", "off", WriteAttempt{"CH0I", SMCError::driverNotFound()},
       R"({"ok":false,"command":"adapter","backend":"CH0I","value":"off","code":"DRIVER_NOT_FOUND","error":"AppleSMC driver not found"})"},
      {"adapter", "off", WriteAttempt{"CH0I", SMCError::failedToOpen()},
       R"({"ok":false,"command":"adapter","backend":"CH0I","value":"off","code":"SMC_OPEN_FAILED","error":"failed to open AppleSMC"})"},
  };
  for (const auto& c : cases) {
    const JsonResponse response = writeResponse(c.command, c.value, c.outcome);
    EXPECT_EQ(outputLine(response).text, c.line + "\n");
    const auto parsed = testing_support::parsedLine(outputLine(response).text);
    EXPECT_EQ(parsed.contains("code"), parsed.contains("error"));
    EXPECT_EQ(parsed["ok"], !parsed.contains("code"));
  }
  const auto child = testing_support::runInChild(
      [&] { responseForWrite("charging", "off", cases[0].outcome); });
  EXPECT_EQ(child.out, cases[0].line + "\n");
  EXPECT_EQ(child.err, "");
  EXPECT_EQ(child.exitStatus, 1);
}

}  // namespace
