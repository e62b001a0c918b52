#include "engine/ppt/pptDocument.h"

#include <algorithm>
#include <map>
#include <unordered_set>

#include "engine/base/byteOrder.h"
#include "engine/base/engineError.h"
#include "engine/crypto/cryptoLibrary.h"
#include "engine/crypto/pptCrypto.h"
#include "text/textEncoding.h"

namespace {

constexpr std::uint16_t kDocumentContainer = 0x03E8;
constexpr std::uint16_t kUserEditAtom = 0x0FF5;
constexpr std::uint16_t kCurrentUserAtom = 0x0FF6;
constexpr std::uint16_t kPersistDirectoryAtom = 0x1772;
constexpr std::uint16_t kCryptSession10Container = 0x2F14;
constexpr std::uint32_t kEncryptedHeaderToken = 0xF3D1C4DF;
constexpr std::size_t kMinEditBytes = 0x1C;
constexpr std::size_t kMaxEditBytes = 0x20;

/// The password PowerPoint itself uses when a file is encrypted without one the user gave.
constexpr std::string_view kDefaultPassword = "/01Hannes Ruescher/01";

std::string Hex(std::uint32_t value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (int shift = 12; shift >= 0; shift -= 4) text += digits[(value >> shift) & 0xF];
    return "0x" + text;
}

}  // namespace

ThvPptDocument::ThvPptDocument(const ThvCfbReader& cfb, std::string_view fileName,
                               const ThvReadOptions& options)
    : cfb_(cfb), fileName_(fileName), options_(options) {
    const ThvCfbEntry* document = cfb.Find("PowerPoint Document");
    if (document == nullptr) {
        Fail(
            "is not a PowerPoint presentation: its compound file has no \"PowerPoint "
            "Document\" stream");
    }
    if (cfb.Find("Current User") == nullptr) Damaged("the \"Current User\" stream is missing");
    try {
        stream_.emplace(cfb.OpenStream(*document));
    } catch (const EhvCfbError& error) {
        Damaged(error.what());
    }
    size_ = stream_->Size();
    ReadCurrentUser();
    try {
        ReadEditChain();
    } catch (const EhvFileRefused&) {
        throw;
    } catch (const EhvFileError& error) {
        Rebuild(error.What());
    }
    OpenEncryption(headerToken_);
}

ThvPptDocument::~ThvPptDocument() = default;

void ThvPptDocument::Fail(const std::string& what) const { ThrowFileError(fileName_, what); }

void ThvPptDocument::Refuse(const std::string& what) const { ThrowFileRefused(fileName_, what); }

void ThvPptDocument::Damaged(const std::string& what) const { Fail("is damaged: " + what); }

void ThvPptDocument::DamagedAt(std::uint64_t offset, const std::string& what) const {
    Damaged(AtOffset(offset, what));
}

std::string ThvPptDocument::AtOffset(std::uint64_t offset, const std::string& what) {
    return what + " at offset " + std::to_string(offset) + " of the \"PowerPoint Document\" stream";
}

std::string ThvPptDocument::HeaderCutOff(std::uint64_t offset) {
    return AtOffset(offset, "a record header is cut off by the end of its parent");
}

std::string ThvPptDocument::ChildTooLong(const ThvPptRecord& child) {
    return AtOffset(child.Offset, "record " + Hex(child.Type) + " claims " +
                                      std::to_string(child.BodySize()) +
                                      " bytes, more than its parent holds");
}

void ThvPptDocument::ReadCurrentUser() {
    std::string user;
    try {
        const ThvCfbStream stream = cfb_.OpenStream(*cfb_.Find("Current User"));
        user = stream.Read(0, static_cast<std::size_t>(std::min<std::uint64_t>(stream.Size(), 64)));
    } catch (const EhvCfbError& error) {
        Damaged(error.what());
    }
    if (user.size() < kPptHeaderBytes + 16 || U16(user, 2) != kCurrentUserAtom) {
        Damaged("the \"Current User\" stream holds no current-user record");
    }
    headerToken_ = U32(user, 12);
    currentEdit_ = U32(user, 16);
}

void ThvPptDocument::ReadBytes(std::uint64_t offset, char* out, std::size_t size,
                               std::uint32_t persist, std::uint64_t persistStart) const {
    try {
        stream_->Read(offset, out, size);
    } catch (const EhvCfbError& error) {
        Damaged(error.what());
    }
    if (key_ && persist != 0 && persist != encryptionRef_) {
        key_->Decrypt(persist, offset - persistStart, out, size);
    }
}

