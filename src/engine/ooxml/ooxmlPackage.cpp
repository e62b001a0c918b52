#include "engine/ooxml/ooxmlPackage.h"

#include <algorithm>

#include "engine/base/byteSource.h"
#include "engine/base/engineError.h"
#include "engine/ooxml/ooxmlNames.h"
#include "engine/ooxml/ooxmlXml.h"
#include "engine/zip/zipSalvage.h"

namespace {

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

std::unique_ptr<ThvOoxmlPackage> ThvOoxmlPackage::Open(std::unique_ptr<ThvByteSource> bytes,
                                                       std::string_view fileName,
                                                       const ThvEngineLimits& limits) {
    std::unique_ptr<ThvOoxmlPackage> package(new ThvOoxmlPackage(fileName, limits));
    package->bytes_ = std::move(bytes);
    ThvZipDirectory directory = ReadCentralDirectory(*package->bytes_, fileName, limits);
    package->entries_ = std::move(directory.Entries);
    if (directory.Why.empty()) {
        package->IndexDirectory();
        return package;
    }
    package->salvageReason_ = std::move(directory.Why);
    package->IndexLocalHeaders();
    if (package->parts_.empty()) {
        ThrowFileError(fileName, "is damaged: its zip container cannot be read (" +
                                     package->salvageReason_ + ")");
    }
    return package;
}

std::unique_ptr<ThvOoxmlPackage> ThvOoxmlPackage::FromBuffer(std::string_view bytes,
                                                             std::string_view fileName,
                                                             const ThvEngineLimits& limits) {
    return Open(std::make_unique<ThvMemorySource>(bytes), fileName, limits);
}

std::unique_ptr<ThvOoxmlPackage> ThvOoxmlPackage::FromFile(ThvFilePtr file,
                                                           std::string_view fileName,
                                                           const ThvEngineLimits& limits) {
    std::unique_ptr<ThvByteSource> source;
    try {
        source = std::make_unique<ThvFileSource>(std::move(file));
    } catch (const EhvError& error) {
        ThrowFileError(fileName, "cannot be read: " + std::string(error.what()));
    }
    return Open(std::move(source), fileName, limits);
}

std::unique_ptr<ThvOoxmlPackage> ThvOoxmlPackage::FromSource(std::unique_ptr<ThvByteSource> bytes,
                                                             std::string_view fileName,
                                                             const ThvEngineLimits& limits) {
    return Open(std::move(bytes), fileName, limits);
}

ThvOoxmlPackage::ThvOoxmlPackage(std::string_view fileName, const ThvEngineLimits& limits)
    : fileName_(fileName), limits_(limits) {}

void ThvOoxmlPackage::IndexDirectory() {
    parts_.reserve(entries_.size());
    // Of two entries of one name, the first is the part, as a directory lists them.
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        TPart& part = parts_[PartKey(entries_[i].Name)];
        if (!part.Entries.empty()) continue;
        part.Name = entries_[i].Name;
        part.Entries.push_back(i);
    }
}

void ThvOoxmlPackage::IndexLocalHeaders() {
    entries_ = ScanLocalHeaders(*bytes_, fileName_, limits_);
    // Entries that stand on their own come before any found inside another entry's data (a
    // package stored in the package), and the last copy of a name before earlier ones (a
    // package added to carries its newer parts at its end).
    for (std::size_t pass = 0; pass < 2; ++pass) {
        for (std::size_t i = entries_.size(); i-- > 0;) {
            if (entries_[i].Nested != (pass == 1)) continue;
            TPart& part = parts_[PartKey(entries_[i].Name)];
            if (part.Name.empty()) part.Name = entries_[i].Name;
            part.Entries.push_back(i);
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
    std::string why;
    const std::uint64_t left = limits_.MaxFileBytes - inflated_;
    const std::size_t allowed =
        static_cast<std::size_t>(std::min<std::uint64_t>(limits_.MaxPartBytes, left));
    for (const std::size_t index : found->second.Entries) {
        ThvZipRead read = ReadZipEntry(*bytes_, entries_[index], allowed, inflater_);
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
