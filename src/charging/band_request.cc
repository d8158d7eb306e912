#include "charging/band_request.h"

std::optional<BandRequest> parseRequest(std::string_view bytes) {
  if (bytes.size() > kRequestLimit || !bytes.ends_with('\n')) return std::nullopt;
  std::string_view line = bytes.substr(0, bytes.size() - 1);
  if (line == "holder") return BandRequest{.kind = BandRequest::Kind::holder};
  if (!line.starts_with("band ")) return std::nullopt;
  line.remove_prefix(5);
  if (line == "full") return BandRequest{.kind = BandRequest::Kind::full};
  const std::size_t space = line.find(' ');
  if (space == std::string_view::npos) return std::nullopt;
  // parseBand takes digits only, so a second space, a line feed or any other
  // byte in either word refuses the request.
  const auto band = parseBand(line.substr(0, space), line.substr(space + 1));
  if (!band) return std::nullopt;
  return BandRequest{.kind = BandRequest::Kind::band, .band = *band};
}
