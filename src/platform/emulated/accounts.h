// The accounts of the emulated Mac, as its holder sees its callers: root, an
// administrator and a user who is not one, with the ids and groups that a Mac
// gives its first accounts. A caller process is known as one of them by its
// process id (caller_file.h); any process it does not know is the
// administrator, the default caller.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

namespace emu {

enum class Account : std::uint8_t { root, admin, user };

/// The group of a Mac's administrators, and that of every local user.
inline constexpr std::uint32_t kAdminGroup = 80;
inline constexpr std::uint32_t kStaffGroup = 20;

/// "root", "admin" or "user".
std::string_view accountWord(Account account);

/// The account that `word` names, or none.
std::optional<Account> accountFrom(std::string_view word);

/// The account's user and group ids: root 0 and 0, admin 501 and 20, user
/// 502 and 20.
std::pair<std::uint32_t, std::uint32_t> identityOf(Account account);

/// Whether the user `uid` belongs to the group `gid`: root to every group,
/// admin to staff and admin, user to staff alone; none for a user that is not
/// one of the accounts.
std::optional<bool> accountIsMember(std::uint32_t uid, std::uint32_t gid);

}  // namespace emu
