#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

/// The file form of the usage store. The file holds UTF-16 LE code units, no byte-order mark,
/// forming one hexadecimal text: the installation number (8 digits), 3 digits per character of
/// the encoded store text, and the 32-bit sum of the code units before it (8 digits). The store
/// text is its lines, each ended by CR LF, passed through a character transformation keyed by
/// the installation number that yields codes below 4096.

/// A store file is a few hundred bytes; anything this large is not one.
inline constexpr std::size_t MaxUsageStoreBytes = 64 * 1024;

/// The file bytes for a store text (UTF-8). The program writes only ASCII names and numbers;
/// a character that does not fit the 12-bit codes would be stored as "?".
std::string EncodeUsageStore(std::string_view storeText, int32_t installId);

/// The store text of a file's bytes, or nothing when they are not a store of this installation:
/// odd length, too short, not hexadecimal, another installation number, a wrong sum.
std::optional<std::string> DecodeUsageStore(std::string_view fileBytes, int32_t installId);

/// A time in nanoseconds since 1970 (UTC) packed as a DOS date-time: date in the high 16 bits,
/// time in the low 16 bits; -1 when it cannot be packed (before 1980 or after 2107).
int32_t PackDosDateTime(int64_t unixNanoseconds);
