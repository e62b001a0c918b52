#include "presentationFile.h"

#include <cerrno>
#include <cstring>
#include <fstream>

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
    if (DirectoryExists(path)) ThrowFileError(path, "is a folder, not a presentation");
    std::ifstream in(path, std::ios::binary);
    if (!in) ThrowFileError(path, "cannot be opened: " + SystemErrorMessage(errno));
    in.seekg(0, std::ios::end);
    std::uint64_t size = static_cast<std::uint64_t>(in.tellg());
    in.seekg(0);
    char first[8] = {};
    in.read(first, sizeof first);
    std::string_view firstBytes(first, static_cast<std::size_t>(in.gcount()));
    switch (ContainerOf(firstBytes)) {
        case ThvContainer::Zip: {
            in.close();
            auto package = ThvOoxmlPackage::FromFile(path, path);
            return ReadOoxmlPresentation(*package);
        }
        case ThvContainer::Compound: {
            ThvByteReader read = [&in](std::uint64_t offset, std::size_t size, char* out) {
                in.clear();
                in.seekg(static_cast<std::streamoff>(offset));
                in.read(out, static_cast<std::streamsize>(size));
                return in.gcount() == static_cast<std::streamsize>(size);
            };
            ThrowCompoundFailure(ProbeCompoundFile(read, size), path);
        }
        case ThvContainer::Unknown:
            break;
    }
    ThrowFileError(path, "is not a presentation");
}
