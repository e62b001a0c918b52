#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/base/byteOrder.h"
#include "engine/base/readOptions.h"
#include "engine/cfb/cfbReader.h"

class ThvRc4CryptoApiKey;

/// A record of a binary presentation's "PowerPoint Document" stream. Offsets are offsets in
/// the stream. Persist names the persist object the record lies in (0 for the records of the
/// edit chain, which are never encrypted); an encrypted object's cipher starts at PersistStart.
struct ThvPptRecord {
    std::uint16_t Version = 0;
    std::uint16_t Instance = 0;
    std::uint16_t Type = 0;
    std::uint64_t Offset = 0;  ///< of the header
    std::uint64_t Body = 0;
    std::uint64_t End = 0;
    std::uint32_t Persist = 0;
    std::uint64_t PersistStart = 0;

    std::uint64_t BodySize() const { return End - Body; }
};

/// The bytes of a record's header: version and instance, type, body size.
inline constexpr std::size_t kPptHeaderBytes = 8;

/// The record whose header is at offset; its persist object is left to the caller.
inline ThvPptRecord ParsePptHeader(std::string_view header, std::uint64_t offset) {
    ThvPptRecord record;
    const std::uint16_t versionInstance = U16(header, 0);
    record.Version = versionInstance & 0xF;
    record.Instance = versionInstance >> 4;
    record.Type = U16(header, 2);
    record.Offset = offset;
    record.Body = offset + kPptHeaderBytes;
    record.End = record.Body + U32(header, 4);
    return record;
}

class ThvPptDocument;

/// A record read into memory with everything inside it, for the walks that visit every child
/// (a slide, the slide list). Records inside it are found without reading the file again.
class ThvPptBytes {
  public:
    /// Storage for the bytes where a record has to be read; its memory outlives a move.
    using TStorage = std::vector<char>;

    const ThvPptRecord& Record() const { return record_; }

    /// The body of a record inside this one.
    std::string_view Body(const ThvPptRecord& inner) const {
        return bytes_.substr(static_cast<std::size_t>(inner.Body - record_.Offset),
                             static_cast<std::size_t>(inner.End - inner.Body));
    }

    /// The header of the record at offset inside parent, which lies inside this one; empty when
    /// parent cannot hold it (its header is cut off by the end of parent, or it claims more
    /// than parent has left), and the damage is noted in Damage(). Inline: the walks over a
    /// slide's shapes spend most of their time here.
    std::optional<ThvPptRecord> TryChildAt(std::uint64_t offset, const ThvPptRecord& parent) const;

    /// Calls visit for each record directly inside parent; nesting is followed by the caller,
    /// with an explicit depth. A record that parent cannot hold ends the walk of parent: where
    /// the records after it begin is not known. The loss is noted in Damage(), and everything
    /// outside parent is read as usual.
    template <typename Visit>
    void ForEachChild(const ThvPptRecord& parent, Visit&& visit) const {
        for (std::uint64_t at = parent.Body; at < parent.End;) {
            const std::optional<ThvPptRecord> child = TryChildAt(at, parent);
            if (!child) return;
            visit(*child);
            at = child->End;
        }
    }

    /// What the walks found damaged inside this record and left unread, one phrase each
    /// ("record 0x0FA0 claims 1000 bytes, more than its parent holds at offset ..."), in the
    /// order found.
    const std::vector<std::string>& Damage() const { return damage_; }

    /// The storage of the bytes, for the next Load.
    TStorage Release() && { return std::move(storage_); }

  private:
    friend class ThvPptDocument;
    /// The bytes are view, or storage where view is empty.
    ThvPptBytes(const ThvPptRecord& record, TStorage storage, std::string_view view)
        : record_(record),
          storage_(std::move(storage)),
          bytes_(view.empty() ? std::string_view(storage_.data(), storage_.size()) : view) {}

    ThvPptRecord record_;
    TStorage storage_;        ///< the bytes where they had to be read (or decrypted)
    std::string_view bytes_;  ///< the whole record, its header included, decrypted
    mutable std::vector<std::string> damage_;
};

/// The "PowerPoint Document" stream of a binary presentation as its newest edit sees it: the
/// current-user record names the newest edit, the chain of edits is followed back and the
/// newest persist directory entry of each object wins, so objects replaced by later saves are
/// never read. When the chain is damaged (it loops, leaves the stream, or an edit or persist
/// directory is not where it points), the directory is rebuilt from the edits and persist
/// directories found by scanning the stream, the newest in the stream winning, and the
/// document says so in Salvaged().
///
/// Records are read from the file when asked for, never the whole stream: embedded objects,
/// sounds and pictures cost nothing. An encrypted file is decrypted as it is read, with the
/// format's default password or one of the options' passwords.
///
/// Every failure is an EhvFileError beginning with the quoted file name: damaged (with the
/// structure and the stream offset), password-protected, over a limit (EhvFileRefused). One
/// reader at a time.
class ThvPptDocument {
  public:
    /// cfb and options must outlive the document.
    ThvPptDocument(const ThvCfbReader& cfb, std::string_view fileName,
                   const ThvReadOptions& options);
    ~ThvPptDocument();

