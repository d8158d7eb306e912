#include "fuzz/line_check.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <regex>
#include <string_view>

namespace fuzz {

namespace {

constexpr std::array<std::string_view, 29> kOrder{
    "ok",          "command",         "event",          "holder",          "level",
    "heat",        "source",          "charging",       "layout",          "cycleCount",
    "designCapacity", "nominalCapacity", "fullChargeCapacity", "nominalOverDesign", "temperature",
    "voltage",     "current",         "adapterWatts",   "backend",         "status",
    "value",       "code",            "error",          "supports",        "arch",
    "keys",        "controls",        "writes",         "version"};

/// The members of `line`, in order.
std::vector<std::string> membersOf(const nlohmann::ordered_json& line) {
  std::vector<std::string> names;
  for (const auto& item : line.items()) names.push_back(item.key());
  return names;
}

// The documented lines, as patterns of their compact text (checkedLine has
// made sure that the line is exactly its parsed object's dump).
constexpr std::string_view kNumbers =
    "io=(0|-?[1-9][0-9]{0,9}) smc=(0|[1-9][0-9]?|1[0-9][0-9]|2[0-4][0-9]|25[0-5])";
constexpr std::string_view kArch = R"re("arch":"(arm64|x86_64)")re";
constexpr std::string_view kAdapterKeys = "(CHIE|CH0J|CH0I)";

/// How a key access failed, as the keys report spells it.
std::string accessFailure() {
  return "(key-not-found|not-privileged|driver-not-found|failed-to-open|" + std::string(kNumbers) + ")";
}

/// The failures of a write of `command` through `backends`.
std::string writeFailures(const std::string& command, std::string_view backends) {
  return R"re(\{"ok":false,"command":")re" + command + R"re(",("value":"(on|off)","code":"WRITE_UNAVAILABLE",)re"
         R"re("error":"no supported control key found"|"backend":")re" + std::string(backends) +
         R"re(","value":"(on|off)","code":"(KEY_NOT_FOUND","error":"SMC key not found: (CHTE|CH0B|CH0C|CHIE|CH0J|CH0I))re"
         R"re(|WRITE_FAILED","error":"SMC write failed: )re" + std::string(kNumbers) +
         R"re(|DRIVER_NOT_FOUND","error":"AppleSMC driver not found|SMC_OPEN_FAILED","error":"failed to open AppleSMC)re"
         R"re(|PERMISSION_DENIED","error":"root privileges required)")\})re";
}

