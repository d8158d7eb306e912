#include "smc/smc_param_struct.h"

#include <algorithm>

std::optional<SMCParamStruct::Selector> selectorFromRaw(std::uint8_t byte) {
  using S = SMCParamStruct::Selector;
  for (const S s : {S::handleYPCEvent, S::readKey, S::writeKey, S::getKeyInfo}) {
    if (raw(s) == byte) return s;
  }
  return std::nullopt;
}

std::optional<SMCParamStruct::Result> resultFromRaw(std::uint8_t byte) {
  using R = SMCParamStruct::Result;
  for (const R r : {R::success, R::keyNotFound}) {
    if (raw(r) == byte) return r;
  }
  return std::nullopt;
}

SMCBytes zeroBytes() { return SMCBytes{}; }

ByteList bytesToArray(const SMCBytes& bytes) { return {bytes.begin(), bytes.end()}; }

SMCBytes arrayToBytes(std::span<const std::uint8_t> list) {
  SMCBytes field = zeroBytes();
  std::copy_n(list.begin(), std::min(list.size(), field.size()), field.begin());
  return field;
}
