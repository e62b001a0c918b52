#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

/// Little-endian integers of the binary formats. The caller has checked that the bytes are
/// there: these read without bounds checks.

inline std::uint16_t U16(std::string_view b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                      static_cast<unsigned char>(b[at + 1]) << 8);
}

inline std::uint32_t U32(std::string_view b, std::size_t at) {
    return static_cast<std::uint32_t>(U16(b, at)) | static_cast<std::uint32_t>(U16(b, at + 2))
                                                        << 16;
}

inline std::uint64_t U64(std::string_view b, std::size_t at) {
    return static_cast<std::uint64_t>(U32(b, at)) | static_cast<std::uint64_t>(U32(b, at + 4))
                                                        << 32;
}
