#include "smc/smc_client.h"

#include <gtest/gtest.h>

#include <new>

#include "platform/emulated/emulated_mac.h"

// No run can show it, as the run ends with the throw: an opening that throws
// (the stand-in's log out of memory, or its listener) leaves no service and
// no connection held, and the client keeps no handle that it was never given.
TEST(SMCClient, AnOpeningThatThrowsHoldsNothing) {
  emu::EmulatedMac mac;
  mac.onEvent = [](const emu::Event&) { throw std::bad_alloc(); };
  platform::attachMachine(&mac);
  EXPECT_THROW(static_cast<void>(SMCClient::open()), std::bad_alloc);
  SMCClient::close();  // a close of a handle held would be logged
  platform::attachMachine(nullptr);
  EXPECT_EQ(mac.log().size(), 1U);
  EXPECT_EQ(mac.heldServices() + mac.openConnections(), 0U);
}
