// The trace file: opened before the helper runs, then one line appended per
// driver event, each line whole or not at all.
#pragma once

#include <string>
#include <string_view>

/// An open trace.
struct TraceFile {
  int fd = -1;
  std::string path;      ///< where the file is, links followed
  bool created = false;  ///< made by this run, so that a failure can take it back
};

/// Opens the trace `given` for appending, creating it when it does not
/// exist (where a dangling link points). Throws EmuError.
TraceFile openTraceFile(const std::string& given);

/// Appends `line`, in one write when it fits, so that runs that share the
/// file do not split each other's lines. Should only a part fit (a size
/// limit, a full disk), the file is cut back to its length before the line,
/// so that the next line does not continue a torn one. Returns false with
/// errno telling why the line does not fit.
bool appendLine(const TraceFile& trace, std::string_view line);
