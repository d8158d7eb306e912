#include "trace_line.h"

#include <array>
#include <cstdio>

#include "response/hex.h"

namespace emu {

std::string failureWord(const Event& event) {
  if (event.replySize) return "reply=" + std::to_string(*event.replySize);
  if (event.ioReturn == 0) {
    return event.result == kResultKeyNotFound ? "key-not-found" : "result=" + std::to_string(event.result);
  }
  if (event.ioReturn == kIOReturnNotPrivileged) return "not-privileged";
  if (event.ioReturn == kIOReturnError) return "io-error";
  std::array<char, 16> text{};
  static_cast<void>(std::snprintf(text.data(), text.size(), "io=0x%08x",
                                  static_cast<unsigned>(event.ioReturn)));
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
      if (!event.failed() && !event.bytes.empty()) {
        line += ' ';
        line += hexOf(event.bytes);
      }
      break;
    case Event::Kind::other:
      line = "call " + event.key + " sub=" + std::to_string(event.subCommand);
      break;
    case Event::Kind::badCall: line = "bad-call"; break;
    case Event::Kind::powerSources: return "power-sources";
  }
  if (event.failed()) line += " -> " + failureWord(event);
  return line;
}

}  // namespace emu
