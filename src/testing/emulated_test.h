// A test fixture with an emulated Mac attached, and checks for the one line.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "platform/emulated_mac.h"
#include "smc-emu/fault_syntax.h"
#include "smc-emu/trace_line.h"

namespace testing_support {

/// The bytes that hex digits spell ("01000000" is 01 00 00 00).
emu::Bytes bytesOf(std::string_view hex);

/// Attaches a fresh emulated Mac for each test. After every test, whatever it
/// did, no connection and no service handle may be left, and never more than
/// one connection may have been open at once.
class EmulatedTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  /// Adds a key with the value spelt by `hex` (its size is the value's).
  void key(const std::string& name, std::string_view hex, const std::string& type = "hex_");
  /// The machine's log as trace lines.
  std::vector<std::string> trace() const { return emu::traceLines(mac.log()); }

  emu::EmulatedMac mac;
};

/// Checks that `text` is exactly one line of valid JSON ending in one line
/// feed, parses it with an independent parser, and returns the object.
nlohmann::json parsedLine(const std::string& text);

}  // namespace testing_support
