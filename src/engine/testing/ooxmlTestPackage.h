#pragma once

// Test support: zip packages and presentation parts built in memory.

#include <zlib.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

/// Deflates bytes as zip entries hold them (raw deflate, no zlib header).
inline std::string ZipDeflate(const std::string& data) {
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

inline std::uint32_t ZipCrc(const std::string& data) {
    return static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

/// Little-endian integers appended to a zip being written.
inline void ZipPut(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
}

/// One entry as a zip writer puts it down: its local header, data and data descriptor.
struct TZipEntryBytes {
    std::string Name;
    std::string Packed;  ///< the data as stored: deflated unless Method is 0
    std::uint32_t Crc = 0;
    std::uint64_t Size = 0;
    std::uint16_t Method = 8;
    bool Descriptor = false;  ///< sizes and checksum after the data, zero in the header
    bool Zip64 = false;       ///< sizes (and the offset, in the directory) in a ZIP64 extra field

    /// Appends the local header, the data and the descriptor; answers where the data begin.
    std::size_t Write(std::string& out) const {
        ZipPut(out, 0x04034B50, 4);
        ZipPut(out, Zip64 ? 45 : 20, 2);
        ZipPut(out, Descriptor ? 8 : 0, 2);
        ZipPut(out, Method, 2);
        ZipPut(out, 0, 4);  // time and date
        ZipPut(out, Descriptor ? 0 : Crc, 4);
        const std::uint64_t wide = 0xFFFFFFFF;
        ZipPut(out, Zip64 ? wide : Descriptor ? 0 : Packed.size(), 4);
        ZipPut(out, Zip64 ? wide : Descriptor ? 0 : Size, 4);
        ZipPut(out, Name.size(), 2);
        ZipPut(out, Zip64 ? 20 : 0, 2);
        out += Name;
        if (Zip64) {
            ZipPut(out, 0x0001, 2);
            ZipPut(out, 16, 2);
            ZipPut(out, Descriptor ? 0 : Size, 8);
            ZipPut(out, Descriptor ? 0 : Packed.size(), 8);
        }
        const std::size_t data = out.size();
        out += Packed;
        if (Descriptor) {
            ZipPut(out, 0x08074B50, 4);
            ZipPut(out, Crc, 4);
            ZipPut(out, Packed.size(), Zip64 ? 8 : 4);
            ZipPut(out, Size, Zip64 ? 8 : 4);
        }
        return data;
    }

    /// Appends the central directory's record of the entry whose header is at offset.
    void WriteRecord(std::string& out, std::uint64_t offset) const {
        const std::uint64_t wide = 0xFFFFFFFF;
        ZipPut(out, 0x02014B50, 4);
        ZipPut(out, 0x0314, 2);  // made by: Unix, 2.0
        ZipPut(out, Zip64 ? 45 : 20, 2);
        ZipPut(out, Descriptor ? 8 : 0, 2);
        ZipPut(out, Method, 2);
        ZipPut(out, 0, 4);
        ZipPut(out, Crc, 4);
        ZipPut(out, Zip64 ? wide : Packed.size(), 4);
        ZipPut(out, Zip64 ? wide : Size, 4);
        ZipPut(out, Name.size(), 2);
        ZipPut(out, Zip64 ? 28 : 0, 2);
        ZipPut(out, 0, 2);  // comment
        ZipPut(out, 0, 2);  // disk
        ZipPut(out, 0, 2);
        ZipPut(out, 0, 4);
        ZipPut(out, Zip64 ? wide : offset, 4);
        out += Name;
        if (Zip64) {
            ZipPut(out, 0x0001, 2);
            ZipPut(out, 24, 2);
            ZipPut(out, Size, 8);
            ZipPut(out, Packed.size(), 8);
            ZipPut(out, offset, 8);
        }
    }
};

/// Builds a zip archive in memory, written by hand from the format's description: the entries,
/// the central directory and its end record (with the ZIP64 end records when asked for).
class TZipBuilder {
  public:
    /// Adds an entry; stored entries are not compressed.
    TZipBuilder& Add(std::string name, const std::string& bytes, bool stored = false) {
        TZipEntryBytes entry;
        entry.Name = std::move(name);
        entry.Packed = stored ? bytes : ZipDeflate(bytes);
        entry.Crc = ZipCrc(bytes);
        entry.Size = bytes.size();
        entry.Method = stored ? 0 : 8;
        entries_.push_back(std::move(entry));
        return *this;
    }
    /// Adds an entry deflated beforehand (one too large to hold inflated), in the place of an
    /// entry of the same name when there is one.
    TZipBuilder& AddDeflated(std::string name, std::string packed, std::uint32_t crc,
                             std::uint64_t size) {
        TZipEntryBytes entry;
        entry.Name = std::move(name);
        entry.Packed = std::move(packed);
        entry.Crc = crc;
        entry.Size = size;
        for (TZipEntryBytes& old : entries_) {
            if (old.Name == entry.Name) {
                old = std::move(entry);
                return *this;
            }
        }
        entries_.push_back(std::move(entry));
        return *this;
    }
    /// Every entry with a data descriptor, as streaming writers write them.
    TZipBuilder& Descriptors() {
        descriptors_ = true;
        return *this;
    }
    /// Every size and offset through the ZIP64 fields and end records, as for a large archive.
    TZipBuilder& Zip64() {
        zip64_ = true;
        return *this;
    }
    /// A comment after the end record.
    TZipBuilder& Comment(std::string comment) {
        comment_ = std::move(comment);
        return *this;
    }

    std::string Bytes() const {
        std::string out;
        std::vector<std::uint64_t> offsets;
        for (TZipEntryBytes entry : entries_) {
            entry.Descriptor = descriptors_;
            entry.Zip64 = zip64_;
            offsets.push_back(out.size());
            entry.Write(out);
        }
        const std::uint64_t directory = out.size();
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            TZipEntryBytes entry = entries_[i];
            entry.Descriptor = descriptors_;
            entry.Zip64 = zip64_;
            entry.WriteRecord(out, offsets[i]);
        }
        const std::uint64_t directorySize = out.size() - directory;
        const std::uint64_t count = entries_.size();
        if (zip64_) {
            const std::uint64_t record = out.size();
            ZipPut(out, 0x06064B50, 4);
            ZipPut(out, 44, 8);
            ZipPut(out, 45, 2);
            ZipPut(out, 45, 2);
            ZipPut(out, 0, 4);
            ZipPut(out, 0, 4);
            ZipPut(out, count, 8);
            ZipPut(out, count, 8);
            ZipPut(out, directorySize, 8);
            ZipPut(out, directory, 8);
            ZipPut(out, 0x07064B50, 4);
            ZipPut(out, 0, 4);
            ZipPut(out, record, 8);
            ZipPut(out, 1, 4);
        }
        ZipPut(out, 0x06054B50, 4);
        ZipPut(out, 0, 4);  // this disk, the directory's disk
        ZipPut(out, zip64_ ? 0xFFFF : count, 2);
        ZipPut(out, zip64_ ? 0xFFFF : count, 2);
        ZipPut(out, zip64_ ? 0xFFFFFFFF : directorySize, 4);
        ZipPut(out, zip64_ ? 0xFFFFFFFF : directory, 4);
        ZipPut(out, comment_.size(), 2);
        out += comment_;
        return out;
    }

  private:
    std::vector<TZipEntryBytes> entries_;
    bool descriptors_ = false;
    bool zip64_ = false;
    std::string comment_;
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
/// directory, so readers must find the entries by their local headers.
class TLocalZipWriter {
  public:
    /// Adds an entry, deflated unless stored; with a descriptor the header's sizes and
    /// checksum are zero and follow the data.
    TLocalZipWriter& Add(const std::string& name, const std::string& data, bool descriptor,
                         bool stored = false) {
        TZipEntryBytes entry;
        entry.Name = name;
        entry.Packed = stored ? data : ZipDeflate(data);
        entry.Crc = ZipCrc(data);
        entry.Size = data.size();
        entry.Method = stored ? 0 : 8;
        entry.Descriptor = descriptor;
        Offsets.push_back(bytes_.size());
        DataOffsets.push_back(entry.Write(bytes_));
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
    std::string bytes_;
};
