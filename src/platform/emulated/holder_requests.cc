// The timeline's requests to the holder (holder_requests.h), and the
// emulated Mac's part in them.

#include "platform/emulated/holder_requests.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "platform/emulated/emulated_mac.h"

namespace emu {

namespace {

#ifdef MSG_NOSIGNAL
constexpr int kNoSignal = MSG_NOSIGNAL;
#else
constexpr int kNoSignal = 0;  // where there is none, smc-emu ignores SIGPIPE
#endif

/// Whether `line` is one line of text: no control byte before its line
/// feed, and nothing after it.
bool oneLine(std::string_view line) {
  if (line.size() < 2 || line.back() != '\n') return false;
  line.remove_suffix(1);
  return std::ranges::all_of(line, [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x20U && byte != 0x7FU;
  });
}

}  // namespace

std::string requestText(const TimelineEvent& request) {
  if (request.word != TimelineEvent::Word::band) return "holder";
  if (request.full) return "band full";
  std::string text = "band ";
  text += std::to_string(request.lower);
  text += ' ';
  text += std::to_string(request.upper);
  return text;
}

int sendRequest(const std::string& path, std::string_view line) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) return -1;
  std::memcpy(address.sun_path, path.data(), path.size());
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  // Non-blocking from the start: a holder whose backlog is full would make
  // a blocking connect wait for a holder that runs on this very thread.
  const int flags = fcntl(fd, F_GETFL);
  bool sent = flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 && fcntl(fd, F_SETFD, FD_CLOEXEC) == 0 &&
              connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;  // NOLINT(*-reinterpret-cast): the socket API's own
  // A few bytes into a new connection's empty buffer: written whole or not at all.
  sent = sent && send(fd, line.data(), line.size(), kNoSignal) == static_cast<ssize_t>(line.size());
  if (!sent) {
    close(fd);
    return -1;
  }
  return fd;
}

std::optional<std::string> takeAnswer(int fd) {
  // One byte beyond the most that a caller takes tells a longer answer.
  std::array<char, kMostAnswer + 1> buffer{};
  std::size_t have = 0;
  while (have < buffer.size()) {
    const ssize_t n = read(fd, buffer.data() + have, buffer.size() - have);
    if (n > 0) {
      have += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // The end, or nothing more for now (EAGAIN): what came is all there is.
    break;
  }
  const std::string_view got(buffer.data(), have);
  if (have > kMostAnswer || !oneLine(got)) return std::nullopt;
  return std::string(got.substr(0, have - 1));
}

EmulatedMac::~EmulatedMac() {
  if (asking_) close(asking_->fd);
}

void EmulatedMac::ask(const TimelineEvent& request) {
  asks_.push_back(request);
  if (!asking_) sendNextAsk();
}

void EmulatedMac::sendNextAsk() {
  while (!asks_.empty() && !asking_) {
    const TimelineEvent next = asks_.front();
    asks_.pop_front();
    std::string line = requestText(next);
    line += '\n';
    const int fd = sendRequest(holderSocket, line);
    if (fd < 0) {
      recordClock({.kind = ClockEvent::Kind::reply});
    } else {
      asking_ = OpenAsk{.request = next, .fd = fd};
    }
  }
}

bool EmulatedMac::finishAsking() {
  if (!asking_) return false;
  ClockEvent event{.kind = ClockEvent::Kind::reply, .answer = takeAnswer(asking_->fd)};
  close(asking_->fd);
  asking_.reset();
  recordClock(std::move(event));
  sendNextAsk();
  return asking_.has_value();
}

std::optional<Account> EmulatedMac::askingAccount() const {
  if (!asking_) return std::nullopt;
  return asking_->request.account.value_or(Account::admin);
}

}  // namespace emu
