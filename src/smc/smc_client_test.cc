#include "smc/smc_client.h"

#include <gtest/gtest.h>

#include "testing/emulated_test.h"

namespace {

using Lines = std::vector<std::string>;

class SMCClientTest : public testing_support::EmulatedTest {
 protected:
  void fail(const std::string& fault) { mac.faults.push_back(*emu::parseFault(fault)); }
  SMCResult<ByteList> read(const char* name) {
    return withSMC([&] { return SMCClient::readKey(name); });
  }
  SMCResult<Done> write(const char* name, const ByteList& bytes) {
    return withSMC([&] { return SMCClient::writeKey(name, bytes); });
  }
};

TEST_F(SMCClientTest, CloseWithoutConnectionCallsNothing) {
  SMCClient::close();
  EXPECT_EQ(SMCClient::currentConnection(), 0U);
  EXPECT_EQ(trace(), Lines{});
  ASSERT_TRUE(SMCClient::open().ok());
  EXPECT_NE(SMCClient::currentConnection(), 0U);
  SMCClient::close();
  EXPECT_EQ(SMCClient::currentConnection(), 0U);
  EXPECT_EQ(trace(), (Lines{"open", "close"}));
}

TEST_F(SMCClientTest, EachErrorCaseFromEachCallPosition) {
  key("CH0I", "00", "ui8 ");
  const struct {
    const char* fault;
    const char* operation;  // "read" or "write"
    SMCError error;
    Lines trace;
  } cases[] = {
      {"open=no-driver", "read", SMCError::driverNotFound(), {"no-driver"}},
      {"open=not-privileged", "read", SMCError::failedToOpen(), {"open -> not-privileged"}},
      {"open=io-error", "write", SMCError::failedToOpen(), {"open -> io-error"}},
      {"info:CH0I=key-not-found", "read", SMCError::keyNotFound("CH0I"),
       {"open", "info CH0I -> key-not-found", "close"}},
      {"info:CH0I=result=1", "write", SMCError::unknown(0, 1),
       {"open", "info CH0I -> result=1", "close"}},
      {"read:CH0I=io-error", "read", SMCError::unknown(kIOReturnError, 0),
       {"open", "info CH0I", "read CH0I -> io-error", "close"}},
      {"read:*=not-privileged", "read", SMCError::notPrivileged(),
       {"open", "info CH0I", "read CH0I -> not-privileged", "close"}},
      {"write:CH0I=not-privileged", "write", SMCError::notPrivileged(),
       {"open", "info CH0I", "write CH0I -> not-privileged", "close"}},
      {"write:CH0I=result=255", "write", SMCError::unknown(0, 255),
       {"open", "info CH0I", "write CH0I -> result=255", "close"}},
      {"write:CH0I=io=0xe00002d8", "write", SMCError::unknown(static_cast<std::int32_t>(0xe00002d8), 0),
       {"open", "info CH0I", "write CH0I -> io=0xe00002d8", "close"}},
  };
  for (const auto& c : cases) {
    mac.faults.clear();
    mac.clearLog();
    fail(c.fault);
    const SMCError got = std::string(c.operation) == "read" ? read("CH0I").error()
                                                            : write("CH0I", {1}).error();
    EXPECT_EQ(got, c.error) << c.fault;
    EXPECT_EQ(trace(), c.trace) << c.fault;
    EXPECT_EQ(SMCClient::currentConnection(), 0U);
  }
}

TEST_F(SMCClientTest, IoFailureKeepsTheResultByteTheDriverLeft) {
  key("CH0I", "00");
  emu::Fault fault = *emu::parseFault("write:CH0I=io=5");
  fault.touchReply = true;
  fault.result = 7;
  mac.faults.push_back(fault);
  EXPECT_EQ(write("CH0I", {1}).error(), SMCError::unknown(5, 7));
}

TEST_F(SMCClientTest, ReadsTheReportedSizeCappedAtThirtyTwo) {
  mac.setSizedKey("ZERO", "hex_", 0);
  key("ONE_", "07");
  emu::Bytes forty(40);
  for (size_t i = 0; i < forty.size(); ++i) forty[i] = static_cast<std::uint8_t>(i);
  mac.setKey("FRTY", "hex_", forty);
  EXPECT_EQ(read("ZERO").value(), ByteList{});
  EXPECT_EQ(read("ONE_").value(), ByteList{7});
  EXPECT_EQ(read("FRTY").value(), ByteList(forty.begin(), forty.begin() + 32));
}

TEST_F(SMCClientTest, WriteSendsTheKeysOwnSizeWhateverTheListLength) {
  key("CH0B", "00");
  ASSERT_TRUE(write("CH0B", {2}).ok());
  ASSERT_TRUE(write("CH0B", {3, 4, 5}).ok());
  EXPECT_EQ(trace(), (Lines{"open", "info CH0B", "write CH0B 02", "close",
                                "open", "info CH0B", "write CH0B 03", "close"}));
  EXPECT_EQ(mac.keys["CH0B"].value, emu::Bytes{3});
}

TEST_F(SMCClientTest, BodyFailureIsClosedOnceAndPassedOnUnchanged) {
  const auto result = withSMC([]() -> SMCResult<int> { return SMCError::unknown(-3, 9); });
  EXPECT_EQ(result.error(), SMCError::unknown(-3, 9));
  EXPECT_EQ(trace(), (Lines{"open", "close"}));
}

}  // namespace
