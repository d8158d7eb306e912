#include "platform/emulated_mac.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace emu {

namespace {

// The block as the driver reads it, by offset. Kept apart from the client's
// own record on purpose: the emulator checks the client's layout, it does not
// share it.
constexpr size_t kBlockSize = 80;
constexpr size_t kKeyAt = 0;
constexpr size_t kDataSizeAt = 28;
constexpr size_t kDataTypeAt = 32;
constexpr size_t kResultAt = 40;
constexpr size_t kData8At = 42;
constexpr size_t kBytesAt = 48;
constexpr size_t kValueField = 32;
constexpr uint32_t kMethodIndex = 2;
constexpr uint8_t kReadKey = 5;
constexpr uint8_t kWriteKey = 6;
constexpr uint8_t kGetKeyInfo = 9;
constexpr uint8_t kKeyNotFound = 132;
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

template <class T>
bool parseNumber(std::string_view text, T& out) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out, base);
  return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

namespace {

/// Fills in which calls `fault` hits: "open", or "CALL:KEY".
bool parseTarget(std::string_view target, Fault& fault) {
  if (target == "open") {
    fault.call = Call::open;
    return true;
  }
  const size_t colon = target.find(':');
  if (colon == std::string_view::npos) return false;
  const std::string_view call = target.substr(0, colon);
  const std::string_view key = target.substr(colon + 1);
  if (call == "info") {
    fault.call = Call::info;
  } else if (call == "read") {
    fault.call = Call::read;
  } else if (call == "write") {
    fault.call = Call::write;
  } else {
    return false;
  }
  if (key != "*" && !isFourPrintable(key)) return false;
  fault.key = std::string(key);
  return true;
}

/// Fills in how `fault` fails from its ERR word.
bool parseFailure(std::string_view err, Fault& fault) {
  const bool open = fault.call == Call::open;
  if (err == "not-privileged") {
    fault.ioReturn = kIOReturnNotPrivileged;
  } else if (err == "io-error") {
    fault.ioReturn = kIOReturnError;
  } else if (err == "no-driver" && open) {
    fault.noDriver = true;
  } else if (err == "key-not-found" && !open) {
    fault.result = kKeyNotFound;
    fault.touchReply = true;
  } else if (err.starts_with("result=") && !open) {
    unsigned value = 0;
    if (!parseNumber(err.substr(7), value) || value > 255) return false;
    fault.result = static_cast<uint8_t>(value);
    fault.touchReply = true;
  } else if (err.starts_with("io=")) {
    std::string_view number = err.substr(3);
    const bool negative = number.starts_with('-');
    if (negative) number.remove_prefix(1);
    uint32_t value = 0;
    if (!parseNumber(number, value)) return false;
    fault.ioReturn = static_cast<int32_t>(negative ? 0U - value : value);
  } else {
    return false;
  }
  return true;
}

}  // namespace

std::optional<Fault> parseFault(std::string_view text) {
  const size_t eq = text.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  std::string_view err = text.substr(eq + 1);
  Fault fault;
  if (const size_t at = err.rfind('@'); at != std::string_view::npos) {
    if (!parseNumber(err.substr(at + 1), fault.nth) || fault.nth == 0) return std::nullopt;
    err = err.substr(0, at);
  }
  if (!parseTarget(text.substr(0, eq), fault) || !parseFailure(err, fault)) return std::nullopt;
  return fault;
}

