#include "ooxmlPackage.h"

#include <libdeflate.h>
#include <zip.h>

#include <algorithm>

#include "engineError.h"
#include "ooxmlNames.h"
#include "ooxmlXml.h"

namespace {

struct ThvZipFileCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};

/// zip_error_t owns a message buffer once its text was asked for.
struct ThvZipError {
    ThvZipError() { zip_error_init(&error); }
    ~ThvZipError() { zip_error_fini(&error); }
    ThvZipError(const ThvZipError&) = delete;
    ThvZipError& operator=(const ThvZipError&) = delete;
    zip_error_t error;
};

std::string PartKey(std::string_view name) {
    std::string key(name);
    std::replace(key.begin(), key.end(), '\\', '/');
    std::size_t start = key.find_first_not_of('/');
    key.erase(0, start == std::string::npos ? key.size() : start);
    for (char& c : key) {
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
    return key;
}

std::string MiB(std::uint64_t bytes) {
    if (bytes % (1u << 20) != 0) return std::to_string(bytes) + " bytes";
    return std::to_string(bytes >> 20) + " MiB";
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string PercentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            int high = HexValue(text[i + 1]);
            int low = HexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out += char(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

}  // namespace

void ThvOoxmlPackage::ThvZipCloser::operator()(zip* archive) const {
    // Read-only: discard never writes back.
    zip_discard(archive);
}

void ThvOoxmlPackage::ThvDecompressorFree::operator()(libdeflate_decompressor* d) const {
    libdeflate_free_decompressor(d);
}

bool ThvOoxmlPackage::InflateWhole(std::uint64_t index, const struct zip_stat& stat,
                                   std::string_view partName, std::string& bytes) {
    constexpr zip_uint64_t kNeeded =
        ZIP_STAT_COMP_METHOD | ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC | ZIP_STAT_ENCRYPTION_METHOD;
    // Deflate never needs much more room than the bytes it stands for; a stream far larger
    // than its part is no honest part, and the streaming way bounds what it costs.
    const zip_uint64_t maxCompressed = stat.size + stat.size / 1024 + 1024;
    if ((stat.valid & kNeeded) != kNeeded || stat.comp_method != ZIP_CM_DEFLATE ||
        stat.encryption_method != ZIP_EM_NONE || stat.comp_size > maxCompressed) {
        return false;
    }
    std::unique_ptr<zip_file_t, ThvZipFileCloser> file(
        zip_fopen_index(archive_.get(), index, ZIP_FL_COMPRESSED));
    if (!file) return false;
    auto damaged = [&](const std::string& what) {
        ThrowFileError(fileName_, "is damaged: its part \"" + std::string(partName) + "\" " + what);
    };
    std::string compressed(static_cast<std::size_t>(stat.comp_size), '\0');
    std::size_t filled = 0;
    while (filled < compressed.size()) {
        const zip_int64_t got =
            zip_fread(file.get(), compressed.data() + filled, compressed.size() - filled);
        if (got < 0) damaged("cannot be read (" + std::string(zip_file_strerror(file.get())) + ")");
        if (got == 0) damaged("cannot be read (its data ends early)");
        filled += static_cast<std::size_t>(got);
    }
    if (!decompressor_) {
        decompressor_.reset(libdeflate_alloc_decompressor());
        if (!decompressor_) throw std::bad_alloc();
    }
    // Inflated into exactly the stated size: one byte more fails, never grows the buffer.
    bytes.resize(static_cast<std::size_t>(stat.size));
    std::size_t produced = 0;
    const libdeflate_result result =
        libdeflate_deflate_decompress(decompressor_.get(), compressed.data(), compressed.size(),
                                      bytes.data(), bytes.size(), &produced);
    if (result == LIBDEFLATE_INSUFFICIENT_SPACE) damaged("inflates to more than its stated size");
    if (result != LIBDEFLATE_SUCCESS) damaged("cannot be inflated (invalid compressed data)");
    if (produced != bytes.size()) damaged("inflates to less than its stated size");
    if (libdeflate_crc32(0, bytes.data(), bytes.size()) != stat.crc)
        damaged("cannot be inflated (CRC error)");
    return true;
}

std::unique_ptr<ThvOoxmlPackage> ThvOoxmlPackage::Open(zip_source_t* source,
                                                       std::string_view fileName,
                                                       const ThvEngineLimits& limits) {
    ThvZipError error;
    zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, &error.error);
    if (!archive) {
        zip_source_free(source);
        ThrowFileError(fileName, "is damaged: its zip container cannot be read (" +
                                     std::string(zip_error_strerror(&error.error)) + ")");
    }
    return std::unique_ptr<ThvOoxmlPackage>(new ThvOoxmlPackage(archive, fileName, limits));
}

std::unique_ptr<ThvOoxmlPackage> ThvOoxmlPackage::FromBuffer(std::string_view bytes,
                                                             std::string_view fileName,
                                                             const ThvEngineLimits& limits) {
    ThvZipError error;
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error.error);
    if (!source)
        ThrowFileError(fileName,
                       "cannot be read: " + std::string(zip_error_strerror(&error.error)));
    return Open(source, fileName, limits);
}

