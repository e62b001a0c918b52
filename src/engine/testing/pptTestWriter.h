#pragma once

// Test support only: binary PowerPoint records, containers and persist objects built byte by
// byte, and the edits PowerPoint appends when it saves, so that tests can damage them at known
// places.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/testing/cfbTestWriter.h"

namespace ppt_test {

inline std::string U16(std::uint16_t v) {
    return {static_cast<char>(v), static_cast<char>(v >> 8)};
}
inline std::string U32(std::uint32_t v) { return U16(v & 0xFFFF) + U16(v >> 16); }

inline std::string Rec(std::uint16_t type, const std::string& body, std::uint16_t instance = 0,
                       std::uint16_t version = 0) {
    return U16(static_cast<std::uint16_t>(instance << 4 | version)) + U16(type) +
           U32(static_cast<std::uint32_t>(body.size())) + body;
}

inline std::string Box(std::uint16_t type, const std::vector<std::string>& children,
                       std::uint16_t instance = 0) {
    std::string body;
    for (const std::string& child : children) body += child;
    return Rec(type, body, instance, 0xF);
}

inline std::string Chars(std::u16string_view text) {
    std::string bytes;
    for (const char16_t c : text) bytes += U16(c);
    return Rec(0x0FA0, bytes);
}

inline std::string Header(std::uint32_t textType) { return Rec(0x0F9F, U32(textType)); }
inline std::string SlidePersist(std::uint32_t persistId) {
    return Rec(0x03F3, U32(persistId) + U32(0) + U32(0) + U32(256 + persistId) + U32(0));
}

inline std::string Shape(const std::vector<std::string>& parts) { return Box(0xF004, parts); }
inline std::string RefShape(std::uint32_t index) {
    return Shape({Box(0xF00D, {Rec(0x0F9E, U32(index))})});
}
inline std::string OwnTextShape(std::uint32_t textType, const std::string& atom) {
    return Shape({Box(0xF00D, {Header(textType), atom})});
}
/// A group: its own shape first, as in real files.
inline std::string Group(std::vector<std::string> shapes) {
    shapes.insert(shapes.begin(), Shape({Rec(0xF00A, std::string(8, '\0'), 0, 2)}));
    return Box(0xF003, shapes);
}
inline std::string Slide(const std::vector<std::string>& shapes) {
    return Box(0x03EE, {Rec(0x03EF, std::string(24, '\0'), 0, 2),
                        Box(0x040C, {Box(0xF002, {Group(shapes)})})});
}
inline std::string Document(const std::vector<std::string>& slideList,
                            const std::vector<std::string>& more = {}) {
    // The document atom: slides numbered from 1.
    std::vector<std::string> children{
        Rec(0x03E9, std::string(32, '\0') + U16(1) + std::string(6, '\0'), 0, 1),
        Box(0x0FF0, slideList, 0)};
    children.insert(children.end(), more.begin(), more.end());
    return Box(0x03E8, children);
}

constexpr std::uint32_t kTitle = 0, kBody = 1, kNotes = 2, kOther = 4;

/// Persist objects and edits appended to one document stream, as PowerPoint saves.
class TPptBuilder {
  public:
    void Object(std::uint32_t id, const std::string& record) {
        pending_[id] = static_cast<std::uint32_t>(stream_.size());
        stream_ += record;
    }

    /// Writes the persist directory of the objects since the last edit, then the edit record.
    std::uint32_t Edit(std::uint32_t documentId, std::uint32_t previous = 0,
                       std::uint32_t encryptionId = 0) {
        std::string entries;
        for (const auto& [id, offset] : pending_) entries += U32(id | 1u << 20) + U32(offset);
        pending_.clear();
        const std::uint32_t directory = static_cast<std::uint32_t>(stream_.size());
        stream_ += Rec(0x1772, entries);
        const std::uint32_t edit = static_cast<std::uint32_t>(stream_.size());
        stream_ += Rec(0x0FF5, U32(256) + U16(0) + std::string("\0\3", 2) + U32(previous) +
                                   U32(directory) + U32(documentId) + U32(100) + U16(1) + U16(0) +
                                   U32(encryptionId));
        return edit;
    }

    std::string& Stream() { return stream_; }

    std::string File(std::uint32_t currentEdit, std::vector<TTestCfbStream> more = {}) const {
        const std::string user =
            Rec(0x0FF6, U32(0x14) + U32(0xE391C05F) + U32(currentEdit) + U16(0) + U16(0x03F4) +
                            std::string("\3\0", 2) + U16(0) + U32(8));
        more.push_back({"Current User", user});
        more.push_back({"PowerPoint Document", stream_});
        return BuildTestCfb(more).Bytes;
    }

  private:
    std::string stream_;
    std::map<std::uint32_t, std::uint32_t> pending_;
};

/// A one-slide file: the slide list holds the given texts, the slide the given shapes.
inline std::string OneSlideFile(const std::vector<std::string>& listAtoms,
                                const std::vector<std::string>& shapes,
                                const std::vector<std::string>& documentExtras = {}) {
    TPptBuilder ppt;
    std::vector<std::string> list{SlidePersist(2)};
    list.insert(list.end(), listAtoms.begin(), listAtoms.end());
    ppt.Object(1, Document(list, documentExtras));
    ppt.Object(2, Slide(shapes));
    return ppt.File(ppt.Edit(1));
}

}  // namespace ppt_test
