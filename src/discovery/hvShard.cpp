#include "discovery/hvShard.h"

#include <algorithm>

#include "text/sha256.h"
#include "text/textEncoding.h"

std::string ShardKey(std::string_view relativePart, char delim) {
    std::string key = ChangeFileExt(relativePart, "", delim);
    if (delim == '\\') {
        std::replace(key.begin(), key.end(), '\\', '/');
        key = FoldCase(key);
    }
    return key;
}

uint64_t ShardHash(std::string_view key) {
    const auto digest = Sha256(key);
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value = value << 8 | digest[i];
    return value;
}

int32_t ShardOf(std::string_view key, int32_t shards) {
    if (shards <= 1) return 0;
    return static_cast<int32_t>(ShardHash(key) % static_cast<uint64_t>(shards));
}
