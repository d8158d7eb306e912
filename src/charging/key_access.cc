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

}  // namespace

// An existence check never fails its caller: every failure is a false.
bool keyAvailable(std::string_view key) { return keyInformationOrError(key).ok(); }

bool keyUsable(std::string_view key) {
  const auto usable = keyUsableOrError(key);
  return usable.ok() && usable.value();
}

bool meansAbsent(const SMCError& error) {
  return error.kind == SMCError::Kind::keyNotFound || error.kind == SMCError::Kind::notPrivileged ||
         error.kind == SMCError::Kind::driverNotFound;
}

SMCResult<bool> keyUsableOrError(std::string_view key) {
  const auto info = keyInformationOrError(key);
  if (!info.ok()) {
    if (meansAbsent(info.error())) return false;
    return info.error();
  }
  return info.value().size > 0 && info.value().size <= std::tuple_size_v<SMCBytes>;
}

std::optional<ByteList> readKeyBytes(std::string_view key) {
  auto bytes = readKeyBytesOrError(key);
  if (bytes.ok()) return bytes.value();
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

SMCResult<std::optional<ByteList>> readKeyBytesOrAbsent(std::string_view key) {
  auto bytes = readKeyBytesOrError(key);
  if (bytes.ok()) return std::optional<ByteList>(bytes.value());
  if (meansAbsent(bytes.error())) return std::optional<ByteList>();
  return bytes.error();
}
