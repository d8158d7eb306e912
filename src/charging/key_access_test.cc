#include "charging/key_access.h"

#include <gtest/gtest.h>

#include "testing/emulated_test.h"

namespace {

using KeyAccessTest = testing_support::EmulatedTest;

TEST_F(KeyAccessTest, ChecksAndReadsAbsorbEveryFailure) {
  mac.setSizedKey("CHTE", "ui32", 0);
  key("CH0B", "02");
  EXPECT_TRUE(keyAvailable("CHTE"));
  EXPECT_FALSE(keyWritable("CHTE"));  // size 0: nothing a write could store
  EXPECT_TRUE(keyWritable("CH0B"));
  EXPECT_EQ(readKeyBytes("CHTE"), ByteList{});  // present and empty, not absent
  EXPECT_FALSE(keyAvailable("CH0C"));
  EXPECT_EQ(readKeyBytes("CH0C"), std::nullopt);
  for (const char* fault : {"open=no-driver", "open=not-privileged", "info:*=io-error"}) {
    mac.faults = {*emu::parseFault(fault)};
    EXPECT_FALSE(keyAvailable("CH0B")) << fault;
    EXPECT_EQ(readKeyBytes("CH0B"), std::nullopt) << fault;
  }
}

}  // namespace
