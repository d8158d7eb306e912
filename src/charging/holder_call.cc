#include "charging/holder_call.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "response/utf8.h"
#include "smc/platform.h"

namespace {

using Clock = std::chrono::steady_clock;

/// Whether `text` is one whole answer of `command`.
bool isAnswer(std::string_view text, std::string_view command) {
  if (!text.ends_with("}\n") || std::count(text.begin(), text.end(), '\n') != 1 || !isValidUtf8(text)) return false;
  constexpr std::array<std::string_view, 2> kStarts{R"({"ok":true,"command":")", R"({"ok":false,"command":")"};
  return std::ranges::any_of(kStarts, [&](std::string_view start) {
    return text.starts_with(start) && text.substr(start.size()).starts_with(command) &&
           text.substr(start.size() + command.size()).starts_with('"');
  });
}

/// Reads what `fd` sends until it closes, at most kAnswerLimit bytes and
/// until `deadline`; none when it takes longer or sends more.
std::optional<std::string> readAnswer(int fd, Clock::time_point deadline) {
  std::array<char, kAnswerLimit + 1> text{};
  std::array<char, 512> chunk;  // NOLINT(cppcoreguidelines-pro-type-member-init): read fills what is used
  std::size_t length = 0;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd ready{.fd = fd, .events = POLLIN, .revents = 0};
    if (left <= 0 || poll(&ready, 1, static_cast<int>(left)) <= 0) {
      if (left > 0 && errno == EINTR) continue;
      return std::nullopt;
    }
    const ssize_t count = read(fd, chunk.data(), chunk.size());
    if (count == 0) return std::string(text.data(), length);
    if (count < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    const auto size = static_cast<std::size_t>(count);
    if (count < 0 || size > kAnswerLimit - length) return std::nullopt;
    std::copy_n(chunk.begin(), size, text.begin() + static_cast<std::ptrdiff_t>(length));
    length += size;
  }
}

}  // namespace

HolderReply askHolder(std::string_view request, std::string_view command) {
  const char* path = holderSocketPath();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path == nullptr || std::strlen(path) >= sizeof address.sun_path) return {};
  std::memcpy(address.sun_path, path, std::strlen(path) + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd == -1) return {};
  const auto deadline = Clock::now() + std::chrono::seconds(kAnswerSeconds);
  // Nothing waits on the holder but the poll for its answer: a holder whose
  // queue is full refuses the connection at once, and the request fits the
  // socket's empty buffer.
  fcntl(fd, F_SETFL, O_NONBLOCK);
  HolderReply reply;
  const int connected = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);  // NOLINT(*-reinterpret-cast): the socket API's own
  reply.reached = connected == 0 || errno == EAGAIN || errno == EINPROGRESS;
  if (connected == 0) {
    if (write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size())) {
      auto text = readAnswer(fd, deadline);
      if (text && isAnswer(*text, command)) reply.line = std::move(text);
    }
  }
  close(fd);
  return reply;
}
