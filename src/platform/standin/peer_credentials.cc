// The peer-credential and membership stand-in. An identifier is the id
// itself, marked as a user's or a group's, so that a membership check cannot
// mistake one for the other.

#include "platform/standin/peer_credentials.h"

#include <sys/socket.h>
#ifndef SO_PEERCRED
#include <sys/ucred.h>
#include <sys/un.h>
#endif

#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/attached_machine.h"

namespace {

constexpr unsigned char kUserMark = 'U';
constexpr unsigned char kGroupMark = 'G';

void identify(unsigned char mark, std::uint32_t id, uuid_t uu) {
  std::memset(uu, 0, sizeof(uuid_t));
  uu[0] = mark;
  std::memcpy(uu + 1, &id, sizeof id);
}

/// The id that `uu` identifies when it carries `mark`.
std::optional<std::uint32_t> idOf(const uuid_t uu, unsigned char mark) {
  if (uu[0] != mark) return std::nullopt;
  std::uint32_t id{};
  std::memcpy(&id, uu + 1, sizeof id);
  return id;
}

}  // namespace

extern "C" {

int getpeereid(int s, uid_t* euid, gid_t* egid) {
  pid_t pid{};
#ifdef SO_PEERCRED
  ucred peer{};
  socklen_t size = sizeof peer;
  if (getsockopt(s, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) return -1;
  *euid = peer.uid;
  *egid = peer.gid;
  pid = peer.pid;
#else
  // smc-emu's build on a Mac: the kernel's own calls, by their own names.
  xucred peer{};
  socklen_t size = sizeof peer;
  socklen_t pidSize = sizeof pid;
  if (getsockopt(s, SOL_LOCAL, LOCAL_PEERCRED, &peer, &size) != 0 ||
      getsockopt(s, SOL_LOCAL, LOCAL_PEERPID, &pid, &pidSize) != 0) {
    return -1;
  }
  *euid = peer.cr_uid;
  *egid = peer.cr_ngroups > 0 ? peer.cr_groups[0] : gid_t{};
#endif
  if (platform::Machine* machine = platform::attachedMachine(); machine != nullptr) {
    if (const auto identity = machine->peerIdentity(pid)) {
      *euid = identity->first;
      *egid = identity->second;
    }
  }
  return 0;
}

int mbr_uid_to_uuid(uid_t uid, uuid_t uu) {
  identify(kUserMark, uid, uu);
  return 0;
}

int mbr_gid_to_uuid(gid_t gid, uuid_t uu) {
  identify(kGroupMark, gid, uu);
  return 0;
}

int mbr_check_membership(const uuid_t user, const uuid_t group, int* ismember) {
  const auto uid = idOf(user, kUserMark);
  const auto gid = idOf(group, kGroupMark);
  if (!uid || !gid) return EINVAL;
  platform::Machine* machine = platform::attachedMachine();
  const auto answer = machine != nullptr ? machine->isMember(*uid, *gid) : std::nullopt;
  *ismember = answer.value_or(false) ? 1 : 0;
  return 0;
}

}  // extern "C"
