#include "fuzz/line_check.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <regex>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string_view>

namespace fuzz {

namespace {

constexpr std::array<std::string_view, 12> kOrder{"ok",    "command",  "backend", "status", "value",
                                                  "code",  "error",    "supports", "arch", "keys",
                                                  "controls", "version"};

bool oneOf(const nlohmann::ordered_json& value, std::initializer_list<std::string_view> words) {
  if (!value.is_string()) return false;
  const auto& text = value.get_ref<const std::string&>();
  return std::find(words.begin(), words.end(), text) != words.end();
}

/// The members of `line`, in order.
std::vector<std::string> membersOf(const nlohmann::ordered_json& line) {
  std::vector<std::string> names;
  for (const auto& item : line.items()) names.push_back(item.key());
  return names;
}

bool hasExactly(const nlohmann::ordered_json& line, std::initializer_list<std::string_view> names) {
  const auto members = membersOf(line);
  return std::equal(members.begin(), members.end(), names.begin(), names.end());
}

/// The numbers of a failed driver call, as WRITE_FAILED and keys give them.
constexpr std::string_view kNumbers =
    "io=(0|-?[1-9][0-9]{0,9}) smc=(0|[1-9][0-9]?|1[0-9][0-9]|2[0-4][0-9]|25[0-5])";

/// Whether `code` and `error` are a documented failure: each code with its
/// message, or with its message's fixed start and what may follow.
bool documentedFailure(const std::string& code, const std::string& error) {
  static const std::regex kFailures(
      std::string("INVALID_ARGS:(charging|adapter) expects on/off|UNKNOWN_COMMAND:unknown command|"
                  "STATUS_UNAVAILABLE:unable to determine charging status|"
                  "WRITE_UNAVAILABLE:no supported control key found|DRIVER_NOT_FOUND:AppleSMC driver not found|"
                  "SMC_OPEN_FAILED:failed to open AppleSMC|PERMISSION_DENIED:root privileges required|"
                  "KEY_NOT_FOUND:SMC key not found: [\\s\\S]+|WRITE_FAILED:SMC write failed: ") +
      std::string(kNumbers));
  return std::regex_match(code + ":" + error, kFailures);
}

/// A key access's failure: a word, or the numbers of a failed call.
bool accessFailure(const nlohmann::ordered_json& error) {
  static const std::regex kFailures("key-not-found|not-privileged|driver-not-found|failed-to-open|" +
                                    std::string(kNumbers));
  return error.is_string() && std::regex_match(error.get_ref<const std::string&>(), kFailures);
}

/// Each of the twelve keys in order: known with type, size, attribute byte and
/// a value (the first 32 bytes at most, lower-case hex) or a failure, or
/// unknown with a failure.
void requireKeyReports(const nlohmann::ordered_json& keys) {
  const std::vector<std::string> twelve{"CHTE", "CH0B", "CH0C", "CH0I", "CHIE", "CH0J",
                                        "ACLC", "CHLS", "CHIB", "bfD0", "bfE0", "bfF0"};
  require(keys.is_object() && membersOf(keys) == twelve, "keys holds the twelve keys in order");
  for (const auto& item : keys.items()) {
    const auto& report = item.value();
    require(report.is_object() && report.contains("known") && report["known"].is_boolean(), "known");
    if (!report["known"].get<bool>()) {
      require(hasExactly(report, {"known", "error"}) && accessFailure(report["error"]), "unknown key");
      continue;
    }
    const bool readFailed = report.contains("error");
    require(readFailed ? hasExactly(report, {"known", "type", "size", "attributes", "error"})
                       : hasExactly(report, {"known", "type", "size", "attributes", "value"}),
            "a known key: type, size, attributes, then its value or how the read failed");
    require(latin1Bytes(report["type"]).size() == 4 && report["size"].is_number_unsigned(), "type and size");
    require(report["attributes"].is_string() &&
                std::regex_match(report["attributes"].get_ref<const std::string&>(), std::regex("[0-9a-f]{2}")),
            "the attribute byte as two lower-case hex digits");
    if (readFailed) {
      require(accessFailure(report["error"]), "how the read failed");
      continue;
    }
    require(report["value"].is_string(), "value is text");
    const std::string value = report["value"];
    const auto size = report["size"].get<std::uint64_t>();
    require(value.size() == 2 * std::min<std::uint64_t>(size, 32) &&
                value.find_first_not_of("0123456789abcdef") == std::string::npos,
            "the value as lower-case hex, as many bytes as the size, 32 at most");
  }
}

}  // namespace

std::string latin1Bytes(const nlohmann::ordered_json& text) {
  if (!text.is_string()) return {};
  const auto& utf8 = text.get_ref<const std::string&>();
  std::string bytes;
  // The parser has checked the UTF-8, so a lead byte C2 or C3 has its follower.
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if (lead < 0x80) {
      bytes += utf8[i];
    } else if (lead == 0xC2 || lead == 0xC3) {
      bytes += static_cast<char>(((lead & 0x3U) << 6U) | (static_cast<unsigned char>(utf8[++i]) & 0x3FU));
    } else {
      return {};
    }
  }
  return bytes;
}

