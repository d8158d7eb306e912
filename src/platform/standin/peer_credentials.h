// Who is at the other end of a local socket, and the groups of a user
// (unistd.h's getpeereid, membership.h), declared as on macOS, for platforms
// that have neither: what a holder needs to tell who asks it to change its
// band. An attached machine gives its own callers and groups
// (attached_machine.h); without one, a peer is the host's process, and no
// one belongs to any group: only root may change a band.
#pragma once

#include <sys/types.h>

extern "C" {

using uuid_t = unsigned char[16];  // NOLINT(*-avoid-c-arrays): the SDK's own type

/// The effective user and group of the process connected to the local
/// socket `s`; -1 (errno set) when they cannot be had.
int getpeereid(int s, uid_t* euid, gid_t* egid);
/// The identifier of the user `uid` or the group `gid`, for
/// mbr_check_membership; 0 on success.
int mbr_uid_to_uuid(uid_t uid, uuid_t uu);
int mbr_gid_to_uuid(gid_t gid, uuid_t uu);
/// Stores in `*ismember` whether `user` belongs to `group`; 0 on success.
int mbr_check_membership(const uuid_t user, const uuid_t group, int* ismember);

}  // extern "C"
