#include "platform/emulated/holder_requests.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/emulated/caller_file.h"
#include "platform/emulated/emulated_mac.h"
#include "platform/emulated/machine_catalog.h"
#include "platform/standin/peer_credentials.h"
#include "platform/standin/run_loop.h"
#include "smc-emu/trace_line.h"

namespace {

using Word = emu::TimelineEvent::Word;

/// A holder reduced to its socket: each caller accepted as the run loop
/// serves it, its line and peer's user and admin membership noted, `reply`
/// written back, the connection closed. `accepts` false: it listens and
/// never accepts.
struct Listener {
  int fd = -1;
  std::string reply;
  bool accepts = true;
  std::vector<std::string> heard{};
};

int stopWrite = -1;

extern "C" void onStopSignal(int /*signal*/) {
  const char byte = 1;
  static_cast<void>(!write(stopWrite, &byte, 1));
}

void onCaller(CFFileDescriptorRef f, CFOptionFlags /*types*/, void* info) {
  auto* listener = static_cast<Listener*>(info);
  CFFileDescriptorEnableCallBacks(f, kCFFileDescriptorReadCallBack);
  const int caller = accept(listener->fd, nullptr, nullptr);
  ASSERT_GE(caller, 0);
  std::string line(64, '\0');
  line.resize(static_cast<std::size_t>(std::max<ssize_t>(0, read(caller, line.data(), line.size()))));
  uid_t uid = 0;
  gid_t gid = 0;
  ASSERT_EQ(getpeereid(caller, &uid, &gid), 0);
  uuid_t user{};
  uuid_t admin{};
  int member = -1;
  mbr_uid_to_uuid(uid, user);
  mbr_gid_to_uuid(emu::kAdminGroup, admin);
  ASSERT_EQ(mbr_check_membership(user, admin, &member), 0);
  listener->heard.push_back(line + std::to_string(uid) + " " + std::to_string(gid) + (member == 1 ? " admin" : ""));
  ASSERT_EQ(write(caller, listener->reply.data(), listener->reply.size()), static_cast<ssize_t>(listener->reply.size()));
  close(caller);
}

void onStop(CFFileDescriptorRef /*f*/, CFOptionFlags /*types*/, void* /*info*/) { CFRunLoopStop(CFRunLoopGetCurrent()); }

/// Adds a read source on `fd` calling `callout` with `info`.
void watch(int fd, CFFileDescriptorCallBack callout, void* info) {
  CFFileDescriptorContext context{0, info, nullptr, nullptr, nullptr};
  CFFileDescriptorRef f = CFFileDescriptorCreate(nullptr, fd, false, callout, &context);
  CFFileDescriptorEnableCallBacks(f, kCFFileDescriptorReadCallBack);
  CFRunLoopSourceRef source = CFFileDescriptorCreateRunLoopSource(nullptr, f, 0);
  CFRunLoopAddSource(CFRunLoopGetCurrent(), source, kCFRunLoopDefaultMode);
  CFRelease(source);
  CFRelease(f);
}

std::string temporaryFolder() {
  std::string folder = testing::TempDir() + "holder-requests-XXXXXX";
  return mkdtemp(folder.data()) != nullptr ? folder : std::string();
}

}  // namespace

