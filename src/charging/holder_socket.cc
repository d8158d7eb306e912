#include "charging/holder_socket.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <span>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "smc/platform.h"

namespace {

/// One caller being served: its connection, until its line has come or its
/// time is up.
struct Caller {
  CFFileDescriptorRef descriptor{};  ///< null: the slot is free
  int fd = -1;
  double deadline{};
  std::uint64_t arrival{};  ///< the order of its connection, to close the first
  bool mayChange{};
  std::size_t length{};
  std::array<char, kRequestLimit> bytes{};
};

struct Door {
  CallerHooks hooks{};
  gid_t group{};
  int listener = -1;
  std::uint64_t arrivals{};
  std::array<Caller, kCallersAtOnce> callers{};
};

Door door;

/// Whether the peer of `fd`, as the kernel tells it, is root or a member of
/// the group.
bool mayChangeBand(int fd) {
  uid_t uid{};
  gid_t gid{};
  if (getpeereid(fd, &uid, &gid) != 0) return false;
  if (uid == 0) return true;
  uuid_t user{};
  uuid_t group{};
  int member = 0;
  return mbr_uid_to_uuid(uid, user) == 0 && mbr_gid_to_uuid(door.group, group) == 0 &&
         mbr_check_membership(user, group, &member) == 0 && member != 0;
}

/// Sets what every descriptor of the door needs: it never blocks, and no
/// program that the holder might start would inherit it.
bool prepare(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  return flags != -1 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 && fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

void hangUp(Caller& caller) {
  if (caller.descriptor == nullptr) return;
  // Invalidated, the descriptor leaves the run loop and closes its socket.
  CFFileDescriptorInvalidate(caller.descriptor);
  CFRelease(caller.descriptor);
  caller = Caller{};
}

/// Answers the request that `caller` sent in whole, and hangs up.
void serve(Caller& caller) {
  const auto request = parseRequest(std::string_view(caller.bytes.data(), caller.length));
  if (!request) {
    hangUp(caller);
    return;
  }
  CallerAnswer answer;
  try {
    answer = door.hooks.answer(*request, caller.mayChange, door.hooks.context);
    answer.line += '\n';
  } catch (...) {
    // Memory ran out: this caller goes without its answer, the holder goes on.
    hangUp(caller);
    return;
  }
  const std::string& line = answer.line;
  // A line fits a socket's empty buffer: a caller that does not read loses
  // only its own answer.
  [[maybe_unused]] const ssize_t sent = write(caller.fd, line.data(), line.size());
  hangUp(caller);
  if (answer.changed) door.hooks.changed(door.hooks.context);
}

void onCallerBytes(CFFileDescriptorRef descriptor, CFOptionFlags /*types*/, void* info) {
  Caller& caller = *static_cast<Caller*>(info);
  std::array<char, kRequestLimit> chunk;  // NOLINT(cppcoreguidelines-pro-type-member-init): read fills what is used
  const ssize_t count = read(caller.fd, chunk.data(), chunk.size());
  if (count < 0 && (errno == EAGAIN || errno == EINTR)) {
    CFFileDescriptorEnableCallBacks(descriptor, kCFFileDescriptorReadCallBack);
    return;
  }
  // The end, a failure, or more than any request: hung up without a word.
  const auto size = static_cast<std::size_t>(count);
  if (count <= 0 || size > caller.bytes.size() - caller.length) {
    hangUp(caller);
    return;
  }
  std::copy_n(chunk.begin(), size, caller.bytes.begin() + static_cast<std::ptrdiff_t>(caller.length));
  caller.length += size;
  const auto sent = std::span(caller.bytes).first(caller.length);
  if (std::find(sent.begin(), sent.end(), '\n') != sent.end()) {
    serve(caller);
  } else {
    CFFileDescriptorEnableCallBacks(descriptor, kCFFileDescriptorReadCallBack);
  }
}

/// Hangs up on every caller whose time is up.
void onDeadline(CFRunLoopTimerRef /*timer*/, void* /*info*/) {
  const double now = CFAbsoluteTimeGetCurrent();
  for (Caller& caller : door.callers) {
    if (caller.descriptor != nullptr && caller.deadline <= now) hangUp(caller);
  }
}

/// A free slot, or the one of the caller that came first, hung up.
Caller& slotForCaller() {
  Caller* first = door.callers.data();
  for (Caller& caller : door.callers) {
    if (caller.descriptor == nullptr) return caller;
    if (caller.arrival < first->arrival) first = &caller;
  }
  hangUp(*first);
  return *first;
}

/// Serves the connection `fd` until its line comes or its time is up.
void admit(int fd) {
  if (!prepare(fd)) {
    close(fd);
    return;
  }
  Caller& caller = slotForCaller();
  CFFileDescriptorContext context{.version = {}, .info = &caller, .retain = nullptr, .release = nullptr,
                                  .copyDescription = nullptr};
  CFFileDescriptorRef descriptor = CFFileDescriptorCreate(nullptr, fd, /*closeOnInvalidate=*/1, onCallerBytes,
                                                          &context);
  CFRunLoopSourceRef source = descriptor != nullptr ? CFFileDescriptorCreateRunLoopSource(nullptr, descriptor, 0)
                                                    : nullptr;
  CFRunLoopTimerRef timer = source != nullptr
                                ? CFRunLoopTimerCreate(nullptr, CFAbsoluteTimeGetCurrent() + kCallerSeconds, 0, 0,
                                                       0, onDeadline, nullptr)
                                : nullptr;
  if (timer == nullptr) {
    if (source != nullptr) CFRelease(source);
    if (descriptor != nullptr) CFRelease(descriptor);
    close(fd);
    return;
  }
  caller = Caller{.descriptor = descriptor, .fd = fd, .deadline = CFAbsoluteTimeGetCurrent() + kCallerSeconds,
                  .arrival = ++door.arrivals, .mayChange = mayChangeBand(fd)};
  CFRunLoopAddSource(CFRunLoopGetCurrent(), source, kCFRunLoopDefaultMode);
  CFRelease(source);
  CFRunLoopAddTimer(CFRunLoopGetCurrent(), timer, kCFRunLoopDefaultMode);
  CFRelease(timer);
  CFFileDescriptorEnableCallBacks(descriptor, kCFFileDescriptorReadCallBack);
}

void onConnection(CFFileDescriptorRef listener, CFOptionFlags /*types*/, void* /*info*/) {
  // A burst is taken a few at a time, so that the run loop serves its other
  // sources between them.
  for (unsigned i = 0; i < kCallersAtOnce; ++i) {
    const int fd = accept(door.listener, nullptr, nullptr);
    if (fd == -1) break;
    admit(fd);
  }
  CFFileDescriptorEnableCallBacks(listener, kCFFileDescriptorReadCallBack);
}

}  // namespace

bool listenForCallers(gid_t group, const CallerHooks& hooks) {
  const char* path = holderSocketPath();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path == nullptr || std::strlen(path) >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path, std::strlen(path) + 1);
  door.hooks = hooks;
  door.group = group;
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd == -1) return false;
  // Only the lock's holder comes here: what is at the path is an earlier
  // holder's socket, or nothing.
  unlink(path);
  // Anyone may connect (a socket's writers are its callers); the holder
  // decides who may change the band.
  if (!prepare(fd) || bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||  // NOLINT(*-reinterpret-cast): the socket API's own
      chmod(path, 0666) != 0 || listen(fd, SOMAXCONN) != 0) {
    close(fd);
    return false;
  }
  CFFileDescriptorContext context{.version = {}, .info = nullptr, .retain = nullptr, .release = nullptr,
                                  .copyDescription = nullptr};
  CFFileDescriptorRef listener = CFFileDescriptorCreate(nullptr, fd, /*closeOnInvalidate=*/1, onConnection, &context);
  CFRunLoopSourceRef source = listener != nullptr ? CFFileDescriptorCreateRunLoopSource(nullptr, listener, 0) : nullptr;
  if (source == nullptr) {
    if (listener != nullptr) CFRelease(listener);
    close(fd);
    return false;
  }
  door.listener = fd;
  CFRunLoopAddSource(CFRunLoopGetCurrent(), source, kCFRunLoopDefaultMode);
  CFRelease(source);
  CFFileDescriptorEnableCallBacks(listener, kCFFileDescriptorReadCallBack);
  CFRelease(listener);
  return true;
}

void closeDoor() {
  if (door.listener != -1) unlink(holderSocketPath());
}
