// What an app asks the running holder over its socket: one short line, read
// by a process that runs as root from a caller that may be anyone, so it is
// parsed strictly and never trusted beyond its words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "charging/hold.h"

/// The longest request, its line feed included.
inline constexpr std::size_t kRequestLimit = 32;

/// What a request asks: to hold a band, to charge once to full, or what the
/// holder holds.
struct BandRequest {
  enum class Kind : std::uint8_t { band, full, holder };
  Kind kind{};
  Band band{};  ///< for `band`
};

/// The request in `bytes`, which must be one whole line: "band LOWER UPPER",
/// "band full" or "holder", single spaces, the numbers as hold takes them,
/// then a line feed and nothing after it. None for anything else, a band that
/// hold would refuse included.
std::optional<BandRequest> parseRequest(std::string_view bytes);

/// The codes and messages of the band commands' failures.
inline constexpr std::string_view kNoHolderCode = "NO_HOLDER";
inline constexpr std::string_view kNoHolderMessage = "no holder is running";
inline constexpr std::string_view kNoAnswerMessage = "the holder did not answer";
inline constexpr std::string_view kNotAllowedCode = "NOT_ALLOWED";
inline constexpr std::string_view kNotAllowedMessage = "only root and members of admin may change the band";
inline constexpr std::string_view kNotAllowedStaffMessage = "only root and members of staff may change the band";
inline constexpr std::string_view kBandNotSavedCode = "BAND_NOT_SAVED";
inline constexpr std::string_view kBandNotSavedMessage = "unable to save the band";
inline constexpr std::string_view kBandArgsMessage =
    "band expects LOWER UPPER or full, 20 <= LOWER < UPPER <= 100";