std::unique_ptr<ThvOoxmlPackage> ThvOoxmlPackage::FromFile(ThvFilePtr file,
                                                           std::string_view fileName,
                                                           const ThvEngineLimits& limits) {
    ThvZipError error;
    zip_source_t* source = zip_source_filep_create(file.get(), 0, -1, &error.error);
    if (!source) {
        ThrowFileError(fileName,
                       "cannot be read: " + std::string(zip_error_strerror(&error.error)));
    }
    file.release();  // the source closes it from now on
    return Open(source, fileName, limits);
}

ThvOoxmlPackage::ThvOoxmlPackage(zip* archive, std::string_view fileName,
                                 const ThvEngineLimits& limits)
    : archive_(archive), fileName_(fileName), limits_(limits) {
    zip_int64_t count = zip_get_num_entries(archive, 0);
    if (count < 0 || static_cast<std::uint64_t>(count) > limits_.MaxEntries) {
        ThrowFileRefused(fileName_, "is refused: its container holds " + std::to_string(count) +
                                        " parts, more than the limit of " +
                                        std::to_string(limits_.MaxEntries));
    }
    entries_.reserve(static_cast<std::size_t>(count));
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
        if (name) entries_.emplace(PartKey(name), static_cast<std::uint64_t>(i));
    }
}

ThvOoxmlPackage::~ThvOoxmlPackage() = default;

bool ThvOoxmlPackage::HasPart(std::string_view partName) const {
    return entries_.count(PartKey(partName)) > 0;
}

std::string ThvOoxmlPackage::ReadPart(std::string_view partName) {
    auto found = entries_.find(PartKey(partName));
    if (found == entries_.end()) {
        ThrowFileError(fileName_,
                       "is damaged: its part \"" + std::string(partName) + "\" is missing");
    }
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive_.get(), found->second, 0, &stat) != 0 ||
        !(stat.valid & ZIP_STAT_SIZE)) {
        ThrowFileError(fileName_, "is damaged: its part \"" + std::string(partName) +
                                      "\" cannot be read (" + zip_strerror(archive_.get()) + ")");
    }
    auto refuseBomb = [&] {
        ThrowFileRefused(fileName_, "is refused as a likely zip bomb: its part \"" +
                                        std::string(partName) + "\" inflates to more than " +
                                        MiB(limits_.MaxPartBytes));
    };
    auto refuseTotal = [&] {
        ThrowFileRefused(fileName_,
                         "is refused as a likely zip bomb: its parts inflate to more than " +
                             MiB(limits_.MaxFileBytes));
    };
    if (stat.size > limits_.MaxPartBytes) refuseBomb();
    if (inflated_ + stat.size > limits_.MaxFileBytes) refuseTotal();

    std::string bytes;
    if (InflateWhole(found->second, stat, partName, bytes)) {
        inflated_ += bytes.size();
        return bytes;
    }
    std::unique_ptr<zip_file_t, ThvZipFileCloser> file(
        zip_fopen_index(archive_.get(), found->second, 0));
    if (!file) {
        ThrowFileError(fileName_, "is damaged: its part \"" + std::string(partName) +
                                      "\" cannot be opened (" + zip_strerror(archive_.get()) + ")");
    }
    // The header's size is only a promise: read in chunks and count what really comes out.
    // The stated size is within the limits (checked above), so the part is inflated straight
    // into a buffer of that size; the header is only a promise, so one byte more must not come.
    bytes.assign(static_cast<std::size_t>(stat.size), '\0');
    auto damaged = [&](const std::string& what) {
        ThrowFileError(fileName_, "is damaged: its part \"" + std::string(partName) + "\" " + what);
    };
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        zip_int64_t got = zip_fread(file.get(), bytes.data() + filled, bytes.size() - filled);
        if (got < 0)
            damaged("cannot be inflated (" + std::string(zip_file_strerror(file.get())) + ")");
        if (got == 0) damaged("inflates to less than its stated size");
        filled += static_cast<std::size_t>(got);
    }
    char extra;
    zip_int64_t more = zip_fread(file.get(), &extra, 1);
    if (more < 0)
        damaged("cannot be inflated (" + std::string(zip_file_strerror(file.get())) + ")");
    if (more > 0) damaged("inflates to more than its stated size");
    inflated_ += bytes.size();
    return bytes;
}

