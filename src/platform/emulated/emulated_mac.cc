#include "platform/emulated/emulated_mac.h"

#include <algorithm>
#include <cstring>

#include "platform/emulated/emulated_battery.h"

namespace emu {

namespace {

// The block as the driver reads it, by offset. Kept apart from the client's
// own record on purpose: the emulator checks the client's layout, it does not
// share it.
constexpr size_t kBlockSize = 80;
constexpr size_t kKeyAt = 0;
constexpr size_t kDataSizeAt = 28;
constexpr size_t kDataTypeAt = 32;
constexpr size_t kAttributesAt = 36;
constexpr size_t kResultAt = 40;
constexpr size_t kData8At = 42;
constexpr size_t kBytesAt = 48;
constexpr size_t kValueField = 32;
constexpr uint32_t kMethodIndex = 2;
constexpr uint8_t kReadKey = 5;
constexpr uint8_t kWriteKey = 6;
constexpr uint8_t kGetKeyInfo = 9;
constexpr uint8_t kBadCommand = 1;

uint32_t load32(const uint8_t* block, size_t at) {
  uint32_t v = 0;
  std::memcpy(&v, block + at, sizeof v);
  return v;
}

void store32(uint8_t* block, size_t at, uint32_t v) { std::memcpy(block + at, &v, sizeof v); }

std::string nameOf(uint32_t code) {
  std::string name;
  for (int shift = 24; shift >= 0; shift -= 8) {
    name += static_cast<char>((code >> static_cast<unsigned>(shift)) & 0xFFU);
  }
  return name;
}

uint32_t codeOf(std::string_view name) {
  uint32_t code = 0;
  for (size_t i = 0; i < 4; ++i) {
    code = (code << 8U) | (i < name.size() ? static_cast<unsigned char>(name[i]) : 0U);
  }
  return code;
}

/// Whether every byte of the request that its sub-command does not use is
/// zero. The client builds each request from an all-zero block; a stray byte,
/// left by a field out of place or not cleared, is refused as a malformed call
/// rather than guessed at.
bool onlyUsedBytesSet(const uint8_t* in) {
  const uint8_t sub = in[kData8At];
  for (size_t at = 0; at < kBlockSize; ++at) {
    const bool used = at < kKeyAt + 4 || at == kData8At ||
                      (sub != kGetKeyInfo && at >= kDataSizeAt && at < kDataSizeAt + 4) ||
                      (sub == kWriteKey && at >= kBytesAt);
    if (!used && in[at] != 0) return false;
  }
  return true;
}

}  // namespace

void EmulatedMac::record(Event event) {
  if (!keepsLog) {
    if (onEvent) onEvent(event);
    return;
  }
  log_.push_back(std::move(event));
  if (onEvent) onEvent(log_.back());
}

Fault* EmulatedMac::firingFault(Call call, std::string_view key, bool lookup) {
  // Every matching fault counts the call, also once an earlier one has fired,
  // so that each @N means the Nth matching call whatever the other faults do.
  Fault* firing = nullptr;
  for (Fault& fault : faults) {
    if (fault.call != call) continue;
    if ((call == Call::open || call == Call::registry) && fault.noDriver != lookup) continue;
    if (call != Call::open && fault.key != "*" && fault.key != key) continue;
    ++fault.seen;
    if (firing == nullptr && (fault.nth == 0 || fault.nth == fault.seen)) firing = &fault;
  }
  return firing;
}

io_service_t EmulatedMac::matchService(std::string_view className) {
  if (className == "AppleSmartBattery") {
    // There with a battery, as on a Mac.
    if (!battery || firingFault(Call::registry, {}, true) != nullptr) {
      record({.kind = Event::Kind::noEntry});
      return 0;
    }
    const io_registry_entry_t entry = nextHandle_++;
    entries_.insert(entry);
    return entry;
  }
  if (className != "AppleSMC" || !driverPresent || firingFault(Call::open, {}, true) != nullptr) {
    record({.kind = Event::Kind::noDriver});
    return 0;
  }
  const io_service_t service = nextHandle_++;
  services_.insert(service);
  return service;
}

kern_return_t EmulatedMac::openService(io_service_t service, task_port_t owningTask,
                                       uint32_t type, io_connect_t* connect) {
  if (!services_.contains(service) || owningTask != mach_task_self_ || type != 0) {
    record({.kind = Event::Kind::badCall});
    return kIOReturnBadArgument;
  }
  if (const Fault* fault = firingFault(Call::open, {}, false); fault != nullptr) {
    record({.kind = Event::Kind::open, .ioReturn = fault->ioReturn});
    return fault->ioReturn;
  }
  // Logged first: a log, or a listener, that throws leaves no connection
  // open behind it that the caller was never given.
  record({.kind = Event::Kind::open});
  const io_connect_t connection = nextHandle_++;
  connections_.insert(connection);
  maxOpen_ = std::max(maxOpen_, connections_.size());
  *connect = connection;
  return kIOReturnSuccess;
}

kern_return_t EmulatedMac::releaseObject(io_object_t object) {
  return services_.erase(object) + entries_.erase(object) == 1 ? kIOReturnSuccess : kIOReturnBadArgument;
}

kern_return_t EmulatedMac::createProperties(io_registry_entry_t entry, CFMutableDictionaryRef* properties) {
  if (!entries_.contains(entry) || !battery) {
    record({.kind = Event::Kind::badCall});
    return kIOReturnBadArgument;
  }
  if (const Fault* fault = firingFault(Call::registry, {}, false); fault != nullptr) {
    record({.kind = Event::Kind::entry, .ioReturn = fault->ioReturn});
    return fault->ioReturn;
  }
  const PowerState power = powerState(keys, *battery, adapterConnected);
  platform::cf::Owned made = entryProperties(batteryEntry, *battery, power.onAdapter, activityOf(power));
  // Logged before it is handed over: a log that throws leaves nothing behind.
  record({.kind = Event::Kind::entry});
  *properties = made.release();
  return kIOReturnSuccess;
}

kern_return_t EmulatedMac::closeConnection(io_connect_t connect) {
  if (connections_.erase(connect) == 0) {
    record({.kind = Event::Kind::badCall});
    return kIOReturnBadArgument;
  }
  record({.kind = Event::Kind::close});
  return kIOReturnSuccess;
}

kern_return_t EmulatedMac::callStructMethod(io_connect_t connection, uint32_t selector,
                                            const void* input, size_t inputSize, void* output,
                                            size_t* outputSize) {
  // A call that a real user client would refuse outright is refused here too,
  // before the controller sees it.
  if (!connections_.contains(connection) || selector != kMethodIndex ||
      inputSize != kBlockSize || input == nullptr || output == nullptr ||
      outputSize == nullptr || *outputSize != kBlockSize ||
      !onlyUsedBytesSet(static_cast<const uint8_t*>(input))) {
    record({.kind = Event::Kind::badCall});
    return kIOReturnBadArgument;
  }
  const auto* in = static_cast<const uint8_t*>(input);
  auto* out = static_cast<uint8_t*>(output);
  const std::string name = nameOf(load32(in, kKeyAt));
  const uint8_t sub = in[kData8At];
  const uint32_t dataSize = load32(in, kDataSizeAt);

  Event event{.kind = Event::Kind::other, .key = name, .subCommand = sub};
  Call call = Call::info;
  switch (sub) {
    case kGetKeyInfo: event.kind = Event::Kind::info; call = Call::info; break;
    case kReadKey: event.kind = Event::Kind::read; call = Call::read; break;
    case kWriteKey:
      event.kind = Event::Kind::write;
      call = Call::write;
      event.bytes.assign(in + kBytesAt, in + kBytesAt + std::min<size_t>(dataSize, kValueField));
      break;
    default: break;
  }

  // The reply is the request with the controller's answer filled in.
  Bytes reply(in, in + kBlockSize);
  const auto answer = [&](uint8_t result) {
    reply[kResultAt] = result;
    std::memcpy(out, reply.data(), kBlockSize);
    *outputSize = kBlockSize;
    event.result = result;
    record(event);
    return kIOReturnSuccess;
  };

  if (event.kind != Event::Kind::other) {
    if (const Fault* fault = firingFault(call, name, false); fault != nullptr) {
      event.ioReturn = fault->ioReturn;
      event.result = fault->result;
      event.replySize = fault->replySize;
      if (fault->replySize) {
        std::memcpy(out, reply.data(), std::min<size_t>(*fault->replySize, kBlockSize));
        *outputSize = *fault->replySize;
      } else if (fault->touchReply) {
        reply[kResultAt] = fault->result;
        std::memcpy(out, reply.data(), kBlockSize);
      }
      record(event);
      return fault->ioReturn;
    }
  }
  // A key that the firmware refuses is refused to every caller and for every
  // call; a caller without root is refused every write.
  const bool refusedKey = event.kind != Event::Kind::other &&
                          (refused.contains(name) || refusedForRun.contains(name));
  if (refusedKey || (call == Call::write && event.kind == Event::Kind::write && !privileged)) {
    event.ioReturn = kIOReturnNotPrivileged;
    record(event);
    return kIOReturnNotPrivileged;
  }
  if (event.kind == Event::Kind::other) return answer(kBadCommand);

  const auto found = keys.find(name);
  if (found == keys.end()) return answer(kResultKeyNotFound);
  Key& key = found->second;
  switch (event.kind) {
    case Event::Kind::info:
      store32(reply.data(), kDataSizeAt, static_cast<uint32_t>(key.value.size()));
      store32(reply.data(), kDataTypeAt, codeOf(key.type));
      reply[kAttributesAt] = key.attributes;
      break;
    case Event::Kind::read:
      std::fill_n(reply.begin() + kBytesAt, kValueField, 0);
      std::copy_n(key.value.begin(), std::min<size_t>(key.value.size(), kValueField),
                  reply.begin() + kBytesAt);
      break;
    case Event::Kind::write: {
      const size_t count = std::min<size_t>(event.bytes.size(), key.value.size());
      std::copy_n(event.bytes.begin(), count, key.value.begin());
      // Recorded first, so that the trace shows the write before what it
      // did to the battery.
      const kern_return_t done = answer(0);
      if (time_) settle();
      return done;
    }
    default: break;
  }
  return answer(0);
}

std::optional<int> EmulatedMac::sysctlInteger(std::string_view name) {
  if (name != "hw.optional.arm64" || arch == Arch::absent) return std::nullopt;
  return arch == Arch::arm64 ? 1 : 0;
}

std::optional<std::vector<platform::PowerSourceDescription>> EmulatedMac::powerSources() {
  record({.kind = Event::Kind::powerSources});
  std::vector<platform::PowerSourceDescription> sources;
  if (battery) sources.push_back(batteryDescription(*battery, powerState(keys, *battery, adapterConnected)));
  return sources;
}

}  // namespace emu
