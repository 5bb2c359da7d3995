#include "image/LxMemFile.h"

#include "image/LargePages.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {
// Positions are signed 32-bit; growth must leave room for the 64 KiB step.
constexpr std::uint64_t kMaxStreamBytes = std::numeric_limits<std::int32_t>::max() - 65536;
} // namespace

LxMemFile::LxMemFile(std::uint8_t* buffer, std::uint32_t size)
    : buffer_(buffer), size_(size), freeOnClose_(buffer == nullptr),
      capacity_(static_cast<std::int32_t>(size)) {}

LxMemFile::~LxMemFile() {
    LxMemFile::Close();
}

std::uint8_t* LxMemFile::GetBufferPointer(bool detach) {
    if (detach) {
        freeOnClose_ = false;
    }
    return buffer_;
}

bool LxMemFile::Close() {
    if (buffer_ && freeOnClose_) {
        std::free(buffer_);
        buffer_ = nullptr;
        size_ = 0;
    }
    return true;
}

bool LxMemFile::Reserve(std::uint64_t n) {
    if (n <= static_cast<std::uint32_t>(capacity_)) {
        return buffer_ != nullptr;
    }
    if (n > kMaxStreamBytes) {
        return false;
    }
    const std::uint64_t newCapacity = (n & ~std::uint64_t{0xFFFF}) + 65536;
    void* grown = std::realloc(buffer_, newCapacity);
    if (!grown) {
        // The old block is still valid: free it if it is ours, then the
        // stream holds nothing and every later operation fails.
        if (freeOnClose_) {
            std::free(buffer_);
        }
        buffer_ = nullptr;
        size_ = 0;
        capacity_ = 0;
        position_ = 0;
        return false;
    }
    buffer_ = static_cast<std::uint8_t*>(grown);
    capacity_ = static_cast<std::int32_t>(newCapacity);
    AdviseLargePages(buffer_, static_cast<std::size_t>(newCapacity));
    freeOnClose_ = true;
    return true;
}

void LxMemFile::RaiseSize() {
    if (position_ > static_cast<std::int32_t>(size_)) {
        size_ = static_cast<std::uint32_t>(position_);
    }
}

std::size_t LxMemFile::Read(void* buffer, std::size_t size, std::size_t count) {
    if (!buffer || !buffer_ || position_ >= static_cast<std::int32_t>(size_) || size == 0 ||
        count == 0) {
        return 0;
    }
    const std::size_t available = static_cast<std::int32_t>(size_) - position_;
    const std::size_t wanted =
        count > std::numeric_limits<std::size_t>::max() / size ? available : size * count;
    const std::size_t n = std::min(wanted, available);
    std::memcpy(buffer, buffer_ + position_, n);
    position_ += static_cast<std::int32_t>(n);
    return n / size;
}

std::size_t LxMemFile::Write(const void* buffer, std::size_t size, std::size_t count) {
    if (!buffer_ || !buffer || size == 0 || count == 0 ||
        count > std::numeric_limits<std::size_t>::max() / size) {
        return 0;
    }
    const std::size_t n = size * count;
    if (position_ < 0 || n > kMaxStreamBytes) {
        return 0;
    }
    const std::uint64_t end = static_cast<std::uint64_t>(position_) + n;
    if (end > static_cast<std::uint64_t>(capacity_) && !Reserve(end)) {
        return 0;
    }
    std::memcpy(buffer_ + position_, buffer, n);
    position_ = static_cast<std::int32_t>(end);
    RaiseSize();
    return count;
}

bool LxMemFile::Seek(std::int32_t offset, int origin) {
    if (!buffer_) {
        return false;
    }
    std::int64_t target = 0;
    switch (origin) {
    case 0:
        target = offset;
        break;
    case 1:
        target = std::int64_t{position_} + offset;
        break;
    case 2:
        target = std::int64_t{static_cast<std::int32_t>(size_)} + offset;
        break;
    default:
        return false;
    }
    if (target > std::numeric_limits<std::int32_t>::max()) {
        return false;
    }
    position_ = static_cast<std::int32_t>(std::max<std::int64_t>(target, 0));
    return true;
}

std::int32_t LxMemFile::Tell() {
    return buffer_ ? position_ : -1;
}

std::int32_t LxMemFile::Size() {
    return buffer_ ? static_cast<std::int32_t>(size_) : -1;
}

bool LxMemFile::Flush() {
    return buffer_ != nullptr;
}

bool LxMemFile::AtEnd() {
    return !buffer_ || position_ >= static_cast<std::int32_t>(size_);
}

std::int32_t LxMemFile::ErrorState() {
    if (!buffer_) {
        return -1;
    }
    return position_ > static_cast<std::int32_t>(size_) ? 1 : 0;
}

bool LxMemFile::PutByte(std::uint8_t byte) {
    if (!buffer_) {
        return false;
    }
    if (position_ >= capacity_ && !Reserve(static_cast<std::uint64_t>(position_) + 1)) {
        return false;
    }
    buffer_[position_++] = byte;
    RaiseSize();
    return true;
}

std::int32_t LxMemFile::GetByte() {
    if (AtEnd()) {
        return -1;
    }
    return buffer_[position_++];
}

char* LxMemFile::GetLine(char* buffer, int n) {
    if (!buffer) {
        return nullptr;
    }
    int stored = 0;
    while (stored < n - 1) {
        const std::int32_t c = GetByte();
        if (c < 0) {
            return nullptr;
        }
        buffer[stored++] = static_cast<char>(c);
        if (c == '\n') {
            break;
        }
    }
    if (n > 0) {
        buffer[stored] = '\0';
    }
    return buffer;
}

std::int32_t LxMemFile::ScanFormatted(const char* /*format*/, void* /*output*/) {
    return 0;
}