void require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "finding: %s\n", what);
  std::abort();
}

nlohmann::ordered_json checkedLine(const OutputLine& line) {
  const std::string& text = line.text;
  require(!text.empty() && text.back() == '\n', "the line ends in a line feed");
  require(std::count(text.begin(), text.end(), '\n') == 1, "exactly one line");
  require(text.front() == '{', "nothing before the object");
  // nlohmann's parser refuses ill-formed UTF-8 as well as ill-formed JSON.
  auto parsed = nlohmann::ordered_json::parse(text, nullptr, false);
  require(parsed.is_object(), "the line is a JSON object in valid UTF-8");
  require(parsed.dump() + "\n" == text, "the line is compact, with nothing but the object");

  const auto members = membersOf(parsed);
  size_t at = 0;
  for (const std::string& name : members) {
    const auto found = std::find(kOrder.begin() + static_cast<std::ptrdiff_t>(at), kOrder.end(), name);
    require(found != kOrder.end(), "members are known and in their fixed order");
    at = static_cast<size_t>(found - kOrder.begin()) + 1;
  }
  require(members.size() >= 2 && members[0] == "ok" && members[1] == "command", "ok, command first");
  require(parsed["ok"].is_boolean(), "ok is a boolean");
  require(line.exitStatus == (parsed["ok"].get<bool>() ? 0 : 1), "ok agrees with the exit status");
  require(parsed.contains("code") == parsed.contains("error"), "code and error come together");
  require(parsed.contains("code") != parsed["ok"].get<bool>(), "failures, and only they, carry code");
  return parsed;
}

void requireDocumentedShape(const nlohmann::ordered_json& line, const std::string& command) {
  const bool ok = line["ok"];
  require(line["command"] == command, "command echoed");
  const bool write = command == "charging" || command == "adapter";
  if (!ok) {
    const std::string code = line["code"];
    require(documentedFailure(code, line["error"]), "a failure code with its message");
    require(write ? code != "STATUS_UNAVAILABLE" && code != "UNKNOWN_COMMAND" && code != "INVALID_ARGS"
                  : (command == "charging-status" || command == "adapter-status") && code == "STATUS_UNAVAILABLE",
            "a failure that the command can have");
    require(!write                       ? hasExactly(line, {"ok", "command", "code", "error"})
            : code == "WRITE_UNAVAILABLE" ? hasExactly(line, {"ok", "command", "value", "code", "error"})
                                          : hasExactly(line, {"ok", "command", "backend", "value", "code", "error"}),
            "a failure's members: on a write, the value, and the backend but for the unavailable one");
  } else if (command == "capabilities" || command == "keys") {
    require(command == "keys" ? hasExactly(line, {"ok", "command", "arch", "keys"})
                              : hasExactly(line, {"ok", "command", "supports", "arch"}),
            "capabilities or keys shape");
    require(oneOf(line["arch"], {"arm64", "x86_64"}), "arch word");
    if (command == "keys") {
      requireKeyReports(line["keys"]);
      return;
    }
    std::set<std::string> keys;
    for (const auto& [key, known] : line["supports"].items()) {
      require(known.is_boolean() && keys.insert(key).second, "supports holds booleans");
    }
    require(keys == std::set<std::string>{"CHTE", "CH0B", "CH0C", "CH0I", "CHIE", "CH0J", "ACLC"},
            "supports holds the seven keys");
  } else if (command == "controls") {
    require(hasExactly(line, {"ok", "command", "controls"}) && line["controls"].is_object(), "controls shape");
    static const std::regex kControls(
        R"re(\{("charging-status":"(CHTE|CH0B)",?)?("charging":"(CHTE|CH0B_CH0C)",?)?)re"
        R"re(("adapter-status":"(CHIE|CH0J|CH0I)",?)?("adapter":"(CHIE|CH0J|CH0I)")?\})re");
    require(std::regex_match(line["controls"].dump(), kControls), "operations in order, each with its backends");
  } else if (command == "version") {
    require(hasExactly(line, {"ok", "command", "version"}) && line["version"].is_string(), "version shape");
  } else if (command == "charging-status" || command == "adapter-status") {
    require(hasExactly(line, {"ok", "command", "backend", "status"}), "status shape");
    require(oneOf(line["status"], {"enabled", "disabled"}) ||
                (line["backend"] != "CH0B" && line["status"] == "unknown"),
            "status word");
  } else {
    require(write && hasExactly(line, {"ok", "command", "backend", "value"}), "write success shape");
  }
  if (line.contains("backend")) {
    require(command == "charging-status" ? oneOf(line["backend"], {"CHTE", "CH0B"})
            : command == "adapter-status" ? oneOf(line["backend"], {"CHIE", "CH0J", "CH0I"})
            : command == "charging"      ? oneOf(line["backend"], {"CHTE", "CH0B_CH0C"})
                                         : oneOf(line["backend"], {"CHIE", "CH0J", "CH0I"}),
            "backend of the command");
  }
  require(!write || oneOf(line["value"], {"on", "off"}), "value echoed");
}

}  // namespace fuzz
