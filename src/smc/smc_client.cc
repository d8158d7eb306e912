#include "smc/smc_client.h"

#include <algorithm>

namespace {

constexpr std::uint32_t kStructSize = sizeof(SMCParamStruct);

}  // namespace

SMCResult<Done> SMCClient::open() {
  // The lookup takes over the matching dictionary, so it is never released
  // here; a missing dictionary simply finds no service.
  const io_service_t service =
      IOServiceGetMatchingService(kIOMainPortDefault, IOServiceMatching("AppleSMC"));
  if (service == 0) return SMCError::driverNotFound();
  // The service is released on every way out (the stand-in's opening can
  // throw), and the connection is kept only once it is surely open.
  io_connect_t opened{};
  kern_return_t io{};
  try {
    io = IOServiceOpen(service, mach_task_self_, 0, &opened);
  } catch (...) {
    IOObjectRelease(service);
    throw;
  }
  IOObjectRelease(service);
  // A refusal for want of privileges lands here too: the connection is opened
  // the same way for reading and writing, and only the calls tell them apart.
  if (io != 0) return SMCError::failedToOpen();
  connection = opened;
  return Done{};
}

void SMCClient::close() {
  if (connection == 0) return;
  IOServiceClose(connection);
  connection = 0;
}

SMCResult<SMCParamStruct> SMCClient::callDriver(const SMCParamStruct& request) {
  SMCParamStruct reply;
  size_t replySize = kStructSize;
  const kern_return_t io = IOConnectCallStructMethod(
      connection, raw(SMCParamStruct::Selector::handleYPCEvent), &request, kStructSize,
      &reply, &replySize);
  // A reply shorter or longer than the block is no answer, whatever its
  // result byte says: a zeroed success must not pass for a value.
  const bool answered = io == 0 && replySize == kStructSize;
  if (answered && reply.result == raw(SMCParamStruct::Result::success)) return reply;
  if (answered && reply.result == raw(SMCParamStruct::Result::keyNotFound)) {
    return SMCError::keyNotFound(toFourChar(request.key));
  }
  if (io == kIOReturnNotPrivileged) return SMCError::notPrivileged();
  return SMCError::unknown(io, reply.result);
}

SMCResult<DataType> SMCClient::keyInformation(std::uint32_t code) {
  SMCParamStruct request;
  request.key = code;
  request.data8 = raw(SMCParamStruct::Selector::getKeyInfo);
  const auto reply = callDriver(request);
  if (!reply.ok()) return reply.error();
  const SMCParamStruct::KeyInfoData& info = reply.value().keyInfo;
  return DataType{.type = info.dataType, .size = info.dataSize, .attributes = info.dataAttributes};
}

namespace {

/// A request for `sub` on the key `name`, carrying the key's size as the
/// SMC reports it; fails, before anything is read or written, when the
/// information query fails.
SMCResult<SMCParamStruct> sizedRequest(std::string_view name, SMCParamStruct::Selector sub) {
  const std::uint32_t code = fourChar(name);
  const auto info = SMCClient::keyInformation(code);
  if (!info.ok()) return info.error();
  SMCParamStruct request;
  request.key = code;
  request.keyInfo.dataSize = info.value().size;
  request.data8 = raw(sub);
  return request;
}

}  // namespace

SMCResult<ByteList> SMCClient::readKey(std::string_view name) {
  const auto request = sizedRequest(name, SMCParamStruct::Selector::readKey);
  if (!request.ok()) return request.error();
  const auto reply = callDriver(request.value());
  if (!reply.ok()) return reply.error();
  // The count comes from the information query, not from the reply, which a
  // driver may leave at any value.
  const ByteList all = valueBytes(reply.value().bytes);
  const auto count = std::min<std::size_t>(request.value().keyInfo.dataSize, all.size());
  return ByteList(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(count));
}

SMCResult<Done> SMCClient::writeKey(std::string_view name, std::span<const std::uint8_t> bytes) {
  const auto request = sizedRequest(name, SMCParamStruct::Selector::writeKey);
  if (!request.ok()) return request.error();
  SMCParamStruct block = request.value();
  block.bytes = valueField(bytes);
  const auto reply = callDriver(block);
  if (!reply.ok()) return reply.error();
  return Done{};
}
