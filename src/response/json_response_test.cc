#include "response/json_response.h"

#include <gtest/gtest.h>

#include "response/print_json.h"
#include "testing/child_process.h"
#include "testing/emulated_test.h"

namespace {

using std::nullopt;

const std::string kFallback =
    R"({"ok":false,"command":"unknown","code":"ENCODE_FAILED","error":"failed to encode response"})" "\n";

struct EncodeCase {
  JsonResponse response;
  std::string text;
};

TEST(JsonResponse, EncodesEachShapeByteForByte) {
  const EncodeCase cases[] = {
      {{false, "unknown", nullopt, nullopt, nullopt, "INVALID_ARGS", "missing command", nullopt, nullopt},
       R"({"ok":false,"command":"unknown","code":"INVALID_ARGS","error":"missing command"})"},
      {{true, "charging-status", "CHTE", "enabled", nullopt, nullopt, nullopt, nullopt, nullopt},
       R"({"ok":true,"command":"charging-status","backend":"CHTE","status":"enabled"})"},
      {{true, "capabilities", nullopt, nullopt, nullopt, nullopt, nullopt, SupportMap{{"CHTE", true}}, "arm64"},
       R"({"ok":true,"command":"capabilities","supports":{"CHTE":true},"arch":"arm64"})"},
      {{true, "x", nullopt, nullopt, "", nullopt, nullopt, SupportMap{}, nullopt},
       R"({"ok":true,"command":"x","value":"","supports":{}})"},
      {{false, "a\"b\\c\nd\x01/\x7f\xc3\xa9", "b", "s", "v", "C", "e", SupportMap{{"K", false}, {"L", true}}, "r"},
       "{\"ok\":false,\"command\":\"a\\\"b\\\\c\\nd\\u0001/\x7f\xc3\xa9\",\"backend\":\"b\",\"status\":\"s\","
       "\"value\":\"v\",\"code\":\"C\",\"error\":\"e\",\"supports\":{\"K\":false,\"L\":true},\"arch\":\"r\"}"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(encodeJson(c.response), c.text);
    const auto line = outputLine(c.response);
    EXPECT_EQ(line.text, c.text + "\n");
    EXPECT_EQ(line.exitStatus, c.response.ok ? 0 : 1);
    const auto parsed = testing_support::parsedLine(line.text);
    EXPECT_EQ(parsed["command"], c.response.command);
  }
}

TEST(JsonResponse, InvalidUtf8FallsBackWithStatusOneEvenWhenOk) {
  const JsonResponse bad{true, "\xff", nullopt, nullopt, nullopt, nullopt, nullopt, nullopt, nullopt};
  const auto line = outputLine(bad);
  EXPECT_EQ(line.text, kFallback);
  EXPECT_EQ(line.exitStatus, 1);
}

TEST(PrintJson, WritesOneLineAndExitsWithTheVerdict) {
  for (const bool ok : {true, false}) {
    const JsonResponse response{ok, "c", nullopt, nullopt, nullopt, nullopt, nullopt, nullopt, nullopt};
    const auto child = testing_support::runInChild([&] { printJson(response); });
    EXPECT_EQ(child.out, encodeJson(response) + "\n");
    EXPECT_EQ(child.err, "");
    EXPECT_EQ(child.exitStatus, ok ? 0 : 1);
  }
  const std::function<void()> fallbacks[] = {printFallbackLine, [] {
                                                fallBackOnTerminate();
                                                std::terminate();
                                              }};
  for (const auto& fallback : fallbacks) {
    const auto child = testing_support::runInChild(fallback);
    EXPECT_EQ(child.out, kFallback);
    EXPECT_EQ(child.err, "");
    EXPECT_EQ(child.exitStatus, 1);
  }
}

}  // namespace
