#include "state_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "decimal.h"
#include "emu_error.h"
#include "four_printable.h"
#include "key_setting.h"
#include "platform/emulated/emulated_battery.h"
#include "regular_file.h"
#include "text_lines.h"

namespace {

// Far above any real machine; keeps a huge file from being read into memory.
constexpr std::size_t kMaxFileSize = 1U << 20U;

}  // namespace

namespace {

/// The battery's word: its level in percent, with the tenth where it has
/// one ("60", "75.5"), or "none".
std::string batteryWord(const std::optional<int>& charge) { return charge ? emu::percentText(*charge) : "none"; }

/// Reads the charge that a battery word names into `charge` (left empty for
/// "none"); false when the word is malformed.
bool readCharge(std::string_view word, std::optional<int>& charge) {
  charge.reset();
  if (word == "none") return true;
  // The percent, and its tenth where it has one: "75.5" is 755 tenths.
  const std::size_t point = std::min(word.find('.'), word.size());
  const std::string_view fraction = word.substr(point);  // "" or ".D"
  if (point > 3 || (!fraction.empty() && fraction.size() != 2)) return false;
  const auto whole = emu::decimalUpTo(word.substr(0, point), 100);
  const auto tenth = fraction.empty() ? 0 : emu::decimalUpTo(fraction.substr(1), 9);
  if (!whole || !tenth || *whole * 10 + *tenth > emu::kFullCharge) return false;
  charge = *whole * 10 + *tenth;
  return true;
}

/// The figures of a battery-entry line, in order, each with its bound.
constexpr std::array<std::pair<std::optional<int> emu::BatteryEntry::*, int>, 5> kEntryFigures{{
    {&emu::BatteryEntry::cycleCount, 100'000},
    {&emu::BatteryEntry::designCapacity, 100'000},
    {&emu::BatteryEntry::nominalCapacity, 100'000},
    {&emu::BatteryEntry::fullChargeCapacity, 100'000},
    {&emu::BatteryEntry::temperature, 100},
}};

/// The battery-entry line's words after its name: the layout, then each
/// figure or "none", the temperature in degrees.
std::string entryWords(const emu::BatteryEntry& entry) {
  std::string words(emu::layoutWord(entry.layout));
  for (const auto& [figure, most] : kEntryFigures) {
    const std::optional<int>& value = entry.*figure;
    words += ' ';
    words += !value ? "none" : figure == &emu::BatteryEntry::temperature ? emu::hundredthsText(*value)
                                                                        : std::to_string(*value);
  }
  return words;
}

/// Reads the words of a battery-entry line into `entry`; false when they
/// are malformed.
bool readEntry(std::string_view words, emu::BatteryEntry& entry) {
  const std::size_t space = words.find(' ');
  const auto layout = emu::layoutFromWord(words.substr(0, space));
  if (!layout || space == std::string_view::npos) return false;
  entry.layout = *layout;
  words.remove_prefix(space + 1);
  for (const auto& [figure, most] : kEntryFigures) {
    const std::size_t end = std::min(words.find(' '), words.size());
    const std::string_view word = words.substr(0, end);
    const auto value = figure == &emu::BatteryEntry::temperature ? emu::hundredthsUpTo(word, most)
                                                                 : emu::decimalUpTo(word, most);
    if (!value && word != "none") return false;
    entry.*figure = value;
    // The last figure ends the line.
    if ((end == words.size()) != (figure == kEntryFigures.back().first)) return false;
    words.remove_prefix(std::min(end + 1, words.size()));
  }
  return true;
}

}  // namespace

std::string stateLines(const emu::MachineState& state) {
  std::string text = "arch " + std::string(emu::archWord(state.arch)) + "\n";
  text += state.driverPresent ? "driver present\n" : "driver absent\n";
  text += "battery " + batteryWord(state.battery) + "\n";
  // The entry stands beside the battery alone: without one there is none.
  if (state.battery) text += "battery-entry " + entryWords(state.entry) + "\n";
  for (const auto& [name, key] : state.keys) text += "key " + keySettingText(name, key) + "\n";
  for (const std::string& name : state.refused) text += "refused " + name + "\n";
  return text;
}

std::string stateText(const emu::MachineState& state) {
  return "# smc-emu state: arch arm64|x86_64|absent, driver present|absent,\n"
         "# battery PERCENT (0 to 100, one decimal at most) or none,\n"
         "# battery-entry LAYOUT CYCLES DESIGN NOMINAL FULL CELSIUS (the battery's\n"
         "# registry entry: top-level, BatteryData or intel, then each figure or none),\n"
         "# then one \"key NAME:TYPE=HEX/AA\" line per key (empty HEX: size 0; empty TYPE:\n"
         "# the blank type code 0; AA: the attribute byte, d4 when left out)\n"
         "# and one \"refused NAME\" line per key that the firmware refuses to everyone\n" +
         stateLines(state);
}

namespace {

/// What of a state the lines read so far have set.
struct StateReader {
  emu::MachineState state;
  bool haveArch = false;
  bool haveDriver = false;
  bool haveBattery = false;
  bool haveEntry = false;

  /// Notes that a line of `what` stands here; a second one is refused.
  static void once(bool& seen, std::string_view what) {
    if (seen) throw EmuError(std::string(what) + " stands twice");
    seen = true;
  }

  void readKey(std::string_view text) {
    KeySetting setting = parseKeySetting(text);
    if (state.keys.contains(setting.name)) throw EmuError("key '" + setting.name + "' stands twice");
    // A file written before keys had attribute bytes reads as d4, the byte
    // of a readable, writable key.
    state.keys[setting.name] = keyFrom(setting);
  }

  void readRefused(std::string_view text) {
    // Read by position, as in a key line: the name is the rest of the line.
    const std::string name(text);
    if (!emu::isFourPrintable(name)) throw EmuError("refused NAME: NAME must be four printable ASCII characters");
    if (!state.refused.insert(name).second) throw EmuError("refused '" + name + "' stands twice");
  }

  /// Takes in one line that is neither blank nor a comment.
  void read(std::string_view line) {
    if (line.starts_with("key ")) {
      readKey(line.substr(4));
    } else if (line.starts_with("arch ")) {
      const auto arch = emu::archFromWord(line.substr(5));
      if (!arch) throw EmuError("arch must be arm64, x86_64 or absent");
      once(haveArch, "arch");
      state.arch = *arch;
    } else if (line.starts_with("driver ")) {
      const std::string_view word = line.substr(7);
      if (word != "present" && word != "absent") throw EmuError("driver must be present or absent");
      once(haveDriver, "driver");
      state.driverPresent = word == "present";
    } else if (line.starts_with("battery ")) {
      if (!readCharge(line.substr(8), state.battery)) {
        throw EmuError("battery must be a PERCENT from 0 to 100 (one decimal at most) or none");
      }
      once(haveBattery, "battery");
    } else if (line.starts_with("battery-entry ")) {
      if (!readEntry(line.substr(14), state.entry)) {
        throw EmuError("battery-entry must be LAYOUT CYCLES DESIGN NOMINAL FULL CELSIUS, each figure a number or none");
      }
      once(haveEntry, "battery-entry");
    } else if (line.starts_with("refused ")) {
      readRefused(line.substr(8));
    } else {
      throw EmuError("expected arch, driver, battery, battery-entry, key, refused or a # comment");
    }
  }
};

}  // namespace

emu::MachineState parseState(std::string_view text) {
  StateReader reader;
  reader.state.keys.clear();
  readLines(text, [&](std::string_view line) { reader.read(line); });
  if (!reader.haveArch) throw EmuError("no arch line");
  if (!reader.haveDriver) throw EmuError("no driver line");
  return reader.state;
}

std::optional<emu::MachineState> loadStateFile(const std::string& path) {
  const auto text = readRegularFile(path, "state file", kMaxFileSize);
  if (!text) return std::nullopt;
  try {
    return parseState(*text);
  } catch (const EmuError& error) {
    throw EmuError("state file " + path + ", " + error.what());
  }
}

namespace {

/// Writes `text` to a new file beside `target`, in the mode that the state
/// file keeps, and returns its name; with `durable`, flushed to the disk.
/// Throws EmuError for `given`, and then leaves no file behind.
std::string writeTemporary(const std::string& given, const std::string& target,
                           const std::string& text, bool durable) {
  // A short name of fixed length fits beside every name that fits at all.
  std::string temporary = folderOf(target) + ".smc-emu-XXXXXX";
  // The file keeps its permissions across saves; a new one gets the usual
  // 0666 less the umask, not mkstemp's 0600.
  mode_t mode = 0;
  struct stat existing {};
  if (stat(target.c_str(), &existing) == 0) {
    mode = existing.st_mode & 07777U;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666U & ~mask;
  }
  // Nothing from here until the file is renamed or removed allocates, so
  // that no exception, not even bad_alloc, can leave it behind.
  const int fd = mkstemp(temporary.data());
  if (fd < 0) throw EmuError(fileFailure("write state file", given, errno));
  bool written = fchmod(fd, mode) == 0;
  for (std::size_t done = 0; written && done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    written = n > 0 || (n < 0 && errno == EINTR);
    if (n > 0) done += static_cast<std::size_t>(n);
  }
  written = written && (!durable || fsync(fd) == 0);
  int error = errno;
  if (close(fd) != 0 && written) {
    written = false;
    error = errno;
  }
  if (written) return temporary;
  unlink(temporary.c_str());
  throw EmuError(fileFailure("write state file", given, error));
}

}  // namespace

void checkStateSaveable(const std::string& given, const emu::MachineState& state) {
  unlink(writeTemporary(given, linkTarget(given), stateText(state), false).c_str());
}

void saveStateFile(const std::string& given, const emu::MachineState& state) {
  // A state file that is a symbolic link, dangling or not, is saved where
  // the link points; the rename would otherwise put a plain file in the
  // link's place.
  const std::string target = linkTarget(given);
  const std::string temporary = writeTemporary(given, target, stateText(state), true);
  if (rename(temporary.c_str(), target.c_str()) != 0) {
    const int error = errno;
    unlink(temporary.c_str());
    throw EmuError(fileFailure("write state file", given, error));
  }
  // The rename is in the folder: flushed too, it outlasts a crash. The new
  // state is in place already, so a folder that cannot be flushed (some
  // file systems refuse) is no reason to stop.
  const std::string folder = folderOf(target);
  const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    static_cast<void>(fsync(fd));
    close(fd);
  }
}
