#include "byteSource.h"

#include <climits>
#include <cstring>

#include "hvError.h"

bool ThvMemorySource::ReadAt(std::uint64_t offset, char* out, std::size_t size) const {
    if (offset > bytes_.size() || bytes_.size() - offset < size) return false;
    std::memcpy(out, bytes_.data() + offset, size);
    return true;
}

ThvFileSource::ThvFileSource(TFile file) : file_(std::move(file)) {
    // The standard library seeks by long: that reaches every offset of a 64-bit POSIX system;
    // where long is 32 bits, files beyond 2 GiB are refused here rather than misread.
    if (std::fseek(file_.get(), 0, SEEK_END) != 0) throw EhvError("cannot find the file's size");
    const long end = std::ftell(file_.get());
    if (end < 0) throw EhvError("cannot find the file's size");
    size_ = static_cast<std::uint64_t>(end);
    position_ = size_;
}

bool ThvFileSource::ReadAt(std::uint64_t offset, char* out, std::size_t size) const {
    if (offset > size_ || size_ - offset < size) return false;
    if (offset != position_) {
        if (offset > static_cast<std::uint64_t>(LONG_MAX) ||
            std::fseek(file_.get(), static_cast<long>(offset), SEEK_SET) != 0) {
            position_ = size_ + 1;  // unknown: the next read seeks
            return false;
        }
        position_ = offset;
    }
    const std::size_t got = std::fread(out, 1, size, file_.get());
    if (got != size) {
        std::clearerr(file_.get());
        position_ = size_ + 1;
        return false;
    }
    position_ += got;
    return true;
}
