#include "smc/smc_param_struct.h"

#include <algorithm>

SMCBytes zeroBytes() { return SMCBytes{}; }

ByteList bytesToArray(const SMCBytes& bytes) { return {bytes.begin(), bytes.end()}; }

SMCBytes arrayToBytes(std::span<const std::uint8_t> list) {
  SMCBytes field = zeroBytes();
  std::copy_n(list.begin(), std::min(list.size(), field.size()), field.begin());
  return field;
}