ThvPptRecord ThvPptDocument::HeaderAt(std::uint64_t offset, std::uint64_t parentEnd,
                                      std::uint32_t persist, std::uint64_t persistStart) const {
    if (offset > parentEnd || parentEnd - offset < kPptHeaderBytes) Damaged(HeaderCutOff(offset));
    char header[kPptHeaderBytes];
    ReadBytes(offset, header, kPptHeaderBytes, persist, persistStart);
    ThvPptRecord record = ParsePptHeader(std::string_view(header, kPptHeaderBytes), offset);
    record.Persist = persist;
    record.PersistStart = persistStart;
    if (record.End > parentEnd) Damaged(ChildTooLong(record));
    return record;
}

ThvPptRecord ThvPptDocument::ChildAt(std::uint64_t offset, const ThvPptRecord& parent) const {
    return HeaderAt(offset, parent.End, parent.Persist, parent.PersistStart);
}

ThvPptBytes ThvPptDocument::Load(const ThvPptRecord& record, ThvPptBytes::TStorage storage) const {
    const std::uint64_t size = record.End - record.Offset;
    if (size > options_.Limits.MaxPartBytes) {
        Refuse("is refused: its record " + Hex(record.Type) + " at offset " +
               std::to_string(record.Offset) + " of the \"PowerPoint Document\" stream is " +
               std::to_string(size) + " bytes, more than the limit of " +
               std::to_string(options_.Limits.MaxPartBytes));
    }
    // A record in one piece of a file held in memory is read where it lies, unless it must be
    // decrypted.
    if (!key_ || record.Persist == 0 || record.Persist == encryptionRef_) {
        const std::string_view in = stream_->View(record.Offset, static_cast<std::size_t>(size));
        if (!in.empty()) return ThvPptBytes(record, std::move(storage), in);
    }
    storage.resize(static_cast<std::size_t>(size));
    ReadBytes(record.Offset, storage.data(), storage.size(), record.Persist, record.PersistStart);
    return ThvPptBytes(record, std::move(storage), {});
}

ThvPptRecord ThvPptDocument::PersistObject(std::uint32_t id, std::uint16_t type,
                                           std::string_view what) const {
    const auto found = persist_.find(id);
    if (found == persist_.end()) {
        Damaged("the " + std::string(what) + " (persist object " + std::to_string(id) +
                ") is not in the persist directory");
    }
    const ThvPptRecord record = HeaderAt(found->second, size_, id, found->second);
    if (record.Type != type) {
        DamagedAt(found->second, "the " + std::string(what) + " record is " + Hex(record.Type) +
                                     ", not " + Hex(type));
    }
    return record;
}

std::optional<ThvPptDocument::TEdit> ThvPptDocument::EditAt(std::uint64_t offset,
                                                            std::string* why) const {
    char bytes[kPptHeaderBytes + kMaxEditBytes];
    if (offset > size_ || size_ - offset < kPptHeaderBytes + kMinEditBytes) {
        *why = "no edit record (the offset lies outside the stream)";
        return std::nullopt;
    }
    const std::size_t have =
        static_cast<std::size_t>(std::min<std::uint64_t>(size_ - offset, sizeof bytes));
    ReadBytes(offset, bytes, have, 0, 0);
    const std::string_view b(bytes, have);
    const ThvPptRecord record = ParsePptHeader(b, offset);
    if (record.Type != kUserEditAtom || record.BodySize() < kMinEditBytes || record.End > size_) {
        *why = "no edit record (found " + Hex(record.Type) + ")";
        return std::nullopt;
    }
    TEdit edit;
    edit.Previous = U32(b, kPptHeaderBytes + 8);
    edit.Directory = U32(b, kPptHeaderBytes + 12);
    edit.DocumentRef = U32(b, kPptHeaderBytes + 16);
    if (record.BodySize() >= kMaxEditBytes && have >= kPptHeaderBytes + kMaxEditBytes) {
        edit.EncryptionRef = U32(b, kPptHeaderBytes + 0x1C);
    }
    return edit;
}

