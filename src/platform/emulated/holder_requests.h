// What a timeline asks of the holder of its own Mac (band, holder): the
// emulated Mac, inside the holder's process, connects to the holder's socket
// as a caller would, writes the request's line, and reads the answer once
// the run loop has served the holder, never waiting for it: the holder
// answers only when that same run loop serves its socket.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/emulated/emulated_time.h"

namespace emu {

/// A request sent and not yet over.
struct OpenAsk {
  TimelineEvent request{};
  int fd = -1;
};

/// The answer that a caller reads: one line of at most 4 KiB, its line
/// feed included.
inline constexpr std::size_t kMostAnswer = 4096;

/// The line of a band or holder event, without its line feed: "band 70 80",
/// "band full" or "holder".
std::string requestText(const TimelineEvent& request);

/// A stream socket connected to the socket `path`, made and connected
/// without blocking, with `line` written to it; -1 when no holder could be
/// reached there.
int sendRequest(const std::string& path, std::string_view line);

/// Reads, without blocking, what the holder has answered on `fd`: one line
/// of text, given without its line feed, or none (nothing yet, more than one
/// line, a control byte, or more than kMostAnswer bytes).
std::optional<std::string> takeAnswer(int fd);

}  // namespace emu
