#include "image/LxIOFile.h"

LxIOFile::LxIOFile(std::FILE* file, bool ownsStream) : file_(file), ownsStream_(ownsStream) {}

LxIOFile::~LxIOFile() {
    if (file_ && ownsStream_) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

bool LxIOFile::Close() {
    if (!file_ || !ownsStream_) {
        return true;
    }
    const bool ok = std::fclose(file_) == 0;
    file_ = nullptr;
    return ok;
}

std::size_t LxIOFile::Read(void* buffer, std::size_t size, std::size_t count) {
    if (!file_ || !buffer) {
        return 0;
    }
    return std::fread(buffer, size, count, file_);
}

std::size_t LxIOFile::Write(const void* buffer, std::size_t size, std::size_t count) {
    if (!file_ || !buffer) {
        return 0;
    }
    return std::fwrite(buffer, size, count, file_);
}

bool LxIOFile::Seek(std::int32_t offset, int origin) {
    if (!file_) {
        return false;
    }
    return std::fseek(file_, offset, origin) == 0;
}

std::int32_t LxIOFile::Tell() {
    if (!file_) {
        return 0;
    }
    return static_cast<std::int32_t>(std::ftell(file_));
}

std::int32_t LxIOFile::Size() {
    if (!file_) {
        return -1;
    }
    const long position = std::ftell(file_);
    std::fseek(file_, 0, SEEK_END);
    const long length = std::ftell(file_);
    std::fseek(file_, position, SEEK_SET);
    return static_cast<std::int32_t>(length);
}

bool LxIOFile::Flush() {
    return file_ && std::fflush(file_) == 0;
}

bool LxIOFile::AtEnd() {
    return !file_ || std::feof(file_) != 0;
}

std::int32_t LxIOFile::ErrorState() {
    return file_ ? std::ferror(file_) : -1;
}

bool LxIOFile::PutByte(std::uint8_t byte) {
    return file_ && std::fputc(byte, file_) == byte;
}

std::int32_t LxIOFile::GetByte() {
    return file_ ? std::getc(file_) : -1;
}

char* LxIOFile::GetLine(char* buffer, int n) {
    if (!file_ || !buffer) {
        return nullptr;
    }
    return std::fgets(buffer, n, file_);
}

std::int32_t LxIOFile::ScanFormatted(const char* format, void* output) {
    if (!file_) {
        return -1;
    }
    // Exactly one output pointer, as the interface promises.
    // NOLINTNEXTLINE(cert-err34-c)
    return std::fscanf(file_, format, output);
}
