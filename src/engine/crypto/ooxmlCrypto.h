#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/byteSource.h"
#include "engine/base/readOptions.h"
#include "engine/cfb/cfbReader.h"

/// Office Open XML packages encrypted with a password (ECMA-376 "agile" and "standard"
/// encryption), through OpenSSL's libcrypto: the password is checked against the file's
/// verifier, and the package is then decrypted piece by piece as it is read, never whole.

/// The key of an encrypted package, opened with one password.
class ThvPackageKey {
  public:
    enum class TResult { Opened, WrongPassword, Unsupported, Stopped };

    /// Checks password (UTF-8) against the EncryptionInfo stream. Unsupported for an encryption
    /// this reader does not know (or a hash or cipher it does not offer, or more hash rounds
    /// than the limits allow); then why says which. Stopped when stopped (may be empty)
    /// answered true while the password was hashed.
    static TResult Open(std::string_view encryptionInfo, std::string_view password,
                        const ThvEngineLimits& limits, std::unique_ptr<ThvPackageKey>& key,
                        std::string& why, const std::function<bool()>& stopped = {});

    /// Decrypts the bytes of the EncryptedPackage stream that follow its 8-byte size: segment
    /// is the 4096-byte segment's number (agile) or ignored (standard), data a whole number of
    /// cipher blocks.
    void DecryptSegment(std::uint32_t segment, char* data, std::size_t size) const;

    /// How many decrypted bytes each piece decrypts independently of the others.
    std::size_t SegmentBytes() const { return agile_ ? 4096 : 16; }

  private:
    bool agile_ = false;
    std::string key_;
    std::string keySalt_;  // agile: the data's salt, for each segment's initial vector
    std::string hash_;     // agile: the name of the hash of the initial vectors
    std::size_t blockSize_ = 16;
};

/// The decrypted package, read from the EncryptedPackage stream as it is asked for: one
/// segment at a time, the last one kept.
class ThvDecryptedPackage final : public ThvByteSource {
  public:
    /// Throws EhvCfbError when the stream is too short for its stated size.
    ThvDecryptedPackage(ThvCfbStream stream, std::unique_ptr<ThvPackageKey> key);

    std::uint64_t Size() const override { return size_; }
    bool ReadAt(std::uint64_t offset, char* out, std::size_t size) const override;

  private:
    ThvCfbStream stream_;
    std::unique_ptr<ThvPackageKey> key_;
    std::uint64_t size_ = 0;
    mutable std::uint64_t cached_ = ~std::uint64_t{0};  // the segment in cache_
    mutable std::string cache_;
};

/// The decrypted package of an encrypted Office Open XML file, opened with the first of the
/// options' passwords that fits (there is no default password for these files). Throws
/// EhvFileError: "is protected with a password; ..." when none fits or there are none, "is
/// damaged: ..." when the encryption records cannot be read.
std::unique_ptr<ThvByteSource> OpenEncryptedPackage(const ThvCfbReader& cfb,
                                                    std::string_view fileName,
                                                    const ThvReadOptions& options);