std::optional<ThvPptDocument::TDirectory> ThvPptDocument::DirectoryAt(std::uint64_t offset,
                                                                      std::string* why) const {
    if (offset > size_ || size_ - offset < kPptHeaderBytes) {
        *why = "no persist directory (the offset lies outside the stream)";
        return std::nullopt;
    }
    char header[kPptHeaderBytes];
    ReadBytes(offset, header, kPptHeaderBytes, 0, 0);
    const ThvPptRecord record = ParsePptHeader(std::string_view(header, kPptHeaderBytes), offset);
    if (record.Type != kPersistDirectoryAtom || record.End > size_) {
        *why = "no persist directory (found " + Hex(record.Type) + ")";
        return std::nullopt;
    }
    const std::uint64_t maxBytes = options_.Limits.MaxPersistEntries * 8 + 8;
    if (record.BodySize() > maxBytes) {
        Refuse("is refused: its persist directories name more objects than the limit of " +
               std::to_string(options_.Limits.MaxPersistEntries));
    }
    std::string body(static_cast<std::size_t>(record.BodySize()), '\0');
    ReadBytes(record.Body, body.data(), body.size(), 0, 0);
    TDirectory directory;
    directory.reserve(body.size() / 4);
    std::size_t at = 0;
    while (body.size() - at >= 4) {
        const std::uint32_t head = U32(body, at);
        const std::uint32_t first = head & 0xFFFFF;
        const std::size_t count = head >> 20;
        at += 4;
        if (count * 4 > body.size() - at) {
            *why = "a persist directory entry runs past its record at offset " +
                   std::to_string(record.Body + at - 4) + " of the \"PowerPoint Document\" stream";
            return std::nullopt;
        }
        for (std::size_t i = 0; i < count; ++i, at += 4) {
            directory.emplace_back(first + static_cast<std::uint32_t>(i), U32(body, at));
        }
    }
    return directory;
}

void ThvPptDocument::AddDirectory(const TDirectory& directory) {
    // Entries of older edits only fill in what newer ones did not name.
    for (const auto& [id, offset] : directory) persist_.try_emplace(id, offset);
    if (persist_.size() > options_.Limits.MaxPersistEntries) {
        Refuse("is refused: its persist directories name more objects than the limit of " +
               std::to_string(options_.Limits.MaxPersistEntries));
    }
}

void ThvPptDocument::ReadEditChain() {
    std::unordered_set<std::uint32_t> seen;
    std::uint32_t offset = currentEdit_;
    bool newest = true;
    std::string why;
    while (true) {
        if (!seen.insert(offset).second) DamagedAt(offset, "the chain of edits loops back");
        if (seen.size() > options_.Limits.MaxUserEdits) {
            Refuse("is refused: its chain of edits is longer than " +
                   std::to_string(options_.Limits.MaxUserEdits) + " saves");
        }
        const std::optional<TEdit> edit = EditAt(offset, &why);
        if (!edit) DamagedAt(offset, why);
        if (newest) {
            documentRef_ = edit->DocumentRef;
            encryptionRef_ = edit->EncryptionRef;
            newest = false;
        }
        const std::optional<TDirectory> directory = DirectoryAt(edit->Directory, &why);
        if (!directory) DamagedAt(edit->Directory, why);
        AddDirectory(*directory);
        if (edit->Previous == 0) break;
        offset = edit->Previous;
    }
    const auto document = persist_.find(documentRef_);
    if (document == persist_.end()) {
        Damaged("the document (persist object " + std::to_string(documentRef_) +
                ") is not in the persist directory");
    }
    // An encrypted document's header can only be checked once it is decrypted.
    if (encryptionRef_ == 0 && headerToken_ != kEncryptedHeaderToken) {
        PersistObject(documentRef_, kDocumentContainer, "document");
    }
}

