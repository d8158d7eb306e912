// The one record that every run answers with, and its JSON text.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

/// For each SMC key name, whether the key exists. Names are unique; the
/// entries stand in the order in which they were checked.
using SupportMap = std::vector<std::pair<std::string, bool>>;

/// The one response record of a run. Made once, all members together, and
/// never changed afterwards; an absent optional member is left out of the line.
struct JsonResponse {
  bool ok = false;
  std::string command;
  std::optional<std::string> backend;
  std::optional<std::string> status;
  std::optional<std::string> value;
  std::optional<std::string> code;
  std::optional<std::string> error;
  std::optional<SupportMap> supports;
  std::optional<std::string> arch;
  /// The helper's version; only `version` sets it. Initialized here so that
  /// the records of the other commands need not name it.
  std::optional<std::string> version{};
};

/// The record as one compact JSON object, members in their fixed order,
/// without the line feed. Texts are copied as they are: the caller keeps them
/// valid UTF-8.
std::string encodeJson(const JsonResponse& response);
