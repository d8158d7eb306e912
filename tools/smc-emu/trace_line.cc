#include "trace_line.h"

#include <array>
#include <cstdio>

#include "decimal.h"
#include "platform/standin/system_power.h"
#include "response/hex.h"

namespace emu {

namespace {

/// The minute of `ms`: whole, or with its tenth where it has one, or (for a
/// holder whose timers fall between tenths) as many decimals as it takes,
/// up to the millisecond.
std::string minuteText(std::int64_t ms) {
  // A timed wake may be asked for before minute 0. (Texts here are appended
  // to, never joined with +, which g++ 12's -Wrestrict misreads at -O3.)
  if (ms < 0) {
    std::string text(1, '-');
    text += minuteText(-ms);
    return text;
  }
  std::string text = std::to_string(ms / 60'000);
  std::int64_t rest = ms % 60'000;
  if (rest == 0) return text;
  text += '.';
  // Milliseconds in a minute: five decimals hold all but thirds, cut there.
  for (int digits = 0; rest != 0 && digits < 5; ++digits) {
    rest *= 10;
    text += static_cast<char>('0' + rest / 60'000);
    rest %= 60'000;
  }
  return text;
}

std::string messageWord(std::uint32_t message) {
  switch (message) {
    case kIOMessageCanSystemSleep: return "can-sleep";
    case kIOMessageSystemWillSleep: return "will-sleep";
    case kIOMessageSystemWillPowerOn: return "will-power-on";
    case kIOMessageSystemHasPoweredOn: return "has-powered-on";
    default: break;
  }
  return "will-not-sleep";
}

/// Appends each of `parts` to `line`.
template <class... Parts>
void append(std::string& line, const Parts&... parts) {
  (line += ... += parts);
}

std::string clockLine(const ClockEvent& event) {
  std::string line = "at ";
  append(line, minuteText(event.at), " ");
  switch (event.kind) {
    case ClockEvent::Kind::timeline:
      // A request as the timeline spells it: "band 70 80 as user", "holder".
      if (event.word == TimelineEvent::Word::band) {
        line += requestText(event.request);
      } else {
        line += timelineWord(event.word);
      }
      if (event.word == TimelineEvent::Word::battery) append(line, " ", percentText(event.charge));
      if (event.word == TimelineEvent::Word::temp) append(line, " ", hundredthsText(event.temperature));
      if (event.request.account) append(line, " as ", accountWord(*event.request.account));
      break;
    case ClockEvent::Kind::level:
      append(line, "level ", percentText(event.charge), " ", activityWord(event.activity));
      break;
    case ClockEvent::Kind::notify: line += "notify power-sources"; break;
    case ClockEvent::Kind::message:
      line += "message " + messageWord(event.message);
      if (event.id != 0) {
        line += ' ';
        line += std::to_string(event.id);
      }
      break;
    case ClockEvent::Kind::answer:
      line += event.allow ? "allow " : "cancel ";
      line += std::to_string(event.id);
      break;
    case ClockEvent::Kind::unanswered:
      line += "unanswered ";
      line += std::to_string(event.id);
      break;
    case ClockEvent::Kind::timer: line += "timer"; break;
    case ClockEvent::Kind::ended: line += "ended"; break;
    case ClockEvent::Kind::timedWake: line += "dark timed"; break;
    case ClockEvent::Kind::timedSleep: line += "sleep timed"; break;
    case ClockEvent::Kind::reply: append(line, "answer ", event.answer ? *event.answer : std::string("none")); break;
  }
  return line;
}

/// "schedule TYPE MINUTE ID" or "unschedule ...", and how it failed: its
/// IOKit return, by name where a request has one.
std::string requestLine(const Event& event) {
  std::string line = event.kind == Event::Kind::schedule ? "schedule " : "unschedule ";
  line += event.request.type + " " + minuteText(event.request.at) + " " + event.request.id;
  if (event.ioReturn == kIOReturnNotFound) return line + " -> not-found";
  if (event.ioReturn == kIOReturnBadArgument) return line + " -> bad-argument";
  if (event.failed()) line += " -> " + failureWord(event);
  return line;
}

}  // namespace

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
    case Event::Kind::noEntry: return "no-battery-entry";
    case Event::Kind::entry: line = "battery-entry"; break;
    case Event::Kind::clock: return clockLine(event.clock);
    case Event::Kind::schedule:
    case Event::Kind::unschedule: return requestLine(event);
  }
  if (event.failed()) line += " -> " + failureWord(event);
  return line;
}

}  // namespace emu
