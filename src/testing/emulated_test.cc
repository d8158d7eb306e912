#include "testing/emulated_test.h"

#include <algorithm>

namespace testing_support {

emu::Bytes bytesOf(std::string_view hex) {
  emu::Bytes bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(std::stoul(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return bytes;
}

void EmulatedTest::SetUp() { platform::attachMachine(&mac); }

void EmulatedTest::TearDown() {
  platform::attachMachine(nullptr);
  EXPECT_EQ(mac.openConnections(), 0U) << "a connection outlived its key access";
  EXPECT_EQ(mac.heldServices(), 0U) << "a service handle was never released";
  EXPECT_LE(mac.maxOpenConnections(), 1U) << "two connections were open at once";
}

void EmulatedTest::key(const std::string& name, std::string_view hex, const std::string& type) {
  mac.setKey(name, type, bytesOf(hex));
}

nlohmann::json parsedLine(const std::string& text) {
  EXPECT_FALSE(text.empty());
  if (text.empty()) return {};
  EXPECT_EQ(text.back(), '\n');
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
  const nlohmann::json parsed = nlohmann::json::parse(text, nullptr, false);
  EXPECT_TRUE(parsed.is_object()) << text;
  return parsed;
}

}  // namespace testing_support