// A timeline's requests, two at one minute, each answered in turn with the
// account of its own caller; and what the trace says of a holder that
// answers anything but one line of text, or nothing, or is not there: none.
TEST(HolderRequests, EachAskedAsItsCallerAndTraced) {
  const std::string answer = R"({"ok":true,"command":"band"})";
  const struct {
    const char* reply;
    bool listens;
    bool accepts;
    std::string answer;  ///< as the trace has it
  } cases[] = {
      {"{\"ok\":true,\"command\":\"band\"}\n", true, true, answer},
      {"", true, true, "none"},
      {"half a line", true, true, "none"},
      {"one\ntwo\n", true, true, "none"},
      {"\x01\x7f\n", true, true, "none"},
      {"", true, false, "none"},
      {"", false, false, "none"},
  };
  const std::string folder = temporaryFolder();
  ASSERT_FALSE(folder.empty());
  int stop[2] = {-1, -1};  // NOLINT(*-avoid-c-arrays): pipe(2)'s own
  ASSERT_EQ(pipe(stop), 0);
  stopWrite = stop[1];
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  ASSERT_EQ(sigaction(SIGTERM, &action, nullptr), 0);
  for (const auto& c : cases) {
    emu::EmulatedMac mac;
    emu::applyState(mac, emu::findBuiltinMachine("apple-silicon")->make());
    mac.holderSocket = folder + "/state.sock";
    Listener listener{.reply = c.reply, .accepts = c.accepts};
    if (c.listens) {
      listener.fd = socket(AF_UNIX, SOCK_STREAM, 0);
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      std::strncpy(address.sun_path, mac.holderSocket.c_str(), sizeof address.sun_path - 1);
      ASSERT_EQ(bind(listener.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);  // NOLINT
      ASSERT_EQ(listen(listener.fd, 8), 0);
      if (c.accepts) watch(listener.fd, onCaller, &listener);
    }
    watch(stop[0], onStop, nullptr);
    mac.startTimeline({{.minute = 1, .word = Word::band, .lower = 70, .upper = 80, .account = emu::Account::user},
                       {.minute = 1, .word = Word::band, .full = true},
                       {.minute = 2, .word = Word::holder},
                       {.minute = 3, .word = Word::stop}});
    platform::attachMachine(&mac);
    CFRunLoopRun();
    platform::attachMachine(nullptr);
    platform::clearRunLoop();
    char byte = 0;
    ASSERT_EQ(read(stop[0], &byte, 1), 1);
    if (listener.fd >= 0) close(listener.fd);
    unlink(mac.holderSocket.c_str());

    std::vector<std::string> trace;
    for (const emu::Event& event : mac.log()) {
      const std::string line = emu::traceLine(event);
      if (line.find(" band") != std::string::npos || line.find(" holder") != std::string::npos ||
          line.find(" answer") != std::string::npos) {
        trace.push_back(line);
      }
    }
    EXPECT_EQ(trace, (std::vector<std::string>{"at 1 band 70 80 as user", "at 1 answer " + c.answer, "at 1 band full",
                                               "at 1 answer " + c.answer, "at 2 holder", "at 2 answer " + c.answer}))
        << c.reply;
    const std::vector<std::string> heard{"band 70 80\n502 20", "band full\n501 20 admin", "holder\n501 20 admin"};
    EXPECT_EQ(listener.heard, c.accepts ? heard : std::vector<std::string>());
  }
  signal(SIGTERM, SIG_DFL);
  close(stop[0]);
  close(stop[1]);
  rmdir(folder.c_str());
}

// Another process is known by its caller file; one missing, garbled or not
// a regular file, or a process the Mac never heard of, is the administrator.
TEST(HolderRequests, OtherCallersByTheirFiles) {
  const std::string folder = temporaryFolder();
  ASSERT_FALSE(folder.empty());
  const std::string prefix = folder + "/state.caller.";
  const struct {
    const char* content;  ///< nullptr: no file; "/": a folder
    std::uint32_t uid;
  } cases[] = {
      {"user\n", 502}, {"root\n", 0}, {"admin\n", 501}, {nullptr, 501}, {"user", 501},
      {"user\n\n", 501}, {"users\n", 501}, {"root\nroot\n", 501}, {"/", 501},
  };
  emu::EmulatedMac mac;
  mac.callerFiles = prefix;
  for (const auto& c : cases) {
    const std::string path = emu::callerFilePath(prefix, 4242);
    if (c.content != nullptr && std::string(c.content) == "/") {
      ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
    } else if (c.content != nullptr) {
      std::ofstream(path) << c.content;
    }
    EXPECT_EQ(mac.peerIdentity(4242)->first, c.uid) << (c.content != nullptr ? c.content : "none");
    static_cast<void>(c.content != nullptr && std::string(c.content) == "/" ? rmdir(path.c_str()) : unlink(path.c_str()));
  }
  // Written as smc-emu writes it, read back; with no caller files at all,
  // everyone is the administrator.
  ASSERT_TRUE(emu::writeCallerFile(prefix, 4243, emu::Account::root));
  EXPECT_EQ(mac.peerIdentity(4243), std::make_pair(0U, 0U));
  mac.callerFiles.clear();
  EXPECT_EQ(mac.peerIdentity(4243), std::make_pair(501U, 20U));
  unlink(emu::callerFilePath(prefix, 4243).c_str());
  // Who belongs where: root everywhere, admin to staff and admin, user to
  // staff alone, anyone else as the host says.
  EXPECT_EQ((std::vector<std::optional<bool>>{mac.isMember(0, 80), mac.isMember(0, 12), mac.isMember(501, 80),
                                              mac.isMember(501, 20), mac.isMember(501, 12), mac.isMember(502, 20),
                                              mac.isMember(502, 80), mac.isMember(503, 20)}),
            (std::vector<std::optional<bool>>{true, true, true, true, false, true, false, std::nullopt}));
  rmdir(folder.c_str());
}
