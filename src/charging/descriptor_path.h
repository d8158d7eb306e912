// The path that an open descriptor was reached by, where the system tells
// it: one variant per system, split by file name.
#pragma once

#include <string>

/// The path of the file open on `fd`; empty when the system cannot tell.
std::string descriptorPath(int fd);
