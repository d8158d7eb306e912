// The membership calls of macOS's <membership.h> that the holder uses, as
// the SDK declares them (libSystem exports them).
#pragma once

#include <sys/types.h>
#include <uuid/uuid.h>

#ifdef __cplusplus
extern "C" {
#endif

int mbr_uid_to_uuid(uid_t uid, uuid_t uu);
int mbr_gid_to_uuid(gid_t gid, uuid_t uu);
int mbr_check_membership(const uuid_t user, const uuid_t group, int* ismember);

#ifdef __cplusplus
}
#endif
