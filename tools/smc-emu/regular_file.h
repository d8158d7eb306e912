// The files that smc-emu reads and writes, the state and the trace: regular
// files, or names that do not exist yet, reached through symbolic links.
// Anything else (a FIFO, a device, a folder) is refused, without blocking.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

/// A pseudo error number, beside errno's: the file is not a regular file.
inline constexpr int kNotRegular = -1;

/// "cannot WHAT PATH: REASON", REASON told by `error` (an errno value or
/// kNotRegular).
std::string fileFailure(const std::string& what, const std::string& path, int error);

/// `path` with symbolic links followed to the name where they end, which need
/// not exist: a dangling link names the file that a save makes. A loop is
/// left for the open to report.
std::string linkTarget(const std::string& path);

/// The folder part of `path`, with its final '/'; empty for a bare name.
std::string folderOf(const std::string& path);

/// Opens `path` as open(2) does with `flags` (and mode 0666 less the umask
/// for a new file), adding O_NONBLOCK so that a FIFO cannot block the open
/// and O_CLOEXEC, and checks that it is a regular file. Returns the
/// descriptor, or -1 with the reason in `error` (kNotRegular for anything but
/// a regular file).
int openRegular(const std::string& path, int flags, int& error);

/// Whether the open file `fd` and the file that `path` names are one file.
bool isSameFile(int fd, const std::string& path);

/// The whole of the regular file `path`, which a message calls `what` ("state
/// file"), or none when there is no such file. Throws EmuError when it cannot
/// be read or holds more than `most` bytes.
std::optional<std::string> readRegularFile(const std::string& path, const std::string& what, std::size_t most);