    ThvPptDocument(const ThvPptDocument&) = delete;
    ThvPptDocument& operator=(const ThvPptDocument&) = delete;

    /// The persist id of the newest edit's document container.
    std::uint32_t DocumentRef() const { return documentRef_; }

    bool HasPersistObject(std::uint32_t id) const { return persist_.count(id) != 0; }

    /// The persist object of the given id; fails as damaged when it is missing or not a record
    /// of the given type (what names it in the message).
    ThvPptRecord PersistObject(std::uint32_t id, std::uint16_t type, std::string_view what) const;

    /// The header of the record at offset inside parent, read from the file.
    ThvPptRecord ChildAt(std::uint64_t offset, const ThvPptRecord& parent) const;

    /// Calls visit for each record directly inside parent, reading only their headers; fails
    /// as damaged at a record that parent cannot hold.
    template <typename Visit>
    void ForEachChild(const ThvPptRecord& parent, Visit&& visit) const {
        for (std::uint64_t at = parent.Body; at < parent.End;) {
            const ThvPptRecord child = ChildAt(at, parent);
            visit(child);
            at = child.End;
        }
    }

    /// A record whole, read and decrypted; refused above the limits' MaxPartBytes. The bytes
    /// go into storage, whose memory a walk over many records hands back with Release.
    ThvPptBytes Load(const ThvPptRecord& record, ThvPptBytes::TStorage storage = {}) const;

    /// What was rebuilt because it was damaged; empty for a file read as it was saved.
    const std::vector<std::string>& Salvaged() const { return salvaged_; }

    std::string_view FileName() const { return fileName_; }
    const ThvEngineLimits& Limits() const { return options_.Limits; }

    [[noreturn]] void Fail(const std::string& what) const;
    [[noreturn]] void Refuse(const std::string& what) const;
    [[noreturn]] void Damaged(const std::string& what) const;
    [[noreturn]] void DamagedAt(std::uint64_t offset, const std::string& what) const;

    /// What is damaged at offset of the stream, as a phrase: what and the place.
    static std::string AtOffset(std::uint64_t offset, const std::string& what);
    /// A child's header that its parent cannot hold: cut off by the parent's end, or claiming
    /// more than the parent has left.
    static std::string HeaderCutOff(std::uint64_t offset);
    static std::string ChildTooLong(const ThvPptRecord& child);

  private:
    struct TEdit {
        std::uint32_t Previous = 0;
        std::uint32_t Directory = 0;
        std::uint32_t DocumentRef = 0;
        std::uint32_t EncryptionRef = 0;
    };
    using TDirectory = std::vector<std::pair<std::uint32_t, std::uint32_t>>;  // (id, offset)

    void ReadCurrentUser();
    void ReadEditChain();
    std::optional<TEdit> EditAt(std::uint64_t offset, std::string* why) const;
    std::optional<TDirectory> DirectoryAt(std::uint64_t offset, std::string* why) const;
    void Rebuild(const std::string& why);
    void AddDirectory(const TDirectory& directory);
    void OpenEncryption(std::uint32_t headerToken);
    /// Reads bytes of the stream, decrypting those of an encrypted persist object.
    void ReadBytes(std::uint64_t offset, char* out, std::size_t size, std::uint32_t persist,
                   std::uint64_t persistStart) const;
    ThvPptRecord HeaderAt(std::uint64_t offset, std::uint64_t parentEnd, std::uint32_t persist,
                          std::uint64_t persistStart) const;

    const ThvCfbReader& cfb_;
    std::string fileName_;
    const ThvReadOptions& options_;
    std::optional<ThvCfbStream> stream_;
    std::uint64_t size_ = 0;
    std::uint32_t currentEdit_ = 0;
    std::uint32_t headerToken_ = 0;
    std::uint32_t documentRef_ = 0;
    std::uint32_t encryptionRef_ = 0;
    std::unordered_map<std::uint32_t, std::uint32_t> persist_;
    std::unique_ptr<ThvRc4CryptoApiKey> key_;
    std::vector<std::string> salvaged_;
};

inline std::optional<ThvPptRecord> ThvPptBytes::TryChildAt(std::uint64_t offset,
                                                           const ThvPptRecord& parent) const {
    if (offset > parent.End || parent.End - offset < kPptHeaderBytes) {
        damage_.push_back(ThvPptDocument::HeaderCutOff(offset));
        return std::nullopt;
    }
    ThvPptRecord record =
        ParsePptHeader(bytes_.substr(static_cast<std::size_t>(offset - record_.Offset)), offset);
    record.Persist = parent.Persist;
    record.PersistStart = parent.PersistStart;
    if (record.End > parent.End) {
        damage_.push_back(ThvPptDocument::ChildTooLong(record));
        return std::nullopt;
    }
    return record;
}
