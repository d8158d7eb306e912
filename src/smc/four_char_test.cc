#include "smc/four_char.h"

#include <gtest/gtest.h>

namespace {

TEST(FourChar, KeyCodesAndTheirRoundTrip) {
  const struct {
    const char* name;
    std::uint32_t code;
  } keys[] = {{"CHTE", 0x43485445}, {"CH0B", 0x43483042}, {"CH0C", 0x43483043},
              {"CH0I", 0x43483049}, {"CHIE", 0x43484945}, {"CH0J", 0x4348304A},
              {"ACLC", 0x41434C43}, {"hex_", 0x6865785F}};
  for (const auto& k : keys) {
    EXPECT_EQ(fourChar(k.name), k.code) << k.name;
    EXPECT_EQ(toFourChar(k.code), k.name);
  }
}

TEST(FourChar, CountsBytesAndReadsHighBytesAsLatin1) {
  // "éAB" is four bytes, so it packs; it does not come back as itself.
  EXPECT_EQ(fourChar("\xc3\xa9" "AB"), 0xC3A94142U);
  EXPECT_EQ(toFourChar(0xC3A94142U), "\xc3\x83\xc2\xa9" "AB");
  EXPECT_EQ(toFourChar(0), std::string(4, '\0'));
  EXPECT_EQ(toFourChar(0xFFFFFFFFU), "\xc3\xbf\xc3\xbf\xc3\xbf\xc3\xbf");
}

TEST(FourCharDeathTest, AbortsSilentlyOnAnotherLength) {
  EXPECT_DEATH(fourChar("CHT"), "^$");
  EXPECT_DEATH(fourChar("CHTEX"), "^$");
}

}  // namespace
