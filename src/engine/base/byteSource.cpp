#include "engine/base/byteSource.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/base/hvError.h"

bool ThvMemorySource::ReadAt(std::uint64_t offset, char* out, std::size_t size) const {
    if (offset > bytes_.size() || bytes_.size() - offset < size) return false;
    std::memcpy(out, bytes_.data() + offset, size);
    return true;
}

std::string_view ThvMemorySource::ViewAt(std::uint64_t offset, std::size_t size) const {
    if (offset > bytes_.size() || bytes_.size() - offset < size) return {};
    return bytes_.substr(static_cast<std::size_t>(offset), size);
}

ThvFileSource::ThvFileSource(TFile file) : file_(std::move(file)) {
    // The standard library seeks by long: that reaches every offset of a 64-bit POSIX system;
    // where long is 32 bits, files beyond 2 GiB are refused here rather than misread.
    if (std::fseek(file_.get(), 0, SEEK_END) != 0) throw EhvError("cannot find the file's size");
    const long end = std::ftell(file_.get());
    if (end < 0) throw EhvError("cannot find the file's size");
    size_ = static_cast<std::uint64_t>(end);
    position_ = size_;
    windowBytes_ = size_ <= kWholeFileBytes ? std::max<std::size_t>(1, size_) : kWindowBytes;
}

bool ThvFileSource::ReadAt(std::uint64_t offset, char* out, std::size_t size) const {
    if (offset > size_ || size_ - offset < size) return false;
    if (size > windowBytes_) return ReadFile(offset, out, size) == size;
    while (size > 0) {
        const TWindow* window = WindowAt(offset);
        if (window == nullptr) return false;
        const std::size_t within = static_cast<std::size_t>(offset - window->Start);
        const std::size_t piece = std::min(size, window->Length - within);
        std::memcpy(out, window->Bytes.get() + within, piece);
        out += piece;
        offset += piece;
        size -= piece;
    }
    return true;
}

std::string_view ThvFileSource::ViewAt(std::uint64_t offset, std::size_t size) const {
    if (size_ > kWholeFileBytes || offset > size_ || size_ - offset < size || size == 0) return {};
    const TWindow* window = WindowAt(offset);
    if (window == nullptr || window->Length - offset < size) return {};
    return std::string_view(window->Bytes.get() + offset, size);
}

const ThvFileSource::TWindow* ThvFileSource::WindowAt(std::uint64_t offset) const {
    const std::uint64_t start = offset - offset % windowBytes_;
    TWindow* oldest = &windows_[0];
    for (TWindow& window : windows_) {
        if (window.Length > 0 && window.Start == start) {
            window.LastUse = ++uses_;
            return offset - start < window.Length ? &window : nullptr;
        }
        if (window.LastUse < oldest->LastUse) oldest = &window;
    }
    if (!oldest->Bytes) oldest->Bytes = std::make_unique_for_overwrite<char[]>(windowBytes_);
    const std::size_t wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(windowBytes_, size_ - start));
    // A file cut short since it was opened still gives what it holds.
    oldest->Length = ReadFile(start, oldest->Bytes.get(), wanted);
    oldest->Start = start;
    oldest->LastUse = ++uses_;
    return offset - start < oldest->Length ? oldest : nullptr;
}

std::size_t ThvFileSource::ReadFile(std::uint64_t offset, char* out, std::size_t size) const {
    if (offset != position_) {
        if (offset > static_cast<std::uint64_t>(LONG_MAX) ||
            std::fseek(file_.get(), static_cast<long>(offset), SEEK_SET) != 0) {
            position_ = size_ + 1;  // unknown: the next read seeks
            return 0;
        }
        position_ = offset;
    }
    const std::size_t got = std::fread(out, 1, size, file_.get());
    if (got != size) {
        std::clearerr(file_.get());
        position_ = size_ + 1;
    } else {
        position_ += got;
    }
    return got;
}
