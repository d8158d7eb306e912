#include "charging/key_access.h"

#include <exception>
#include <tuple>
#include <utility>

#include "smc/four_char.h"
#include "smc/smc_client.h"

namespace {

/// Runs `body` over a connection of its own and hands on its result. A
/// failure that is not an SMCError (such as running out of memory) becomes
/// the general IOKit error, so that every caller sees one SMCError.
template <class T, class Body>
SMCResult<T> oneShot(Body&& body) {
  try {
    return withSMC(std::forward<Body>(body));
  } catch (const std::exception&) {
    return SMCError::unknown(kIOReturnError, 0);
  }
}

/// The key's information, or none on any failure: an existence check never
/// fails its caller.
std::optional<DataType> keyInformationOrNone(std::string_view key) {
  const auto info = keyInformationOrError(key);
  if (info.ok()) return info.value();
  return std::nullopt;
}

}  // namespace

bool keyAvailable(std::string_view key) { return keyInformationOrNone(key).has_value(); }

bool keyUsable(std::string_view key) {
  const auto info = keyInformationOrNone(key);
  return info && info->size > 0 && info->size <= std::tuple_size_v<SMCBytes>;
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
  return oneShot<Done>([&] { return SMCClient::writeKey(key, bytes); });
}

SMCResult<DataType> keyInformationOrError(std::string_view key) {
  return oneShot<DataType>([&] { return SMCClient::keyInformation(fourChar(key)); });
}

SMCResult<ByteList> readKeyBytesOrError(std::string_view key) {
  return oneShot<ByteList>([&] { return SMCClient::readKey(key); });
}
