#include "smc/smc_param_struct.h"

#include <algorithm>

ByteList valueBytes(const SMCBytes& field) { return {field.begin(), field.end()}; }

SMCBytes valueField(std::span<const std::uint8_t> list) {
  SMCBytes field{};
  std::copy_n(list.begin(), std::min(list.size(), field.size()), field.begin());
  return field;
}
