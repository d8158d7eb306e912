#include "response/json_response.h"

#include <string_view>

#include "response/hex.h"

namespace {

/// Appends `text` as a JSON string. Only what JSON demands is escaped: the
/// quotation mark, the reverse solidus and the control characters, so that no
/// raw line break can stand inside the one line. Everything else, the solidus
/// and non-ASCII UTF-8 included, is copied byte for byte.
void appendString(std::string& out, std::string_view text) {
  out += '"';
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      default:
        if (byte < 0x20) {
          out += "\\u00";
          out += hexOf({&byte, 1});
        } else {
          out += c;
        }
    }
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

/// Appends `reports` as the `keys` member: one object per key, in order, each
/// with `known` and then only the members that the report holds.
void appendKeyReports(std::string& out, const KeyReports& reports) {
  appendKey(out, "keys");
  out += '{';
  bool first = true;
  for (const KeyReport& report : reports) {
    if (!first) out += ',';
    first = false;
    appendString(out, report.name);
    out += report.known ? ":{\"known\":true" : ":{\"known\":false";
    appendOptional(out, "type", report.type);
    if (report.size) {
      appendKey(out, "size");
      out += std::to_string(*report.size);
    }
    appendOptional(out, "value", report.value);
    appendOptional(out, "error", report.error);
    out += '}';
  }
  out += '}';
}

}  // namespace

std::string encodeJson(const JsonResponse& response) {
  std::string out;
  out.reserve(160);
  out += response.ok ? "{\"ok\":true" : "{\"ok\":false";
  appendKey(out, "command");
  appendString(out, response.command);
  appendOptional(out, "backend", response.backend);
  appendOptional(out, "status", response.status);
  appendOptional(out, "value", response.value);
  appendOptional(out, "code", response.code);
  appendOptional(out, "error", response.error);
  if (response.supports) {
    appendKey(out, "supports");
    out += '{';
    bool first = true;
    for (const auto& [key, known] : *response.supports) {
      if (!first) out += ',';
      first = false;
      appendString(out, key);
      out += known ? ":true" : ":false";
    }
    out += '}';
  }
  appendOptional(out, "arch", response.arch);
  if (response.keys) appendKeyReports(out, *response.keys);
  appendOptional(out, "version", response.version);
  out += '}';
  return out;
}
