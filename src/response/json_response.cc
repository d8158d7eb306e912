#include "response/json_response.h"

#include <algorithm>
#include <concepts>
#include <string_view>
#include <type_traits>

#include "response/hex.h"

namespace {

/// Whether JSON demands an escape for `c`: the quotation mark, the reverse
/// solidus and the control characters, so that no raw line break can stand
/// inside the one line.
bool needsEscape(char c) { return c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20; }

/// Appends the escape of `c`, one that needsEscape.
void appendEscape(std::string& out, char c) {
  switch (c) {
    case '"': out += "\\\""; break;
    case '\\': out += "\\\\"; break;
    case '\n': out += "\\n"; break;
    case '\r': out += "\\r"; break;
    case '\t': out += "\\t"; break;
    case '\b': out += "\\b"; break;
    case '\f': out += "\\f"; break;
    default: {
      const auto byte = static_cast<unsigned char>(c);
      out += "\\u00";
      out += hexOf({&byte, 1});
    }
  }
}

/// Appends `text` as a JSON string. Only what needsEscape is escaped;
/// everything else, the solidus and non-ASCII UTF-8 included, is copied byte
/// for byte, a run at a time.
void appendString(std::string& out, std::string_view text) {
  out += '"';
  for (const auto* at = text.begin(); at != text.end(); ++at) {
    const auto* const plain = std::find_if(at, text.end(), needsEscape);
    out.append(at, plain);
    if (plain == text.end()) break;
    appendEscape(out, *plain);
    at = plain;
  }
  out += '"';
}

void appendKey(std::string& out, std::string_view key) {
  out += ',';
  appendString(out, key);
  out += ':';
}

void appendOptional(std::string& out, std::string_view key,
                    const std::optional<std::string>& text) {
  if (!text) return;
  appendKey(out, key);
  appendString(out, *text);
}

/// A number member as JSON writes an integer, or a boolean as true or false.
template <std::integral Integer>
void appendOptional(std::string& out, std::string_view key, const std::optional<Integer>& number) {
  if (!number) return;
  appendKey(out, key);
  if constexpr (std::is_same_v<Integer, bool>) {
    out += *number ? "true" : "false";
  } else {
    out += std::to_string(*number);
  }
}

/// A number of tenths as a JSON number with one decimal: "-0.5", "36.0".
void appendTenths(std::string& out, std::string_view key, const std::optional<int>& tenths) {
  if (!tenths) return;
  appendKey(out, key);
  // In a long long, the magnitude of any int is one.
  long long magnitude = *tenths;
  if (magnitude < 0) {
    out += '-';
    magnitude = -magnitude;
  }
  out += std::to_string(magnitude / 10);
  out += '.';
  out += static_cast<char>('0' + magnitude % 10);
}

/// The figures' members, in their fixed order.
void appendFigures(std::string& out, const BatteryFigures& figures) {
  if (!figures.layout.empty()) {
    appendKey(out, "layout");
    appendString(out, figures.layout);
  }
  appendOptional(out, "cycleCount", figures.cycleCount);
  appendOptional(out, "designCapacity", figures.designCapacity);
  appendOptional(out, "nominalCapacity", figures.nominalCapacity);
  appendOptional(out, "fullChargeCapacity", figures.fullChargeCapacity);
  appendOptional(out, "nominalOverDesign", figures.nominalOverDesign);
  appendTenths(out, "temperature", figures.temperature);
  appendOptional(out, "voltage", figures.voltage);
  appendOptional(out, "current", figures.current);
  appendOptional(out, "adapterWatts", figures.adapterWatts);
}

/// Appends the member `key` as a nested object made of `entries`, in their
/// order, each written by `appendEntry` (its name, ':' and its value).
template <class Entries, class AppendEntry>
void appendObject(std::string& out, std::string_view key, const Entries& entries,
                  AppendEntry appendEntry) {
  appendKey(out, key);
  out += '{';
  bool first = true;
  for (const auto& entry : entries) {
    if (!first) out += ',';
    first = false;
    appendEntry(entry);
  }
  out += '}';
}

/// Appends the member `key` as an object of texts, in their order.
void appendTexts(std::string& out, std::string_view key,
                 const std::vector<std::pair<std::string, std::string>>& entries) {
  appendObject(out, key, entries, [&](const auto& entry) {
    appendString(out, entry.first);
    out += ':';
    appendString(out, entry.second);
  });
}

/// One key of the `keys` member: `known`, then only the members that the
/// report holds.
void appendKeyReport(std::string& out, const KeyReport& report) {
  appendString(out, report.name);
  out += report.known ? ":{\"known\":true" : ":{\"known\":false";
  appendOptional(out, "type", report.type);
  appendOptional(out, "size", report.size);
  appendOptional(out, "attributes", report.attributes);
  appendOptional(out, "value", report.value);
  appendOptional(out, "error", report.error);
  out += '}';
}

}  // namespace

std::string encodeJson(const JsonResponse& response) {
  std::string out;
  out.reserve(160);
  out += response.ok ? "{\"ok\":true" : "{\"ok\":false";
  appendKey(out, "command");
  appendString(out, response.command);
  appendOptional(out, "event", response.event);
  if (response.holder) {
    appendKey(out, "holder");
    out += "{\"pid\":" + std::to_string(response.holder->pid) + ",\"lower\":" +
           std::to_string(response.holder->lower) + ",\"upper\":" + std::to_string(response.holder->upper);
    if (response.holder->full) out += *response.holder->full ? ",\"full\":true" : ",\"full\":false";
    out += '}';
  }
  appendOptional(out, "level", response.level);
  appendTenths(out, "heat", response.heat);
  appendOptional(out, "source", response.source);
  appendOptional(out, "charging", response.charging);
  if (response.figures) appendFigures(out, *response.figures);
  appendOptional(out, "backend", response.backend);
  appendOptional(out, "status", response.status);
  appendOptional(out, "value", response.value);
  appendOptional(out, "code", response.code);
  appendOptional(out, "error", response.error);
  if (response.supports) {
    appendObject(out, "supports", *response.supports, [&](const auto& entry) {
      appendString(out, entry.first);
      out += entry.second ? ":true" : ":false";
    });
  }
  appendOptional(out, "arch", response.arch);
  if (response.keys) {
    appendObject(out, "keys", *response.keys,
                 [&](const KeyReport& report) { appendKeyReport(out, report); });
  }
  if (response.controls) appendTexts(out, "controls", *response.controls);
  if (response.writes) appendTexts(out, "writes", *response.writes);
  appendOptional(out, "version", response.version);
  if (response.decision) {
    appendKey(out, "decision");
    out += *response.decision;
  }
  out += '}';
  return out;
}
