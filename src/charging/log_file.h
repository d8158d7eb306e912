// The holder's log: the file that launchd opened on its standard output (and
// error), which newsyslog(8) renames when it rotates it. A descriptor keeps
// writing into the renamed file, so after a rotation the holder opens the
// path again, told by SIGHUP.
#pragma once

/// Notes the path of the regular file open on standard output, and whether
/// standard error is the same file; nothing for anything else (a pipe, a
/// terminal), which no rotation renames.
void rememberLog();

/// Opens the noted path again, appending (created 0644 where the rotation
/// left none; a link there is refused, as root must not follow one), onto
/// standard output, and standard error where it was the same file. Where it
/// cannot, the lines go on to the file they went to.
void reopenLog();
