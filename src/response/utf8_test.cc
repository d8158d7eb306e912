#include "response/utf8.h"

#include <gtest/gtest.h>

namespace {

TEST(Utf8, RepairsEachMaximalIllFormedSubsequence) {
  const std::string fffd = "\xEF\xBF\xBD";
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"", ""},
      {"charging", "charging"},
      {"\xc3\xa9\xe2\x82\xac\xf0\x9f\x94\x8b", "\xc3\xa9\xe2\x82\xac\xf0\x9f\x94\x8b"},
      {"a\xff" "b", "a" + fffd + "b"},
      {"\xc0\xaf", fffd + fffd},                    // overlong lead, then a lone continuation
      {"\xe0\x80\x80", fffd + fffd + fffd},         // overlong three-byte form
      {"\xed\xa0\x80", fffd + fffd + fffd},         // surrogate
      {"\xf4\x90\x80\x80", fffd + fffd + fffd + fffd},  // above U+10FFFF
      {"\xe2\x82", fffd},                           // truncated: one replacement
      {"\xf0\x9f\x94" "a", fffd + "a"},
      {"\xe2\x82\xe2\x82\xac", fffd + "\xe2\x82\xac"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(repairUtf8(c.in), c.out) << c.in;
    EXPECT_TRUE(isValidUtf8(repairUtf8(c.in)));
    EXPECT_EQ(isValidUtf8(c.in), c.in == c.out);
  }
}

}  // namespace
