// The 80-byte block exchanged with the AppleSMC user client on every call.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

/// The value field of a block: up to 32 bytes of a key's value.
using SMCBytes = std::array<std::uint8_t, 32>;

/// A key's value as read or written: at most 32 bytes, possibly none.
using ByteList = std::vector<std::uint8_t>;

/// The driver's parameter block, laid out exactly as the driver reads it.
/// Every filler is an explicit member, so the block has no implicit padding
/// and a default block is 80 zero bytes however it is copied.
struct SMCParamStruct {
  enum class Selector : std::uint8_t {
    handleYPCEvent = 2,  ///< the user-client method itself, never in data8
    readKey = 5,
    writeKey = 6,
    getKeyInfo = 9,
  };
  enum class Result : std::uint8_t {
    success = 0,
    keyNotFound = 132,
  };

  struct Version {
    std::uint8_t major = 0;
    std::uint8_t minor = 0;
    std::uint8_t build = 0;
    std::uint8_t reserved = 0;
    std::uint16_t release = 0;
  };
  struct LimitData {
    std::uint16_t version = 0;
    std::uint16_t length = 0;
    std::uint32_t cpuPLimit = 0;
    std::uint32_t gpuPLimit = 0;
    std::uint32_t memPLimit = 0;
  };
  /// Nine bytes of content. Packed so that the byte after it and the 16-bit
  /// `padding` can follow at 37 and 38, where the driver expects them; a
  /// naturally aligned record would be 12 bytes and push `result` to 42.
  struct [[gnu::packed]] KeyInfoData {
    std::uint32_t dataSize = 0;
    std::uint32_t dataType = 0;
    std::uint8_t dataAttributes = 0;
  };

  std::uint32_t key = 0;
  Version vers;
  std::array<std::uint8_t, 2> filler10 = {};
  LimitData pLimitData;
  KeyInfoData keyInfo;
  std::uint8_t filler37 = 0;
  std::uint16_t padding = 0;
  std::uint8_t result = 0;
  std::uint8_t status = 0;
  std::uint8_t data8 = 0;
  std::uint8_t filler43 = 0;
  std::uint32_t data32 = 0;
  SMCBytes bytes = {};
};

static_assert(sizeof(SMCParamStruct) == 80);
static_assert(alignof(SMCParamStruct) == 4);
static_assert(sizeof(SMCParamStruct::Version) == 6 && alignof(SMCParamStruct::Version) == 2);
static_assert(sizeof(SMCParamStruct::LimitData) == 16 && alignof(SMCParamStruct::LimitData) == 4);
static_assert(sizeof(SMCParamStruct::KeyInfoData) == 9);
static_assert(offsetof(SMCParamStruct, pLimitData) == 12);
static_assert(offsetof(SMCParamStruct, keyInfo) == 28);
static_assert(offsetof(SMCParamStruct, padding) == 38);
static_assert(offsetof(SMCParamStruct, result) == 40);
static_assert(offsetof(SMCParamStruct, data8) == 42);
static_assert(offsetof(SMCParamStruct, data32) == 44);
static_assert(offsetof(SMCParamStruct, bytes) == 48);

/// The raw byte of a selector or result.
constexpr std::uint8_t raw(SMCParamStruct::Selector s) { return static_cast<std::uint8_t>(s); }
constexpr std::uint8_t raw(SMCParamStruct::Result r) { return static_cast<std::uint8_t>(r); }

/// The 32 bytes of a value field as a list, in order, trailing zeros included.
ByteList valueBytes(const SMCBytes& field);
/// The value field that holds `list`, padded with zeros or cut to 32 bytes,
/// without complaint.
SMCBytes valueField(std::span<const std::uint8_t> list);
