#include "presentationFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "compoundProbe.h"
#include "engineError.h"
#include "fileSystem.h"
#include "ooxmlPackage.h"
#include "ooxmlSlides.h"

namespace {

enum class ThvContainer { Zip, Compound, Unknown };

ThvContainer ContainerOf(std::string_view firstBytes) {
    // Local file header, or the end record alone of an empty archive.
    if (firstBytes.starts_with(std::string_view("PK\x03\x04", 4)) ||
        firstBytes.starts_with(std::string_view("PK\x05\x06", 4))) {
        return ThvContainer::Zip;
    }
    if (HasCompoundSignature(firstBytes)) return ThvContainer::Compound;
    return ThvContainer::Unknown;
}

[[noreturn]] void ThrowCompoundFailure(ThvCompoundKind kind, std::string_view fileName) {
    switch (kind) {
        case ThvCompoundKind::EncryptedPackage:
            ThrowFileError(fileName,
                           "is protected with a password; password-protected presentations "
                           "cannot be read");
        case ThvCompoundKind::RightsManaged:
            ThrowFileError(fileName,
                           "is protected by rights management (IRM); such presentations cannot "
                           "be read");
        case ThvCompoundKind::BinaryPowerPoint:
            ThrowFileError(fileName,
                           "is a binary PowerPoint 97-2003 presentation; binary PowerPoint "
                           "97-2003 files are not supported yet");
        case ThvCompoundKind::Damaged:
            ThrowFileError(fileName, "is damaged: its compound file directory cannot be read");
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

ThvPresentationText LoadPresentationBytes(std::string_view bytes, std::string_view fileName) {
    switch (ContainerOf(bytes.substr(0, 8))) {
        case ThvContainer::Zip: {
            auto package = ThvOoxmlPackage::FromBuffer(bytes, fileName);
            return ReadOoxmlPresentation(*package);
        }
        case ThvContainer::Compound: {
            ThvByteReader read = [bytes](std::uint64_t offset, std::size_t size, char* out) {
                if (offset > bytes.size() || size > bytes.size() - offset) return false;
                std::memcpy(out, bytes.data() + offset, size);
                return true;
            };
            ThrowCompoundFailure(ProbeCompoundFile(read, bytes.size()), fileName);
        }
        case ThvContainer::Unknown:
            break;
    }
    ThrowFileError(fileName, "is not a presentation");
}

ThvPresentationText LoadPresentationFile(const std::string& path) {
    if (IsRemoteName(path)) {
        ThrowFileError(path, "is an address on the network; remote files are not supported");
    }
    // One open serves detection and reading: the zip reader takes the same file over.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!file) ThrowFileError(path, "cannot be opened: " + SystemErrorMessage(errno));
    char first[8] = {};
    std::size_t got = std::fread(first, 1, sizeof first, file.get());
    if (got == 0 && std::ferror(file.get()) && DirectoryExists(path)) {
        ThrowFileError(path, "is a folder, not a presentation");
    }
    switch (ContainerOf(std::string_view(first, got))) {
        case ThvContainer::Zip:
            return ReadOoxmlPresentation(*ThvOoxmlPackage::FromFile(std::move(file), path));
        case ThvContainer::Compound: {
            std::FILE* stream = file.get();
            if (std::fseek(stream, 0, SEEK_END) != 0) {
                ThrowFileError(path, "cannot be read: " + SystemErrorMessage(errno));
            }
            std::uint64_t size = static_cast<std::uint64_t>(std::ftell(stream));
            ThvByteReader read = [stream](std::uint64_t offset, std::size_t count, char* out) {
                return std::fseek(stream, static_cast<long>(offset), SEEK_SET) == 0 &&
                       std::fread(out, 1, count, stream) == count;
            };
            ThrowCompoundFailure(ProbeCompoundFile(read, size), path);
        }
        case ThvContainer::Unknown:
            break;
    }
    ThrowFileError(path, "is not a presentation");
}
