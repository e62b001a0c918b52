#include "engine/ooxml/ooxmlPackage.h"

#include <libdeflate.h>
#include <zip.h>

#include <algorithm>

#include "engine/base/byteSource.h"
#include "engine/base/engineError.h"
#include "engine/ooxml/ooxmlNames.h"
#include "engine/ooxml/ooxmlXml.h"
#include "engine/zip/zipSalvage.h"

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

/// A libzip source read as a byte source: what salvage reads when the archive would not open
/// from it. Owns the source.
class ThvZipSourceBytes final : public ThvByteSource {
  public:
    explicit ThvZipSourceBytes(zip_source_t* source) : source_(source) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_source_stat(source_, &stat) == 0 && (stat.valid & ZIP_STAT_SIZE)) size_ = stat.size;
        open_ = zip_source_open(source_) == 0;
    }
    ~ThvZipSourceBytes() override {
        if (open_) zip_source_close(source_);
        zip_source_free(source_);
    }
    ThvZipSourceBytes(const ThvZipSourceBytes&) = delete;
    ThvZipSourceBytes& operator=(const ThvZipSourceBytes&) = delete;

    std::uint64_t Size() const override { return size_; }
    bool ReadAt(std::uint64_t offset, char* out, std::size_t size) const override {
        if (!open_ || offset > size_ || size_ - offset < size) return false;
        if (zip_source_seek(source_, static_cast<zip_int64_t>(offset), SEEK_SET) != 0) return false;
        while (size > 0) {
            const zip_int64_t got = zip_source_read(source_, out, size);
            if (got <= 0) return false;
            out += got;
            size -= static_cast<std::size_t>(got);
        }
        return true;
    }

  private:
    zip_source_t* source_;
    std::uint64_t size_ = 0;
    bool open_ = false;
};

/// What a function source over a byte source keeps: the source and the position read from.
struct TFunctionState {
    const ThvByteSource* Source;
    std::uint64_t Position;
};

/// A byte source read by libzip: the callback of a function source.
zip_int64_t ReadByteSource(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    auto* s = static_cast<TFunctionState*>(state);
    switch (command) {
        case ZIP_SOURCE_OPEN:
            s->Position = 0;
            return 0;
        case ZIP_SOURCE_READ: {
            const std::uint64_t size = s->Source->Size();
            const std::uint64_t piece =
                std::min<std::uint64_t>(length, size > s->Position ? size - s->Position : 0);
            if (piece > 0 && !s->Source->ReadAt(s->Position, static_cast<char*>(data),
                                                static_cast<std::size_t>(piece))) {
                return -1;
            }
            s->Position += piece;
            return static_cast<zip_int64_t>(piece);
        }
        case ZIP_SOURCE_CLOSE:
            return 0;
        case ZIP_SOURCE_STAT: {
            auto* stat = static_cast<zip_stat_t*>(data);
            zip_stat_init(stat);
            stat->size = s->Source->Size();
            stat->valid |= ZIP_STAT_SIZE;
            return sizeof(zip_stat_t);
        }
        case ZIP_SOURCE_ERROR:
            return 2 * sizeof(int);
        case ZIP_SOURCE_FREE: {
            const std::unique_ptr<TFunctionState> owned(s);  // the state the source was made with
            return 0;
        }
        case ZIP_SOURCE_SEEK: {
            const zip_int64_t position = zip_source_seek_compute_offset(
                s->Position, s->Source->Size(), data, length, nullptr);
            if (position < 0) return -1;
            s->Position = static_cast<std::uint64_t>(position);
            return 0;
        }
        case ZIP_SOURCE_TELL:
            return static_cast<zip_int64_t>(s->Position);
        case ZIP_SOURCE_SUPPORTS:
            return ZIP_SOURCE_SUPPORTS_SEEKABLE;
        default:
            return -1;
    }
}

zip_source_t* FunctionSourceOver(const ThvByteSource& bytes, zip_error_t* error) {
    auto state = std::make_unique<TFunctionState>(TFunctionState{&bytes, 0});
    zip_source_t* source = zip_source_function_create(&ReadByteSource, state.get(), error);
    if (source) state.release();  // freed by the source's FREE command
    return source;
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
                                                       std::unique_ptr<ThvByteSource> salvageBytes,
                                                       std::string_view fileName,
                                                       const ThvEngineLimits& limits) {
    std::unique_ptr<ThvOoxmlPackage> package(new ThvOoxmlPackage(fileName, limits));
    ThvZipError error;
    zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, &error.error);
    if (archive) {
        package->archive_.reset(archive);
        package->sourceBytes_ = std::move(salvageBytes);
        package->IndexArchive(archive);
        return package;
    }
    // The archive would not open: the source is still ours.
    const std::string reason = zip_error_strerror(&error.error);
    if (!salvageBytes)
        salvageBytes = std::make_unique<ThvZipSourceBytes>(source);
    else
        zip_source_free(source);
    if (zip_error_code_zip(&error.error) == ZIP_ER_MEMORY) throw std::bad_alloc();
    package->IndexLocalHeaders(std::move(salvageBytes), reason);
    if (package->parts_.empty()) {
        ThrowFileError(fileName, "is damaged: its zip container cannot be read (" + reason + ")");
    }
    return package;
}

std::unique_ptr<ThvOoxmlPackage> ThvOoxmlPackage::FromBuffer(std::string_view bytes,
                                                             std::string_view fileName,
                                                             const ThvEngineLimits& limits) {
    ThvZipError error;
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error.error);
    if (!source)
        ThrowFileError(fileName,
                       "cannot be read: " + std::string(zip_error_strerror(&error.error)));
    return Open(source, std::make_unique<ThvMemorySource>(bytes), fileName, limits);
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
    // Salvage, when it is needed, reads through the same source.
    return Open(source, nullptr, fileName, limits);
}

