#include "timeline_file.h"

#include <cerrno>

#include "decimal.h"
#include "emu_error.h"
#include "regular_file.h"
#include "text_lines.h"

namespace {

// A year of events, one a minute, fits with room to spare.
constexpr std::size_t kMaxFileSize = 16U << 20U;

using Word = emu::TimelineEvent::Word;

/// The words of `text` between single spaces.
std::vector<std::string_view> wordsOf(std::string_view text) {
  std::vector<std::string_view> words;
  for (;;) {
    const std::size_t space = text.find(' ');
    words.push_back(text.substr(0, space));
    if (space == std::string_view::npos) return words;
    text.remove_prefix(space + 1);
  }
}

/// Reads the values of a band request into `event`: LOWER UPPER or full,
/// then "as ROLE" or nothing. The levels are any from 0 to 100, so that a
/// timeline can ask for a band that the holder must refuse.
void readBand(std::string_view values, emu::TimelineEvent& event) {
  const std::vector<std::string_view> words = wordsOf(values);
  const bool full = words.front() == "full";
  const std::size_t levels = full ? 1 : 2;
  const auto lower = emu::decimalUpTo(words.front(), 100);
  const auto upper = words.size() > 1 ? emu::decimalUpTo(words[1], 100) : std::nullopt;
  if ((words.size() != levels && words.size() != levels + 2) || (!full && (!lower || !upper)) ||
      (words.size() == levels + 2 && words[levels] != "as")) {
    throw EmuError("band takes LOWER UPPER (each from 0 to 100) or full, then as ROLE or nothing");
  }
  if (words.size() == levels + 2) {
    const auto account = emu::accountFrom(words.back());
    if (!account) throw EmuError("as takes root, admin or user");
    event.account = *account;
  }
  event.full = full;
  if (!full) {
    event.lower = *lower;
    event.upper = *upper;
  }
}

/// What the events so far have made of the machine.
struct TimelineReader {
  std::vector<emu::TimelineEvent> events{};
  bool hasBattery = false;
  bool plugged = true;
  bool reachesHolder = false;
  emu::Power power = emu::Power::awake;

  /// Takes in one line that is neither blank nor a comment.
  void read(std::string_view line) {
    if (!events.empty() && events.back().word == Word::stop) throw EmuError("nothing may follow stop");
    const std::size_t space = line.find(' ');
    const auto minute = emu::decimalUpTo(line.substr(0, space), kTimelineMostMinutes);
    if (space == std::string_view::npos || !minute) {
      throw EmuError("expected MINUTE WORD, MINUTE from 0 to " + std::to_string(kTimelineMostMinutes) + " (a year)");
    }
    if (!events.empty() && *minute < events.back().minute) {
      throw EmuError("minute " + std::to_string(*minute) + " comes before minute " +
                     std::to_string(events.back().minute) + " above");
    }
    const std::string_view rest = line.substr(space + 1);
    const std::size_t valueAt = std::min(rest.find(' '), rest.size());
    const auto word = emu::timelineWordFrom(rest.substr(0, valueAt));
    if (!word) {
      throw EmuError("expected sleep, wake, dark, unplug, plug, battery PERCENT, temp C, band, holder or stop after"
                     " the minute");
    }
    emu::TimelineEvent event{.minute = *minute, .word = *word};
    if (*word == Word::battery) {
      const auto percent = valueAt < rest.size() ? emu::decimalUpTo(rest.substr(valueAt + 1), 100) : std::nullopt;
      if (!percent) throw EmuError("battery takes a PERCENT from 0 to 100");
      if (!hasBattery) throw EmuError("battery on a machine without a battery");
      event.percent = *percent;
    } else if (*word == Word::temp) {
      const auto celsius = valueAt < rest.size() ? emu::hundredthsUpTo(rest.substr(valueAt + 1), 100) : std::nullopt;
      if (!celsius) throw EmuError("temp takes degrees Celsius from 0 to 100, two decimals at most");
      if (!hasBattery) throw EmuError("temp on a machine without a battery");
      event.temperature = *celsius;
    } else if (*word == Word::band) {
      if (valueAt == rest.size()) throw EmuError("band takes LOWER UPPER or full");
      readBand(rest.substr(valueAt + 1), event);
    } else if (valueAt < rest.size()) {
      throw EmuError(std::string(emu::timelineWord(*word)) + " takes no value");
    }
    check(*word);
    events.push_back(event);
  }

  /// Whether a caller's request can reach the holder now: through the socket
  /// beside the state file, and not while the Mac sleeps, which runs no
  /// caller, nor the holder.
  void checkRequest(Word word) const {
    if (!reachesHolder) {
      throw EmuError(std::string(emu::timelineWord(word)) + " needs --state: the holder's socket is beside it");
    }
    if (power == emu::Power::asleep) throw EmuError(std::string(emu::timelineWord(word)) + " while asleep (wake first)");
  }

  /// Whether `word` can happen to the machine as it is now.
  void check(Word word) {
    switch (word) {
      case Word::sleep:
      case Word::wake:
      case Word::dark: {
        // Each word leads to its own state, from either of the other two.
        const auto to = word == Word::sleep ? emu::Power::asleep : word == Word::wake ? emu::Power::awake : emu::Power::dark;
        if (power == to) {
          throw EmuError(std::string(emu::timelineWord(word)) + " while " +
                         (to == emu::Power::asleep ? "asleep" : to == emu::Power::awake ? "awake" : "dark"));
        }
        power = to;
        break;
      }
      case Word::plug:
      case Word::unplug:
        if (plugged == (word == Word::plug)) throw EmuError(plugged ? "plug while plugged in" : "unplug while unplugged");
        plugged = word == Word::plug;
        break;
      case Word::stop:
        // The process is frozen while the Mac sleeps: launchd's SIGTERM
        // comes once it is awake.
        if (power == emu::Power::asleep) throw EmuError("stop while asleep (wake first)");
        break;
      case Word::band:
      case Word::holder: checkRequest(word); break;
      case Word::battery:
      case Word::temp: break;
    }
  }
};

}  // namespace

std::vector<emu::TimelineEvent> parseTimeline(std::string_view text, bool hasBattery, bool plugged,
                                              bool reachesHolder) {
  TimelineReader reader{.hasBattery = hasBattery, .plugged = plugged, .reachesHolder = reachesHolder};
  const std::size_t number = readLines(text, [&](std::string_view line) { reader.read(line); });
  if (reader.events.empty() || reader.events.back().word != Word::stop) {
    throw EmuError(number == 0 ? std::string("no line: a timeline ends in a stop")
                               : "line " + std::to_string(number) + ": the timeline ends without a stop");
  }
  return std::move(reader.events);
}

std::vector<emu::TimelineEvent> loadTimelineFile(const std::string& path, bool hasBattery, bool plugged,
                                                 bool reachesHolder) {
  const auto text = readRegularFile(path, "timeline", kMaxFileSize);
  if (!text) throw EmuError(fileFailure("read timeline", path, ENOENT));
  try {
    return parseTimeline(*text, hasBattery, plugged, reachesHolder);
  } catch (const EmuError& error) {
    throw EmuError("timeline " + path + ", " + error.what());
  }
}
