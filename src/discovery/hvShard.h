#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/files/paths.h"

/// Which share of a run a file belongs to, when a run is split into "Shards" tasks that each
/// convert the files of share "Shard". The share depends only on the text file a source becomes,
/// so sources that meet at one text file (talk.ppt and talk.pptx, or the same name in two
/// folders without "KeepTargetSubdirs") always land in one task, and a driver can compute it:
///
///   key   = the target path relative to the target folder, without its extension, with "/"
///           between folders (UTF-8 bytes as the file system gives them; on Windows also
///           case-folded, as its file names compare)
///   share = first 8 bytes of SHA-256(key), read as an unsigned big-endian integer, modulo Shards
///
/// The README shows the same in a few lines of Python.

/// The shard key of a target-relative part (TargetRelativePart; see above).
std::string ShardKey(std::string_view relativePart, char delim = PathDelim);

/// First 8 bytes of SHA-256(key), big-endian.
uint64_t ShardHash(std::string_view key);

/// The share of a key among shards (shards above 0): 0 to shards - 1.
int32_t ShardOf(std::string_view key, int32_t shards);
