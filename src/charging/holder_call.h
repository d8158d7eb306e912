// The app's side of the holder's door: `band` and `holder` ask the running
// holder over its socket and print the line it answers.
#pragma once

#include <optional>
#include <string>
#include <string_view>

/// The longest answer taken, its line feed included.
inline constexpr std::size_t kAnswerLimit = 4096;
/// How long the holder may take to answer, in seconds.
inline constexpr int kAnswerSeconds = 5;

/// What asking the holder gave: its answer, a line of `command` (JSON, its
/// line feed included), or none, and then whether a holder was there.
struct HolderReply {
  std::optional<std::string> line{};
  bool reached{};
};

/// Sends `request` (one line) to the holder listening at the platform's
/// socket and reads its answer, within kAnswerSeconds. An answer counts only
/// as one line of valid UTF-8 that starts as a line of `command` does.
HolderReply askHolder(std::string_view request, std::string_view command);
