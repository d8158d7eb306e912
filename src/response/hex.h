// Bytes as text, the one way that both the keys report and smc-emu write them.
#pragma once

#include <cstdint>
#include <span>
#include <string>

/// `bytes` as lower-case hex digits, two per byte, nothing between them.
std::string hexOf(std::span<const std::uint8_t> bytes);
