#include "smc/four_char.h"

#include <gtest/gtest.h>

namespace {

// The one thing that no run of the helper can show: every key it names is
// ASCII, while a name that the driver hands back may hold any byte.
TEST(FourChar, CountsBytesAndReadsHighBytesAsLatin1) {
  // "éAB" is four bytes, so it packs; it does not come back as itself.
  EXPECT_EQ(fourChar("\xc3\xa9" "AB"), 0xC3A94142U);
  EXPECT_EQ(toFourChar(0xC3A94142U), "\xc3\x83\xc2\xa9" "AB");
  EXPECT_EQ(toFourChar(0x43483042U), "CH0B");
  EXPECT_EQ(toFourChar(0xFFFFFFFFU), "\xc3\xbf\xc3\xbf\xc3\xbf\xc3\xbf");
  EXPECT_EQ(toFourChar(0x7F80BF00U), std::string("\x7f\xc2\x80\xc2\xbf\0", 6));
}

}  // namespace
