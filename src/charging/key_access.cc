#include "charging/key_access.h"

#include <exception>

#include "smc/four_char.h"
#include "smc/smc_client.h"

namespace {

/// The key's information over a connection of its own, or none on any
/// failure, including one that is not an SMCError (such as running out of
/// memory): an existence check never fails its caller.
std::optional<DataType> keyInformationOnce(std::string_view key) {
  try {
    const auto info = withSMC([&] { return SMCClient::keyInformation(fourChar(key)); });
    if (info.ok()) return info.value();
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

}  // namespace

bool keyAvailable(std::string_view key) { return keyInformationOnce(key).has_value(); }

bool keyWritable(std::string_view key) {
  const auto info = keyInformationOnce(key);
  return info && info->size > 0;
}

std::optional<ByteList> readKeyBytes(std::string_view key) {
  try {
    const auto bytes = withSMC([&] { return SMCClient::readKey(key); });
    if (bytes.ok()) return bytes.value();
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

WriteResult writeKeyBytes(std::string_view key, const ByteList& bytes) {
  try {
    return withSMC([&] { return SMCClient::writeKey(key, bytes); });
  } catch (const std::exception&) {
    return SMCError::unknown(kIOReturnError, 0);
  }
}
