#pragma once

// Test support: zip packages and presentation parts built in memory.

#include <zip.h>
#include <zlib.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

/// Builds a zip archive in memory with libzip.
class TZipBuilder {
  public:
    /// Adds an entry; stored entries are not compressed.
    TZipBuilder& Add(std::string name, std::string bytes, bool stored = false) {
        entries_.push_back({std::move(name), std::move(bytes), stored});
        return *this;
    }

    std::string Bytes() const {
        zip_error_t error;
        zip_error_init(&error);
        zip_source_t* source = zip_source_buffer_create(nullptr, 0, 0, &error);
        zip_error_fini(&error);
        if (!source) throw std::runtime_error("zip_source_buffer_create");
        zip_source_keep(source);
        std::unique_ptr<zip_source_t, decltype(&zip_source_free)> owner(source, &zip_source_free);
        zip_t* archive = zip_open_from_source(source, ZIP_TRUNCATE, nullptr);
        if (!archive) throw std::runtime_error("zip_open_from_source");
        for (const auto& entry : entries_) {
            zip_source_t* data =
                zip_source_buffer(archive, entry.Bytes.data(), entry.Bytes.size(), 0);
            zip_int64_t index = zip_file_add(archive, entry.Name.c_str(), data, ZIP_FL_ENC_UTF_8);
            if (index < 0) throw std::runtime_error("zip_file_add " + entry.Name);
            if (entry.Stored) zip_set_file_compression(archive, index, ZIP_CM_STORE, 0);
        }
        if (zip_close(archive) != 0) throw std::runtime_error("zip_close");
        zip_stat_t stat;
        if (zip_source_stat(source, &stat) != 0 || zip_source_open(source) != 0) {
            throw std::runtime_error("zip_source_open");
        }
        std::string bytes(stat.size, '\0');
        zip_int64_t got = zip_source_read(source, bytes.data(), bytes.size());
        zip_source_close(source);
        if (got != static_cast<zip_int64_t>(bytes.size())) throw std::runtime_error("read");
        return bytes;
    }

  private:
    struct TEntry {
        std::string Name;
        std::string Bytes;
        bool Stored;
    };
    std::vector<TEntry> entries_;
};

inline const std::string kRelTypes =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

/// A slide part with the usual prefixes around the given shape-tree content.
inline std::string SlideXml(const std::string& shapes) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
           "<p:sld xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
           "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" "
           "xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\">"
           "<p:cSld><p:spTree><p:nvGrpSpPr><p:cNvPr id=\"1\" name=\"\"/><p:cNvGrpSpPr/><p:nvPr/>"
           "</p:nvGrpSpPr><p:grpSpPr/>" +
           shapes + "</p:spTree></p:cSld></p:sld>";
}

/// A paragraph; level < 0 leaves out the paragraph properties.
inline std::string Para(const std::string& text, int level = -1) {
    std::string properties = level < 0 ? "" : "<a:pPr lvl=\"" + std::to_string(level) + "\"/>";
    return "<a:p>" + properties + "<a:r><a:rPr lang=\"en-US\"/><a:t>" + text + "</a:t></a:r></a:p>";
}

/// A shape; an empty placeholder type makes a plain text box, "body-ph" a placeholder without
/// a type.
inline std::string Shape(const std::string& placeholderType, const std::string& paragraphs) {
    std::string ph = placeholderType.empty()        ? ""
                     : placeholderType == "body-ph" ? "<p:ph idx=\"1\"/>"
                                                    : "<p:ph type=\"" + placeholderType + "\"/>";
    return "<p:sp><p:nvSpPr><p:cNvPr id=\"2\" name=\"s\"/><p:cNvSpPr/><p:nvPr>" + ph +
           "</p:nvPr></p:nvSpPr><p:spPr/><p:txBody><a:bodyPr/><a:lstStyle/>" + paragraphs +
           "</p:txBody></p:sp>";
}

inline std::string Group(const std::string& content) {
    return "<p:grpSp><p:nvGrpSpPr><p:cNvPr id=\"9\" name=\"g\"/><p:cNvGrpSpPr/><p:nvPr/>"
           "</p:nvGrpSpPr><p:grpSpPr/>" +
           content + "</p:grpSp>";
}

/// The parts of a presentation with the given slides, in the slide id list's order; slide
/// parts are named in reverse, so a reader that goes by part names gets the order wrong.
class TPresentationBuilder {
  public:
    TPresentationBuilder& Slide(std::string xml, std::string extraRels = "",
                                std::vector<std::pair<std::string, std::string>> extraParts = {}) {
        slides_.push_back({std::move(xml), std::move(extraRels), std::move(extraParts)});
        return *this;
    }
    TPresentationBuilder& WithMacros() {
        macros_ = true;
        return *this;
    }
    /// A part the presentation part relates to by type (a comment authors list, say).
    TPresentationBuilder& Related(std::string type, std::string name, std::string bytes) {
        related_.push_back({std::move(type), std::move(name), std::move(bytes)});
        return *this;
    }

