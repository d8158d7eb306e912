#include "charging/band_request.h"

#include <algorithm>

std::optional<BandRequest> parseRequest(std::string_view bytes) {
  if (bytes.size() > kRequestLimit || !bytes.ends_with('\n')) return std::nullopt;
  std::string_view line = bytes.substr(0, bytes.size() - 1);
  if (line == "holder") return BandRequest{.kind = BandRequest::Kind::holder};
  if (!line.starts_with("band ")) return std::nullopt;
  line.remove_prefix(5);
  if (line == "full") return BandRequest{.kind = BandRequest::Kind::full};
  // Found by a loop of its own: a search of libc's would be one more name for
  // the loader to look up at every start of every command.
  const auto space = static_cast<std::size_t>(std::find(line.begin(), line.end(), ' ') - line.begin());
  if (space == line.size()) return std::nullopt;
  // parseBand takes digits only, so a second space, a line feed or any other
  // byte in either word refuses the request.
  const auto band = parseBand(line.substr(0, space), line.substr(space + 1));
  if (!band) return std::nullopt;
  return BandRequest{.kind = BandRequest::Kind::band, .band = *band};
}
