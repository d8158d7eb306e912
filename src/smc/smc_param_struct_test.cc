#include "smc/smc_param_struct.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>

namespace {

std::array<std::uint8_t, 80> bytesOf(const SMCParamStruct& block) {
  std::array<std::uint8_t, 80> raw{};
  std::memcpy(raw.data(), &block, raw.size());
  return raw;
}

TEST(SMCParamStruct, DefaultBlockIsEightyZeroBytes) {
  EXPECT_EQ(bytesOf(SMCParamStruct{}), (std::array<std::uint8_t, 80>{}));
}

TEST(SMCParamStruct, FieldsSitAtTheDriversOffsets) {
  SMCParamStruct block;
  block.key = 0x43483042;  // "CH0B"
  block.keyInfo.dataSize = 0x11223344;
  block.keyInfo.dataType = 0x55667788;
  block.keyInfo.dataAttributes = 0x99;
  block.result = 0xAA;
  block.status = 0xBB;
  block.data8 = raw(SMCParamStruct::Selector::readKey);
  block.data32 = 0xCCDDEEFF;
  block.bytes = arrayToBytes(std::array<std::uint8_t, 2>{0x01, 0x02});
  const auto b = bytesOf(block);
  std::array<std::uint8_t, 80> expected{};
  const auto put32 = [&](size_t at, std::uint32_t v) { std::memcpy(&expected[at], &v, 4); };
  put32(0, 0x43483042);
  put32(28, 0x11223344);
  put32(32, 0x55667788);
  expected[36] = 0x99;
  expected[40] = 0xAA;
  expected[41] = 0xBB;
  expected[42] = 5;
  put32(44, 0xCCDDEEFF);
  expected[48] = 0x01;
  expected[49] = 0x02;
  EXPECT_EQ(b, expected);
  if constexpr (std::endian::native == std::endian::little) {
    EXPECT_EQ((std::array<std::uint8_t, 4>{b[0], b[1], b[2], b[3]}),
              (std::array<std::uint8_t, 4>{0x42, 0x30, 0x48, 0x43}));
  }
}

TEST(SMCParamStruct, ValueFieldIsPaddedOrCutToThirtyTwo) {
  EXPECT_EQ(arrayToBytes({}), zeroBytes());
  const ByteList two{1, 0};
  ByteList padded = two;
  padded.resize(32);
  EXPECT_EQ(bytesToArray(arrayToBytes(two)), padded);
  ByteList forty(40);
  for (size_t i = 0; i < forty.size(); ++i) forty[i] = static_cast<std::uint8_t>(i + 1);
  const ByteList first32(forty.begin(), forty.begin() + 32);
  EXPECT_EQ(bytesToArray(arrayToBytes(forty)), first32);
  EXPECT_EQ(bytesToArray(arrayToBytes(first32)), first32);
}

TEST(SMCParamStruct, RawBytesConvertOnlyForListedCases) {
  EXPECT_EQ(resultFromRaw(132), SMCParamStruct::Result::keyNotFound);
  EXPECT_EQ(resultFromRaw(0), SMCParamStruct::Result::success);
  EXPECT_EQ(resultFromRaw(1), std::nullopt);
  EXPECT_EQ(selectorFromRaw(2), SMCParamStruct::Selector::handleYPCEvent);
  EXPECT_EQ(selectorFromRaw(9), SMCParamStruct::Selector::getKeyInfo);
  EXPECT_EQ(selectorFromRaw(7), std::nullopt);
}

}  // namespace
