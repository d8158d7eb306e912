#include "smc/smc_client.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/emulated_mac.h"

namespace {

// What no run can show, since the run ends with the throw: an opening that
// throws (the stand-in's log or listener, out of memory) leaves no service
// handle and no connection held, and the client holds no handle it was never
// given, so that the next opening starts clean.
TEST(SMCClient, AnOpeningThatThrowsHoldsNothing) {
  emu::EmulatedMac mac;
  mac.onEvent = [](const emu::Event& event) {
    if (event.kind == emu::Event::Kind::open) throw std::runtime_error("listener");
  };
  platform::attachMachine(&mac);
  EXPECT_THROW(static_cast<void>(SMCClient::open()), std::runtime_error);
  SMCClient::close();
  EXPECT_EQ(mac.heldServices(), 0U);
  EXPECT_EQ(mac.openConnections(), 0U);
  mac.onEvent = nullptr;
  EXPECT_TRUE(withSMC([] { return SMCResult<Done>(Done{}); }).ok());
  platform::attachMachine(nullptr);
  // The opening, then the next run's opening and closing: no close of a
  // connection that was never handed out.
  ASSERT_EQ(mac.log().size(), 3U);
  EXPECT_EQ(mac.log()[1].kind, emu::Event::Kind::open);
  EXPECT_EQ(mac.log()[2].kind, emu::Event::Kind::close);
  EXPECT_EQ(mac.openConnections(), 0U);
}

}  // namespace