/// The lines that `command` may answer with, the keys member left empty.
std::string shapeOf(const std::string& command) {
  const std::string ok = R"re(\{"ok":true,"command":")re" + command + "\",";
  const std::string noStatus = R"re(|\{"ok":false,"command":")re" + command +
                               R"re(","code":"STATUS_UNAVAILABLE","error":"unable to determine charging status"\})re";
  if (command == "capabilities") {
    std::string supports;
    for (const char* key : {"CHTE", "CH0B", "CH0C", "CH0I", "CHIE", "CH0J", "ACLC"}) {
      supports += std::string(supports.empty() ? "" : ",") + "\"" + key + "\":(true|false)";
    }
    return ok + "\"supports\":\\{" + supports + "\\}," + std::string(kArch) + "\\}";
  }
  if (command == "keys") return ok + std::string(kArch) + R"re(,"keys":\{\}\})re";
  if (command == "version") return ok + R"re("version":"[0-9]+\.[0-9]+\.[0-9]+"\})re";
  if (command == "controls") {
    return ok + R"re("controls":\{("charging-status":"(CHTE|CH0B)",?)?("charging":"(CHTE|CH0B_CH0C)",?)?)re"
                R"re(("adapter-status":"(CHIE|CH0J|CH0I)",?)?("adapter":"(CHIE|CH0J|CH0I)")?\}\})re";
  }
  const std::string noBattery = R"re("code":"BATTERY_UNAVAILABLE","error":"unable to read the battery")re";
  const std::string level = R"re("level":(100|[1-9]?[0-9]))re";
  if (command == "battery") {
    return ok + level + R"re(,"source":"(adapter|battery)","charging":(true|false)\}|\{"ok":false,"command":"battery",)re" +
           noBattery + "\\}";
  }
  if (command == "hold") {
    // Each control at most once, charging off before the adapter and on after it.
    const std::string writes =
        R"re("writes":\{(("charging":"off",?)?("adapter":"(on|off)",?)?("charging":"on")?)\})re";
    // The heat that paused charging, where it did.
    const std::string heat = R"re((,"heat":[0-9]+\.[0-9])?)re";
    return ok + level + heat + "," + writes + R"re(\}|\{"ok":false,"command":"hold",()re" + noBattery +
           R"re(,"writes":\{("adapter":"on")?\}|)re" + level + heat + R"re(,("code":"WRITE_UNAVAILABLE","error":"no supported control key found")re"
           R"re(|"code":"(KEY_NOT_FOUND","error":"SMC key not found: (CHTE|CH0B|CH0C|CHIE|CH0J|CH0I))re"
           R"re(|WRITE_FAILED","error":"SMC write failed: )re" + std::string(kNumbers) +
           R"re(|DRIVER_NOT_FOUND","error":"AppleSMC driver not found|SMC_OPEN_FAILED","error":"failed to open AppleSMC)re"
           R"re(|PERMISSION_DENIED","error":"root privileges required)re"
           R"re(|STATUS_UNKNOWN","error":"a control holds a value the helper did not write)re"
           R"re(|READ_FAILED","error":"SMC read failed: )re" + std::string(kNumbers) + R"re()"),)re" + writes +
           R"re()\})re";
  }
  if (command == "charging-status") {
    return ok + R"re("backend":"(CHTE","status":"(enabled|disabled|unknown)|CH0B","status":"(enabled|disabled))"\})re" +
           noStatus;
  }
  if (command == "adapter-status") {
    return ok + "\"backend\":\"" + std::string(kAdapterKeys) + R"re(","status":"(enabled|disabled|unknown)"\})re" +
           noStatus;
  }
  const std::string_view backends = command == "charging" ? "(CHTE|CH0B_CH0C)" : kAdapterKeys;
  return ok + "\"backend\":\"" + std::string(backends) + R"re(","value":"(on|off)"\}|)re" +
         writeFailures(command, backends);
}

/// Each of the twelve keys in order: known with type (four characters),
/// size, attribute byte and a value (at most 32 bytes, lower-case hex) or a
/// failure, or unknown with a failure. That the value is the key's own is
/// the driver fuzzer's check.
void requireKeyReports(const nlohmann::ordered_json& keys) {
  const std::vector<std::string> twelve{"CHTE", "CH0B", "CH0C", "CH0I", "CHIE", "CH0J",
                                        "ACLC", "CHLS", "CHIB", "bfD0", "bfE0", "bfF0"};
  require(keys.is_object() && membersOf(keys) == twelve, "keys holds the twelve keys in order");
  static const std::regex kReport(
      R"re(\{"known":(false,"error":")re" + accessFailure() +
      R"re("|true,"type":"(\\u00[0-9a-f]{2}|\\.|[^"\\]){4,8}","size":[0-9]+,"attributes":"[0-9a-f]{2}",)re"
      R"re(("value":"([0-9a-f]{2}){0,32}"|"error":")re" + accessFailure() + "\"))\\}");
  for (const auto& item : keys.items()) {
    require(std::regex_match(item.value().dump(), kReport), "a key's report");
  }
}

}  // namespace

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
  nlohmann::ordered_json rest = line;
  if (command == "keys" && line.contains("keys")) {
    requireKeyReports(line["keys"]);
    rest["keys"] = nlohmann::ordered_json::object();
  }
  static std::map<std::string, std::regex> shapes;  // compiled once for each command
  auto shape = shapes.find(command);
  if (shape == shapes.end()) shape = shapes.emplace(command, std::regex(shapeOf(command))).first;
  const std::string text = rest.dump();
  if (!std::regex_match(text, shape->second)) std::fprintf(stderr, "line: %s\n", text.c_str());
  require(std::regex_match(text, shape->second), "a line that the command may answer with");
}

}  // namespace fuzz
