// The emulated Mac's accounts, and how its holder's peers are told apart.

#include "platform/emulated/accounts.h"

#include <unistd.h>

#include <algorithm>
#include <array>

#include "platform/emulated/caller_file.h"
#include "platform/emulated/emulated_mac.h"

namespace emu {

namespace {

constexpr std::array<std::string_view, 3> kWords{"root", "admin", "user"};
constexpr std::uint32_t kAdminUid = 501;
constexpr std::uint32_t kUserUid = 502;

}  // namespace

std::string_view accountWord(Account account) { return kWords.at(static_cast<std::size_t>(account)); }

std::optional<Account> accountFrom(std::string_view word) {
  const auto* found = std::find(kWords.begin(), kWords.end(), word);
  if (found == kWords.end()) return std::nullopt;
  return static_cast<Account>(found - kWords.begin());
}

std::pair<std::uint32_t, std::uint32_t> identityOf(Account account) {
  switch (account) {
    case Account::root: return {0, 0};
    case Account::user: return {kUserUid, kStaffGroup};
    case Account::admin: break;
  }
  return {kAdminUid, kStaffGroup};
}

std::optional<bool> accountIsMember(std::uint32_t uid, std::uint32_t gid) {
  switch (uid) {
    case 0: return true;
    case kAdminUid: return gid == kStaffGroup || gid == kAdminGroup;
    case kUserUid: return gid == kStaffGroup;
    default: break;
  }
  return std::nullopt;
}

std::optional<std::pair<std::uint32_t, std::uint32_t>> EmulatedMac::peerIdentity(std::int64_t pid) {
  // The holder's own process is the Mac asking for its timeline: as the
  // caller of the request under way, the only one it ever has open.
  if (pid == getpid()) {
    if (const auto asking = askingAccount()) return identityOf(*asking);
  }
  return identityOf(callerFiles.empty() ? Account::admin : readCallerFile(callerFiles, pid));
}

std::optional<bool> EmulatedMac::isMember(std::uint32_t uid, std::uint32_t gid) { return accountIsMember(uid, gid); }

}  // namespace emu
