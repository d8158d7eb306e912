// Fuzzes what a caller sends the holder: whatever the bytes, the parser
// takes only one of the three requests, spelled exactly as the helper's own
// commands send it, with a band that hold would take.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "charging/band_request.h"
#include "fuzz/line_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);  // NOLINT(*-reinterpret-cast): bytes as text
  const auto request = parseRequest(bytes);
  if (!request) return 0;
  std::string canonical = "holder\n";
  if (request->kind == BandRequest::Kind::full) canonical = "band full\n";
  if (request->kind == BandRequest::Kind::band) {
    const Band band = request->band;
    fuzz::require(band.lower >= 20 && band.lower < band.upper && band.upper <= 100, "the band is one hold takes");
    canonical = "band " + std::to_string(band.lower) + ' ' + std::to_string(band.upper) + '\n';
  }
  // Leading zeros are the one other spelling that hold takes.
  if (request->kind != BandRequest::Kind::band) fuzz::require(bytes == canonical, "a request is its exact words");
  fuzz::require(bytes.size() <= kRequestLimit && bytes.ends_with('\n') &&
                    bytes.find('\n') == bytes.size() - 1,
                "a request is one short line");
  return 0;
}
