#include "cli/keys_report.h"

#include <cstdint>
#include <string_view>
#include <utility>

#include "charging/key_access.h"
#include "cli/architecture.h"
#include "cli/capabilities.h"
#include "response/hex.h"
#include "smc/four_char.h"

namespace {

/// How a query or a read failed: a word for each case without numbers, and
/// otherwise the two numbers that a failed write reports, spelt alike.
std::string failureText(const SMCError& error) {
  switch (error.kind) {
    case SMCError::Kind::keyNotFound: return "key-not-found";
    case SMCError::Kind::notPrivileged: return "not-privileged";
    case SMCError::Kind::driverNotFound: return "driver-not-found";
    case SMCError::Kind::failedToOpen: return "failed-to-open";
    case SMCError::Kind::unknown: break;
  }
  return numbersText(error);
}

/// One key: its information, then, when the SMC knows the key, its value,
/// each over a connection of its own. A placeholder is read too: its empty
/// value is what tells it from a control.
KeyReport reportOn(std::string_view key) {
  KeyReport report{.name = std::string(key)};
  const auto info = keyInformationOrError(key);
  if (!info.ok()) {
    report.error = failureText(info.error());
    return report;
  }
  report.known = true;
  report.type = toFourChar(info.value().type);
  report.size = info.value().size;
  report.attributes = hexOf(ByteList{info.value().attributes});
  const auto bytes = readKeyBytesOrError(key);
  if (bytes.ok()) {
    report.value = hexOf(bytes.value());
  } else {
    report.error = failureText(bytes.error());
  }
  return report;
}

}  // namespace

JsonResponse keysRecord(const std::string& command) {
  KeyReports keys;
  keys.reserve(kControlKeys.size() + kGenerationKeys.size());
  // Independent, as in the capabilities report: one key's failure stops nothing.
  for (const std::string_view key : kControlKeys) keys.push_back(reportOn(key));
  for (const std::string_view key : kGenerationKeys) keys.push_back(reportOn(key));
  return {.ok = true, .command = command, .arch = machineHardwareName(), .keys = std::move(keys)};
}
