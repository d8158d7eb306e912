#include "response/utf8.h"

#include <gtest/gtest.h>

// No run can show it, since every argument ends in a NUL byte: a sequence
// cut short by the end of the text is ill-formed, whatever byte lies beyond;
// and the first byte above ASCII leads no sequence.
TEST(Utf8, ASequenceCutByTheEndOfTheTextIsIllFormed) {
  const std::string_view bytes = "\xc3\xa9";
  EXPECT_FALSE(isValidUtf8(bytes.substr(0, 1)));
  EXPECT_EQ(repairUtf8(bytes.substr(0, 1)), "\xef\xbf\xbd");
  EXPECT_EQ(repairUtf8("\x7f\x80"), "\x7f\xef\xbf\xbd");
}
