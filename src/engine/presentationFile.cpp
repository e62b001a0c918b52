#include "engine/presentationFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "engine/base/byteSource.h"
#include "engine/base/engineError.h"
#include "engine/cfb/cfbReader.h"
#include "engine/cfb/compoundProbe.h"
#include "engine/crypto/ooxmlCrypto.h"
#include "engine/ooxml/ooxmlPackage.h"
#include "engine/ooxml/ooxmlSlides.h"
#include "engine/ppt/pptSlideText.h"
#include "platform/files/fileSystem.h"

namespace {

enum class ThvContainer { Zip, Compound, Unknown };

ThvContainer ContainerOf(std::string_view firstBytes) {
    // Local file header, or the end record alone of an empty archive.
    if (firstBytes.starts_with(std::string_view("PK\x03\x04", 4)) ||
        firstBytes.starts_with(std::string_view("PK\x05\x06", 4))) {
        return ThvContainer::Zip;
    }
    if (ThvCfbReader::HasSignature(firstBytes)) return ThvContainer::Compound;
    return ThvContainer::Unknown;
}

/// A compound file: its directory read once, told apart once, read by the reader of its kind.
ThvPresentationText ReadCompound(const ThvByteSource& source, std::string_view fileName,
                                 const ThvReadOptions& options) {
    std::optional<ThvCfbReader> cfb;
    try {
        cfb.emplace(source, options.Limits);
    } catch (const EhvCfbError& error) {
        ThrowFileError(fileName, "is damaged: " + std::string(error.what()));
    }
    switch (ClassifyCompoundFile(*cfb)) {
        case ThvCompoundKind::EncryptedPackage: {
            std::unique_ptr<ThvByteSource> decrypted =
                OpenEncryptedPackage(*cfb, fileName, options);
            char head[4] = {};
            if (!decrypted->ReadAt(0, head, sizeof head) ||
                std::memcmp(head, "PK\x03\x04", sizeof head) != 0) {
                ThrowFileError(fileName, "is damaged: its encrypted package decrypts to no zip");
            }
            auto package =
                ThvOoxmlPackage::FromSource(std::move(decrypted), fileName, options.Limits);
            return ReadOoxmlPresentation(*package, options.Content);
        }
        case ThvCompoundKind::RightsManaged:
            ThrowFileError(fileName,
                           "is protected by rights management (IRM); such presentations cannot "
                           "be read");
        case ThvCompoundKind::OldPowerPoint:
            ThrowFileError(fileName, "was saved by PowerPoint 95 or older, which is not supported");
        case ThvCompoundKind::BinaryPowerPoint:
            return ReadPptPresentation(*cfb, fileName, options);
        case ThvCompoundKind::Other:
            break;
    }
    ThrowFileError(fileName, "is not a presentation");
}

}  // namespace

bool IsRemoteName(std::string_view name) {
    auto startsNoCase = [name](std::string_view prefix) {
        if (name.size() < prefix.size()) return false;
        for (std::size_t i = 0; i < prefix.size(); ++i) {
            char c = name[i];
            if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
            if (c != prefix[i]) return false;
        }
        return true;
    };
    return startsNoCase("http:") || startsNoCase("https:") ||
           name.find("://") != std::string_view::npos;
}

ThvPresentationText LoadPresentationBytes(std::string_view bytes, std::string_view fileName,
                                          const ThvReadOptions& options) {
    switch (ContainerOf(bytes.substr(0, 8))) {
        case ThvContainer::Zip: {
            auto package = ThvOoxmlPackage::FromBuffer(bytes, fileName, options.Limits);
            return ReadOoxmlPresentation(*package, options.Content);
        }
        case ThvContainer::Compound:
            return ReadCompound(ThvMemorySource(bytes), fileName, options);
        case ThvContainer::Unknown:
            break;
    }
    ThrowFileError(fileName, "is not a presentation");
}

ThvPresentationText LoadPresentationFile(const std::string& path, const ThvReadOptions& options) {
    if (IsRemoteName(path)) {
        ThrowFileError(path, "is an address on the network; remote files are not supported");
    }
    // Opening a pipe or a device could wait for ever; only regular files are opened.
    switch (GetPathKind(path)) {
        case ThvPathKind::Folder:
            ThrowFileError(path, "is a folder, not a presentation");
        case ThvPathKind::Other:
            ThrowFileError(path, "is not a regular file, not a presentation");
        case ThvPathKind::File:
        case ThvPathKind::Missing:
            break;
    }
    // One open serves detection and reading: the reader of the container takes the file over.
    ThvFilePtr file = OpenFileForReading(path);
    if (!file) ThrowFileError(path, "cannot be opened: " + SystemErrorMessage(errno));
    char first[8] = {};
    std::size_t got = std::fread(first, 1, sizeof first, file.get());
    switch (ContainerOf(std::string_view(first, got))) {
        case ThvContainer::Zip:
            return ReadOoxmlPresentation(
                *ThvOoxmlPackage::FromFile(std::move(file), path, options.Limits), options.Content);
        case ThvContainer::Compound: {
            std::optional<ThvFileSource> source;
            try {
                source.emplace(std::move(file));
            } catch (const EhvError& failure) {
                ThrowFileError(path, "cannot be read: " + std::string(failure.what()));
            }
            return ReadCompound(*source, path, options);
        }
        case ThvContainer::Unknown:
            break;
    }
    ThrowFileError(path, "is not a presentation");
}
