#include "platform/emulated/holder_requests.h"

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
#include "platform/standin/peer_credentials.h"
#include "platform/standin/run_loop.h"
#include "smc-emu/trace_line.h"

namespace {

/// A holder reduced to its socket: each caller accepted as the run loop
/// serves it, its line and its peer's user noted, `reply` written back.
struct Listener {
  int fd = -1;
  std::string reply{};
  std::vector<std::string> heard{};
};

int stopWrite = -1;

extern "C" void onStopSignal(int /*signal*/) { static_cast<void>(!write(stopWrite, "", 1)); }

void onCaller(CFFileDescriptorRef f, CFOptionFlags /*types*/, void* info) {
  auto* listener = static_cast<Listener*>(info);
  CFFileDescriptorEnableCallBacks(f, kCFFileDescriptorReadCallBack);
  const int caller = accept(listener->fd, nullptr, nullptr);
  std::string line(64, '\0');
  line.resize(static_cast<std::size_t>(std::max<ssize_t>(0, read(caller, line.data(), line.size()))));
  uid_t uid = 0;
  gid_t gid = 0;
  EXPECT_EQ(getpeereid(caller, &uid, &gid), 0);
  listener->heard.push_back(line + std::to_string(uid));
  static_cast<void>(!write(caller, listener->reply.data(), listener->reply.size()));
  close(caller);
}

void onStop(CFFileDescriptorRef /*f*/, CFOptionFlags /*types*/, void* /*info*/) { CFRunLoopStop(CFRunLoopGetCurrent()); }

void watch(int fd, CFFileDescriptorCallBack callout, void* info) {
  CFFileDescriptorContext context{0, info, nullptr, nullptr, nullptr};
  CFFileDescriptorRef f = CFFileDescriptorCreate(nullptr, fd, false, callout, &context);
  CFFileDescriptorEnableCallBacks(f, kCFFileDescriptorReadCallBack);
  CFRunLoopSourceRef source = CFFileDescriptorCreateRunLoopSource(nullptr, f, 0);
  CFRunLoopAddSource(CFRunLoopGetCurrent(), source, kCFRunLoopDefaultMode);
  CFRelease(source);
  CFRelease(f);
}

}  // namespace

// A timeline's requests, two at one minute, each sent as its own caller and
// answered in turn; a holder that answers anything but one line of text,
// none before time moves on (it never accepts), or is not there: "none".
TEST(HolderRequests, EachAskedAsItsCallerAndTraced) {
  using Word = emu::TimelineEvent::Word;
  const struct {
    const char* reply;  ///< nullptr: nothing listens; "-": it never accepts
    std::string answer;
  } cases[] = {
      {"{\"ok\":true}\n", "{\"ok\":true}"}, {"", "none"}, {"half a line", "none"}, {"one\ntwo\n", "none"},
      {"\x01\n", "none"}, {"-", "none"}, {nullptr, "none"},
  };
  std::string folder = testing::TempDir() + "holder-requests-XXXXXX";
  ASSERT_NE(mkdtemp(folder.data()), nullptr);
  int stop[2] = {-1, -1};  // NOLINT(*-avoid-c-arrays): pipe(2)'s own
  ASSERT_EQ(pipe(stop), 0);
  stopWrite = stop[1];
  ASSERT_NE(signal(SIGTERM, onStopSignal), SIG_ERR);
  for (const auto& c : cases) {
    emu::EmulatedMac mac;
    mac.holderSocket = folder + "/state.sock";
    Listener listener{.reply = c.reply != nullptr ? c.reply : ""};
    if (c.reply != nullptr) {
      listener.fd = socket(AF_UNIX, SOCK_STREAM, 0);
      sockaddr_un address{.sun_family = AF_UNIX, .sun_path = {}};
      std::strncpy(address.sun_path, mac.holderSocket.c_str(), sizeof address.sun_path - 1);
      ASSERT_EQ(bind(listener.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);  // NOLINT
      ASSERT_EQ(listen(listener.fd, 8), 0);
      if (listener.reply != "-") watch(listener.fd, onCaller, &listener);
    }
    watch(stop[0], onStop, nullptr);
    mac.startTimeline({{.minute = 1, .word = Word::band, .lower = 70, .upper = 80, .account = emu::Account::user},
                       {.minute = 1, .word = Word::band, .full = true, .account = emu::Account::root},
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
      if (event.clock.kind != emu::ClockEvent::Kind::level) trace.push_back(emu::traceLine(event));
    }
    const std::string answer = "answer " + c.answer;
    EXPECT_EQ(trace, (std::vector<std::string>{"at 1 band 70 80 as user", "at 1 " + answer, "at 1 band full as root",
                                               "at 1 " + answer, "at 2 holder", "at 2 " + answer, "at 3 stop"}))
        << c.reply;
    const std::vector<std::string> heard{"band 70 80\n502", "band full\n0", "holder\n501"};
    EXPECT_EQ(listener.heard, c.reply == nullptr || listener.reply == "-" ? std::vector<std::string>() : heard);
  }
  signal(SIGTERM, SIG_DFL);
  close(stop[0]);
  close(stop[1]);

  // Another process is known by its caller file; one missing, garbled or not
  // a regular file names the administrator, as does any process when the Mac
  // has no caller files.
  emu::EmulatedMac mac;
  mac.callerFiles = folder + "/state.caller.";
  const std::string path = emu::callerFilePath(mac.callerFiles, 42);
  for (const auto& [content, uid] : std::vector<std::pair<const char*, std::uint32_t>>{
           {"user\n", 502}, {"root\n", 0}, {nullptr, 501}, {"user", 501}, {"root\nroot\n", 501}, {"/", 501}}) {
    const bool isFolder = content != nullptr && std::string(content) == "/";
    if (isFolder) {
      ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
    } else if (content != nullptr) {
      std::ofstream(path) << content;
    }
    EXPECT_EQ(mac.peerIdentity(42)->first, uid) << (content != nullptr ? content : "none");
    static_cast<void>(isFolder ? rmdir(path.c_str()) : unlink(path.c_str()));
  }
  ASSERT_TRUE(emu::writeCallerFile(mac.callerFiles, 42, emu::Account::user));
  EXPECT_EQ(mac.peerIdentity(42), std::make_pair(502U, 20U));
  mac.callerFiles.clear();
  EXPECT_EQ(mac.peerIdentity(42), std::make_pair(501U, 20U));
  unlink(path.c_str());
  rmdir(folder.c_str());
}