std::unique_ptr<ThvOoxmlPackage> ThvOoxmlPackage::FromSource(std::unique_ptr<ThvByteSource> bytes,
                                                             std::string_view fileName,
                                                             const ThvEngineLimits& limits) {
    ThvZipError error;
    zip_source_t* source = FunctionSourceOver(*bytes, &error.error);
    if (!source) throw std::bad_alloc();
    return Open(source, std::move(bytes), fileName, limits);
}

ThvOoxmlPackage::ThvOoxmlPackage(std::string_view fileName, const ThvEngineLimits& limits)
    : fileName_(fileName), limits_(limits) {}

void ThvOoxmlPackage::IndexArchive(zip* archive) {
    zip_int64_t count = zip_get_num_entries(archive, 0);
    if (count < 0 || static_cast<std::uint64_t>(count) > limits_.MaxEntries) {
        ThrowFileRefused(fileName_, "is refused: its container holds " + std::to_string(count) +
                                        " parts, more than the limit of " +
                                        std::to_string(limits_.MaxEntries));
    }
    parts_.reserve(static_cast<std::size_t>(count));
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
        if (name) parts_.emplace(PartKey(name), TPart{name, static_cast<std::uint64_t>(i), {}});
    }
}

void ThvOoxmlPackage::IndexLocalHeaders(std::unique_ptr<ThvByteSource> bytes, std::string reason) {
    sourceBytes_ = std::move(bytes);
    local_ = ScanLocalHeaders(*sourceBytes_, fileName_, limits_);
    salvageReason_ = std::move(reason);
    // Entries that stand on their own come before any found inside another entry's data (a
    // package stored in the package), and the last copy of a name before earlier ones (a
    // package added to carries its newer parts at its end).
    for (std::size_t pass = 0; pass < 2; ++pass) {
        for (std::size_t i = local_.size(); i-- > 0;) {
            if (local_[i].Nested != (pass == 1)) continue;
            TPart& part = parts_[PartKey(local_[i].Name)];
            if (part.Name.empty()) part.Name = local_[i].Name;
            part.Local.push_back(i);
        }
    }
}

ThvOoxmlPackage::~ThvOoxmlPackage() = default;

bool ThvOoxmlPackage::HasPart(std::string_view partName) const {
    return parts_.count(PartKey(partName)) > 0;
}

std::vector<std::string> ThvOoxmlPackage::PartNames() const {
    std::vector<std::string> names;
    names.reserve(parts_.size());
    for (const auto& [key, part] : parts_) names.push_back(part.Name);
    return names;
}

void ThvOoxmlPackage::RefusePart(std::string_view partName) const {
    ThrowFileRefused(fileName_, "is refused as a likely zip bomb: its part \"" +
                                    std::string(partName) + "\" inflates to more than " +
                                    MiB(limits_.MaxPartBytes));
}

void ThvOoxmlPackage::RefuseTotal() const {
    ThrowFileRefused(fileName_, "is refused as a likely zip bomb: its parts inflate to more than " +
                                    MiB(limits_.MaxFileBytes));
}

std::string ThvOoxmlPackage::ReadPart(std::string_view partName) {
    auto found = parts_.find(PartKey(partName));
    if (found == parts_.end()) {
        ThrowFileError(fileName_,
                       "is damaged: its part \"" + std::string(partName) + "\" is missing");
    }
    return archive_ ? ReadArchivePart(found->second, partName)
                    : ReadLocalPart(found->second, partName);
}

std::string ThvOoxmlPackage::ReadLocalPart(const TPart& part, std::string_view partName) {
    std::string why;
    const std::uint64_t left = limits_.MaxFileBytes - inflated_;
    const std::size_t allowed =
        static_cast<std::size_t>(std::min<std::uint64_t>(limits_.MaxPartBytes, left));
    for (const std::size_t index : part.Local) {
        ThvLocalRead read = ReadLocalEntry(*sourceBytes_, local_[index], allowed);
        if (read.Bytes) {
            inflated_ += read.Bytes->size();
            return std::move(*read.Bytes);
        }
        if (read.OverLimit) {
            if (left < limits_.MaxPartBytes) RefuseTotal();
            RefusePart(partName);
        }
        if (why.empty()) why = read.Why;
    }
    ThrowFileError(fileName_, "is damaged: its part \"" + std::string(partName) + "\" " + why);
}

std::string ThvOoxmlPackage::ReadArchivePart(const TPart& part, std::string_view partName) {
    const std::uint64_t index = part.Index;
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive_.get(), index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE)) {
        ThrowFileError(fileName_, "is damaged: its part \"" + std::string(partName) +
                                      "\" cannot be read (" + zip_strerror(archive_.get()) + ")");
    }
    if (stat.size > limits_.MaxPartBytes) RefusePart(partName);
    if (inflated_ + stat.size > limits_.MaxFileBytes) RefuseTotal();

    std::string bytes;
    if (InflateWhole(index, stat, partName, bytes)) {
        inflated_ += bytes.size();
        return bytes;
    }
    std::unique_ptr<zip_file_t, ThvZipFileCloser> file(zip_fopen_index(archive_.get(), index, 0));
    if (!file) {
        ThrowFileError(fileName_, "is damaged: its part \"" + std::string(partName) +
                                      "\" cannot be opened (" + zip_strerror(archive_.get()) + ")");
    }
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
