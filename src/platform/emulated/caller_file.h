// How a caller of the holder tells the emulated Mac which of its accounts it
// runs as: smc-emu, run as a caller, writes a file named by its own process
// id beside the Mac's state file before the helper's command runs, and takes
// it away when the command ends; the holder's emulated Mac reads the file of
// the process id that the kernel gives for its peer. The caller's request
// never says who it is.
#pragma once

#include <cstdint>
#include <string>

#include "platform/emulated/accounts.h"

namespace emu {

/// The file of the process `pid`: `prefix` followed by the id.
std::string callerFilePath(const std::string& prefix, std::int64_t pid);

/// Writes the file of `pid` naming `account` ("user\n"), replacing one that
/// a process of the same id left behind. False, with errno set, when it
/// cannot be written whole.
bool writeCallerFile(const std::string& prefix, std::int64_t pid, Account account);

/// The account that the file of `pid` names. One that is missing, is not a
/// regular file, or says anything but one account's word and a line feed
/// names the administrator, the default caller. Never blocks.
Account readCallerFile(const std::string& prefix, std::int64_t pid);

}  // namespace emu