    TZipBuilder Zip() const {
        TZipBuilder zip;
        zip.Add("[Content_Types].xml",
                "<?xml version=\"1.0\"?><Types "
                "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>");
        zip.Add("_rels/.rels",
                "<?xml version=\"1.0\"?><Relationships "
                "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                "<Relationship Id=\"rId1\" Type=\"" +
                    kRelTypes +
                    "officeDocument\" Target=\"ppt/presentation.xml\"/>"
                    "</Relationships>");
        std::string ids;
        std::string rels;
        for (std::size_t i = 0; i < slides_.size(); ++i) {
            std::string number = std::to_string(slides_.size() - i);
            std::string rid = "rId" + std::to_string(10 + i);
            ids += "<p:sldId id=\"" + std::to_string(256 + i) + "\" r:id=\"" + rid + "\"/>";
            rels += "<Relationship Id=\"" + rid + "\" Type=\"" + kRelTypes +
                    "slide\" Target=\"slides/slide" + number + ".xml\"/>";
            zip.Add("ppt/slides/slide" + number + ".xml", slides_[i].Xml);
            zip.Add("ppt/slides/_rels/slide" + number + ".xml.rels",
                    "<?xml version=\"1.0\"?><Relationships "
                    "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
                        slides_[i].Rels + "</Relationships>");
            for (const auto& [name, bytes] : slides_[i].Parts) zip.Add(name, bytes);
        }
        if (macros_) {
            rels +=
                "<Relationship Id=\"rId99\" "
                "Type=\"http://schemas.microsoft.com/office/2006/relationships/vbaProject\" "
                "Target=\"vbaProject.bin\"/>";
            zip.Add("ppt/vbaProject.bin", "not really a project");
        }
        for (std::size_t i = 0; i < related_.size(); ++i) {
            rels += "<Relationship Id=\"rIdR" + std::to_string(i) + "\" Type=\"" +
                    related_[i].Type + "\" Target=\"" + related_[i].Name.substr(4) + "\"/>";
            zip.Add(related_[i].Name, related_[i].Bytes);
        }
        zip.Add("ppt/presentation.xml",
                "<?xml version=\"1.0\"?><p:presentation "
                "xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\" "
                "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
                "<p:sldIdLst>" +
                    ids + "</p:sldIdLst></p:presentation>");
        zip.Add("ppt/_rels/presentation.xml.rels",
                "<?xml version=\"1.0\"?><Relationships "
                "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
                    rels + "</Relationships>");
        return zip;
    }

    std::string Bytes() const { return Zip().Bytes(); }

  private:
    struct TSlide {
        std::string Xml;
        std::string Rels;
        std::vector<std::pair<std::string, std::string>> Parts;
    };
    struct TRelated {
        std::string Type, Name, Bytes;  ///< Name is the part's, under "ppt/"
    };
    std::vector<TSlide> slides_;
    std::vector<TRelated> related_;
    bool macros_ = false;
};

/// Writes a zip by hand, entry by entry, the way streaming writers do when they ask for it:
/// with a data descriptor after each entry's data instead of sizes in its header. No central
/// directory unless asked for, so readers must find the entries by their local headers.
class TLocalZipWriter {
  public:
    /// Adds an entry, deflated unless stored; with a descriptor the header's sizes and
    /// checksum are zero and follow the data.
    TLocalZipWriter& Add(const std::string& name, const std::string& data, bool descriptor,
                         bool stored = false) {
        std::string packed = stored ? data : Deflate(data);
        const std::uint32_t crc = static_cast<std::uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
        Offsets.push_back(bytes_.size());
        Put32(0x04034B50);
        Put16(20);
        Put16(descriptor ? 8 : 0);
        Put16(stored ? 0 : 8);
        Put32(0);  // time and date
        Put32(descriptor ? 0 : crc);
        Put32(descriptor ? 0 : static_cast<std::uint32_t>(packed.size()));
        Put32(descriptor ? 0 : static_cast<std::uint32_t>(data.size()));
        Put16(static_cast<std::uint16_t>(name.size()));
        Put16(0);
        bytes_ += name;
        DataOffsets.push_back(bytes_.size());
        bytes_ += packed;
        if (descriptor) {
            Put32(0x08074B50);
            Put32(crc);
            Put32(static_cast<std::uint32_t>(packed.size()));
            Put32(static_cast<std::uint32_t>(data.size()));
        }
        return *this;
    }

    /// Bytes written as they are (a stray signature, padding).
    TLocalZipWriter& Raw(const std::string& bytes) {
        bytes_ += bytes;
        return *this;
    }

    std::string Bytes() const { return bytes_; }

    std::vector<std::size_t> Offsets;      ///< of each entry's header
    std::vector<std::size_t> DataOffsets;  ///< of each entry's data

  private:
    static std::string Deflate(const std::string& data) {
        z_stream zs{};
        if (deflateInit2(&zs, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw std::runtime_error("deflateInit2");
        std::string out(deflateBound(&zs, static_cast<uLong>(data.size())), '\0');
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        zs.avail_in = static_cast<uInt>(data.size());
        zs.next_out = reinterpret_cast<Bytef*>(out.data());
        zs.avail_out = static_cast<uInt>(out.size());
        const int status = deflate(&zs, Z_FINISH);
        out.resize(zs.total_out);
        deflateEnd(&zs);
        if (status != Z_STREAM_END) throw std::runtime_error("deflate");
        return out;
    }
    void Put16(std::uint16_t v) {
        bytes_ += static_cast<char>(v);
        bytes_ += static_cast<char>(v >> 8);
    }
    void Put32(std::uint32_t v) {
        Put16(static_cast<std::uint16_t>(v));
        Put16(static_cast<std::uint16_t>(v >> 16));
    }

    std::string bytes_;
};
