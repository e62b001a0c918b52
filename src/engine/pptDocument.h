#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "cfbReader.h"
#include "readOptions.h"

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

class ThvPptDocument;

/// Calls visit for each record directly inside parent, whose headers reader's ChildAt gives.
template <typename Reader, typename Visit>
void ForEachPptChild(const Reader& reader, const ThvPptRecord& parent, Visit& visit) {
    for (std::uint64_t at = parent.Body; at < parent.End;) {
        const ThvPptRecord child = reader.ChildAt(at, parent);
        visit(child);
        at = child.End;
    }
}

/// A record read into memory with everything inside it, for the walks that visit every child
/// (a slide, the slide list). Records inside it are found without reading the file again.
class ThvPptBytes {
  public:
    const ThvPptRecord& Record() const { return record_; }

    /// The body of a record inside this one.
    std::string_view Body(const ThvPptRecord& inner) const;

    /// The header of the record at offset inside parent, which lies inside this one; fails as
    /// damaged when it is cut off by the end of its parent.
    ThvPptRecord ChildAt(std::uint64_t offset, const ThvPptRecord& parent) const;

    /// Calls visit for each record directly inside parent; nesting is followed by the caller,
    /// with an explicit depth.
    template <typename Visit>
    void ForEachChild(const ThvPptRecord& parent, Visit&& visit) const {
        ForEachPptChild(*this, parent, visit);
    }

  private:
    friend class ThvPptDocument;
    ThvPptBytes(const ThvPptDocument& document, const ThvPptRecord& record, std::string bytes)
        : document_(&document), record_(record), bytes_(std::move(bytes)) {}

    const ThvPptDocument* document_;
    ThvPptRecord record_;
    std::string bytes_;  ///< the whole record, its header included, decrypted
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

    /// Calls visit for each record directly inside parent, reading only their headers.
    template <typename Visit>
    void ForEachChild(const ThvPptRecord& parent, Visit&& visit) const {
        ForEachPptChild(*this, parent, visit);
    }

    /// A record whole, read and decrypted; refused above the limits' MaxPartBytes.
    ThvPptBytes Load(const ThvPptRecord& record) const;

    /// What was rebuilt because it was damaged; empty for a file read as it was saved.
    const std::vector<std::string>& Salvaged() const { return salvaged_; }

    std::string_view FileName() const { return fileName_; }
    const ThvEngineLimits& Limits() const { return options_.Limits; }

    [[noreturn]] void Fail(const std::string& what) const;
    [[noreturn]] void Refuse(const std::string& what) const;
    [[noreturn]] void Damaged(const std::string& what) const;
    [[noreturn]] void DamagedAt(std::uint64_t offset, const std::string& what) const;

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