void ThvPptDocument::Rebuild(const std::string& why) {
    // Each save appends its objects, then its persist directory, then its edit record: every
    // edit record in the stream is one save, and the one furthest into the stream the newest.
    // An edit counts only with a persist directory that reads, where it points or just before
    // it, so that bytes which merely look like an edit inside some other record never count.
    std::map<std::uint64_t, std::uint64_t> directoryEnds;  // end -> offset
    std::vector<std::uint64_t> edits;
    constexpr std::size_t kChunk = 1u << 20;
    std::string chunk;
    for (std::uint64_t start = 0; start < size_; start += kChunk) {
        const std::size_t length = static_cast<std::size_t>(
            std::min<std::uint64_t>(size_ - start, kChunk + kPptHeaderBytes));
        chunk.resize(length);
        ReadBytes(start, chunk.data(), length, 0, 0);
        const std::size_t last = std::min<std::size_t>(kChunk, length);
        for (std::size_t i = 0; i + kPptHeaderBytes <= length && i < last; ++i) {
            if (chunk[i] != 0 || chunk[i + 1] != 0) continue;
            const std::uint16_t type = U16(chunk, i + 2);
            const std::uint32_t bodySize = U32(chunk, i + 4);
            const std::uint64_t at = start + i;
            if (type == kUserEditAtom && bodySize >= kMinEditBytes && bodySize <= 0x100) {
                if (edits.size() >= options_.Limits.MaxUserEdits) {
                    Refuse("is refused: its chain of edits is longer than " +
                           std::to_string(options_.Limits.MaxUserEdits) + " saves");
                }
                edits.push_back(at);
            } else if (type == kPersistDirectoryAtom && bodySize % 4 == 0 &&
                       bodySize <= size_ - at - kPptHeaderBytes) {
                directoryEnds[at + kPptHeaderBytes + bodySize] = at;
            }
        }
    }
    persist_.clear();
    std::size_t saves = 0;
    bool newest = true;
    std::string ignored;
    for (auto edit = edits.rbegin(); edit != edits.rend(); ++edit) {
        const std::optional<TEdit> parsed = EditAt(*edit, &ignored);
        if (!parsed) continue;
        std::optional<TDirectory> directory = DirectoryAt(parsed->Directory, &ignored);
        if (!directory) {
            const auto before = directoryEnds.find(*edit);
            if (before != directoryEnds.end()) directory = DirectoryAt(before->second, &ignored);
        }
        if (!directory) continue;
        if (newest) {
            documentRef_ = parsed->DocumentRef;
            encryptionRef_ = parsed->EncryptionRef;
            newest = false;
        }
        AddDirectory(*directory);
        ++saves;
    }
    const auto document = persist_.find(documentRef_);
    if (saves == 0 || document == persist_.end()) Fail("is damaged: " + WhatIsDamaged(why));
    salvaged_.push_back("its chain of edits is damaged (" + WhatIsDamaged(why) +
                        "): its persist directory was rebuilt from the " + std::to_string(saves) +
                        (saves == 1 ? " save" : " saves") + " found in the stream");
}

void ThvPptDocument::OpenEncryption(std::uint32_t headerToken) {
    if (encryptionRef_ == 0 && headerToken != kEncryptedHeaderToken) return;
    const std::string locked =
        "is protected with a password; password-protected presentations cannot be read";
    if (encryptionRef_ == 0) Fail(locked);
    const ThvPptRecord session =
        PersistObject(encryptionRef_, kCryptSession10Container, "encryption information");
    if (session.BodySize() > 64 * 1024) Damaged("its encryption information is too large");
    std::string info(static_cast<std::size_t>(session.BodySize()), '\0');
    ReadBytes(session.Body, info.data(), info.size(), 0, 0);
    // No password opens what this program cannot decrypt: the user hears which it is.
    if (const std::string why = ThvRc4CryptoApiKey::Unsupported(info); !why.empty())
        Fail(locked + " (" + why + ")");

    CryptoCallsFor(fileName_);
    std::vector<std::string> passwords{std::string(kDefaultPassword)};
    bool asked = false;
    for (std::size_t i = 0; i < passwords.size() && i < options_.Limits.MaxPasswords; ++i) {
        if (auto key = ThvRc4CryptoApiKey::Open(info, Utf8ToUtf16(passwords[i]))) {
            key_ = std::make_unique<ThvRc4CryptoApiKey>(std::move(*key));
            break;
        }
        if (i + 1 == passwords.size() && !asked) {
            asked = true;
            const std::vector<std::string> more = PasswordsToTry(options_, fileName_);
            passwords.insert(passwords.end(), more.begin(), more.end());
        }
    }
    // The default password is one of those the limit counts; the list's are the others.
    if (!key_)
        Fail(locked + UntriedPasswords(options_.Limits.MaxPasswords - 1, passwords.size() - 1));
    // Only the objects are encrypted: the edit records and persist directories stay readable,
    // and the document's header can be checked now.
    PersistObject(documentRef_, kDocumentContainer, "document");
}
