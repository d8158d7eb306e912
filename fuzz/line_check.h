// What every line of the helper must be, checked from the outside.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "response/print_json.h"

namespace fuzz {

/// Stops the fuzzer with `what` when `ok` is false: a finding.
void require(bool ok, const char* what);

/// Checks that `line` is exactly one line of valid UTF-8 JSON ending in one
/// line feed, that its members stand in the fixed order, and that `ok`
/// agrees with the exit status; returns the parsed object.
nlohmann::ordered_json checkedLine(const OutputLine& line);

/// Checks that `line` has one of the shapes that `command` can answer with,
/// each member holding one of its documented values.
void requireDocumentedShape(const nlohmann::ordered_json& line, const std::string& command);

}  // namespace fuzz