bool isFourPrintable(std::string_view text) {
  return text.size() == 4 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

std::string hexOf(const Bytes& bytes) {
  constexpr std::string_view kDigits = "0123456789abcdef";
  std::string out;
  for (const uint8_t b : bytes) {
    out += kDigits[b >> 4U];
    out += kDigits[b & 0xFU];
  }
  return out;
}

std::string failureWord(int32_t ioReturn, uint8_t result) {
  if (ioReturn == 0) {
    return result == kKeyNotFound ? "key-not-found" : "result=" + std::to_string(result);
  }
  if (ioReturn == kIOReturnNotPrivileged) return "not-privileged";
  if (ioReturn == kIOReturnError) return "io-error";
  std::array<char, 16> text{};
  static_cast<void>(std::snprintf(text.data(), text.size(), "io=0x%08x",
                                  static_cast<unsigned>(ioReturn)));
  return text.data();
}

std::string traceLine(const Event& event) {
  std::string line;
  switch (event.kind) {
    case Event::Kind::noDriver: return "no-driver";
    case Event::Kind::open: line = "open"; break;
    case Event::Kind::close: return "close";
    case Event::Kind::info: line = "info " + event.key; break;
    case Event::Kind::read: line = "read " + event.key; break;
    case Event::Kind::write:
      line = "write " + event.key;
      // Not " " + hexOf(...): g++ 12 at -O3 warns of an overlapping copy
      // inside libstdc++ that cannot happen (a false -Wrestrict).
      if (event.failure.empty() && !event.bytes.empty()) line.append(" ").append(emu::hexOf(event.bytes));
      break;
    case Event::Kind::other:
      line = "call " + event.key + " sub=" + std::to_string(event.subCommand);
      break;
    case Event::Kind::badCall: line = "bad-call"; break;
  }
  if (!event.failure.empty()) line += " -> " + event.failure;
  return line;
}

void EmulatedMac::setKey(const std::string& name, const std::string& type, Bytes value) {
  keys[name] = Key{type, static_cast<uint32_t>(value.size()), std::move(value)};
}

void EmulatedMac::setSizedKey(const std::string& name, const std::string& type, uint32_t size) {
  keys[name] = Key{type, size, Bytes(size, 0)};
}

std::vector<std::string> EmulatedMac::trace() const {
  std::vector<std::string> lines;
  lines.reserve(log_.size());
  for (const Event& event : log_) lines.push_back(traceLine(event));
  return lines;
}

void EmulatedMac::record(Event event) {
  log_.push_back(std::move(event));
  if (onEvent) onEvent(log_.back());
}

Fault* EmulatedMac::firingFault(Call call, std::string_view key, bool lookup) {
  for (Fault& fault : faults) {
    if (fault.call != call) continue;
    if (call == Call::open && fault.noDriver != lookup) continue;
    if (call != Call::open && fault.key != "*" && fault.key != key) continue;
    ++fault.seen;
    if (fault.nth == 0 || fault.nth == fault.seen) return &fault;
  }
  return nullptr;
}

io_service_t EmulatedMac::matchService(std::string_view className) {
  if (className != "AppleSMC" || !driverPresent || firingFault(Call::open, {}, true) != nullptr) {
    record({Event::Kind::noDriver, {}, 0, {}, {}});
    return 0;
  }
  const io_service_t service = nextHandle_++;
  services_.insert(service);
  return service;
}

kern_return_t EmulatedMac::openService(io_service_t service, task_port_t owningTask,
                                       uint32_t type, io_connect_t* connect) {
  if (!services_.contains(service) || owningTask != mach_task_self_ || type != 0) {
    record({Event::Kind::badCall, {}, 0, {}, {}});
    return kIOReturnBadArgument;
  }
  if (const Fault* fault = firingFault(Call::open, {}, false); fault != nullptr) {
    record({Event::Kind::open, {}, 0, {}, failureWord(fault->ioReturn, 0)});
    return fault->ioReturn;
  }
  const io_connect_t connection = nextHandle_++;
  connections_.insert(connection);
  maxOpen_ = std::max(maxOpen_, connections_.size());
  *connect = connection;
  record({Event::Kind::open, {}, 0, {}, {}});
  return kIOReturnSuccess;
}

kern_return_t EmulatedMac::releaseObject(io_object_t object) {
  return services_.erase(object) == 1 ? kIOReturnSuccess : kIOReturnBadArgument;
}

kern_return_t EmulatedMac::closeConnection(io_connect_t connect) {
  if (connections_.erase(connect) == 0) {
    record({Event::Kind::badCall, {}, 0, {}, {}});
    return kIOReturnBadArgument;
  }
  record({Event::Kind::close, {}, 0, {}, {}});
  return kIOReturnSuccess;
}

kern_return_t EmulatedMac::callStructMethod(io_connect_t connection, uint32_t selector,
                                            const void* input, size_t inputSize, void* output,
                                            size_t* outputSize) {
  // A call that a real user client would refuse outright is refused here too,
  // before the controller sees it.
  if (!connections_.contains(connection) || selector != kMethodIndex ||
      inputSize != kBlockSize || input == nullptr || output == nullptr ||
      outputSize == nullptr || *outputSize != kBlockSize) {
    record({Event::Kind::badCall, {}, 0, {}, {}});
    return kIOReturnBadArgument;
  }
  const auto* in = static_cast<const uint8_t*>(input);
  auto* out = static_cast<uint8_t*>(output);
  const std::string name = nameOf(load32(in, kKeyAt));
  const uint8_t sub = in[kData8At];
  const uint32_t dataSize = load32(in, kDataSizeAt);

  Event event{Event::Kind::other, name, sub, {}, {}};
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
    if (result != 0) event.failure = failureWord(0, result);
    record(event);
    return kIOReturnSuccess;
  };

  if (event.kind != Event::Kind::other) {
    if (const Fault* fault = firingFault(call, name, false); fault != nullptr) {
      event.failure = failureWord(fault->ioReturn, fault->result);
      if (fault->touchReply) {
        reply[kResultAt] = fault->result;
        std::memcpy(out, reply.data(), kBlockSize);
      }
      record(event);
      return fault->ioReturn;
    }
  }
  if (call == Call::write && event.kind == Event::Kind::write && !privileged) {
    event.failure = failureWord(kIOReturnNotPrivileged, 0);
    record(event);
    return kIOReturnNotPrivileged;
  }
  if (event.kind == Event::Kind::other) return answer(kBadCommand);

  const auto found = keys.find(name);
  if (found == keys.end()) return answer(kKeyNotFound);
  Key& key = found->second;
  switch (event.kind) {
    case Event::Kind::info:
      store32(reply.data(), kDataSizeAt, key.size);
      store32(reply.data(), kDataTypeAt, codeOf(key.type));
      break;
    case Event::Kind::read:
      std::fill_n(reply.begin() + kBytesAt, kValueField, 0);
      std::copy_n(key.value.begin(), std::min<size_t>(key.value.size(), kValueField),
                  reply.begin() + kBytesAt);
      break;
    case Event::Kind::write: {
      const size_t count = std::min<size_t>(event.bytes.size(), key.value.size());
      std::copy_n(event.bytes.begin(), count, key.value.begin());
      break;
    }
    default: break;
  }
  return answer(0);
}

std::optional<int> EmulatedMac::sysctlInteger(std::string_view name) {
  if (name != "hw.optional.arm64" || arch == Arch::absent) return std::nullopt;
  return arch == Arch::arm64 ? 1 : 0;
}

}  // namespace emu