std::vector<ThvRelationship> ThvOoxmlPackage::ReadRelationships(std::string_view sourcePartName) {
    std::string relsName = RelationshipsPartName(sourcePartName);
    std::vector<ThvRelationship> relationships;
    if (!HasPart(relsName)) return relationships;
    ThvXmlPart xml(ReadPart(relsName), fileName_, relsName, limits_);
    for (pugi::xml_node node = xml.Root().first_child(); node; node = node.next_sibling()) {
        if (node.type() != pugi::node_element || LocalName(node.name()) != "Relationship") {
            continue;
        }
        ThvRelationship relationship;
        relationship.Id = node.attribute("Id").value();
        relationship.Type = node.attribute("Type").value();
        std::string_view target = node.attribute("Target").value();
        relationship.External =
            std::string_view(node.attribute("TargetMode").value()) == "External";
        relationship.Target =
            relationship.External ? std::string(target) : ResolvePartName(sourcePartName, target);
        relationships.push_back(std::move(relationship));
    }
    return relationships;
}

std::string ResolvePartName(std::string_view sourcePartName, std::string_view target) {
    std::string decoded = PercentDecode(target.substr(0, target.find('#')));
    std::replace(decoded.begin(), decoded.end(), '\\', '/');
    std::string path;
    if (!decoded.empty() && decoded[0] == '/') {
        path = decoded;
    } else {
        std::size_t slash = sourcePartName.rfind('/');
        std::string folder =
            slash == std::string_view::npos ? "" : std::string(sourcePartName.substr(0, slash + 1));
        path = folder + decoded;
    }
    std::vector<std::string_view> segments;
    std::string_view rest = path;
    while (!rest.empty()) {
        std::size_t slash = rest.find('/');
        std::string_view segment = rest.substr(0, slash);
        rest.remove_prefix(slash == std::string_view::npos ? rest.size() : slash + 1);
        if (segment.empty() || segment == ".") continue;
        if (segment == "..") {
            if (segments.empty()) return {};
            segments.pop_back();
            continue;
        }
        segments.push_back(segment);
    }
    std::string resolved;
    for (std::string_view segment : segments) {
        if (!resolved.empty()) resolved += '/';
        resolved += segment;
    }
    return resolved;
}

std::string RelationshipsPartName(std::string_view sourcePartName) {
    std::size_t slash = sourcePartName.rfind('/');
    std::string_view folder =
        slash == std::string_view::npos ? std::string_view() : sourcePartName.substr(0, slash + 1);
    std::string_view name =
        slash == std::string_view::npos ? sourcePartName : sourcePartName.substr(slash + 1);
    return std::string(folder) + "_rels/" + std::string(name) + ".rels";
}

bool IsRelationshipType(std::string_view type, std::string_view kind) {
    return type.size() > kind.size() && type.ends_with(kind) &&
           type[type.size() - kind.size() - 1] == '/';
}
