#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

/// SHA-256 (FIPS 180-4) of a byte string. Used where a driver outside the program must compute
/// the same value (the shard of a file), so it is the standard function and nothing of ours.
std::array<uint8_t, 32> Sha256(std::string_view bytes);
