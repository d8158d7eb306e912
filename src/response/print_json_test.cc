#include "response/print_json.h"

#include <gtest/gtest.h>

// No run can show it, as every text is made valid before it enters a record:
// one that a mistake left with bytes that are not UTF-8 gives the fallback.
TEST(PrintJson, ARecordThatIsNotUtf8GivesTheFallbackLine) {
  const OutputLine line = outputLine(JsonResponse{.ok = true, .command = "\xff"});
  EXPECT_EQ(line.text, kFallbackLine);
  EXPECT_EQ(line.exitStatus, 1);
}
