#pragma once

#include "image/LxFile.h"

#include <cstdio>

// LxFile over a stdio FILE stream. The stream is closed by Close and by the
// destructor only when the wrapper owns it; every operation on a wrapper
// without a stream fails with the documented value.
class LxIOFile : public LxFile {
public:
    explicit LxIOFile(std::FILE* file = nullptr, bool ownsStream = false);
    ~LxIOFile() override;
    LxIOFile(const LxIOFile&) = delete;
    LxIOFile& operator=(const LxIOFile&) = delete;

    bool Close() override;
    std::size_t Read(void* buffer, std::size_t size, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t size, std::size_t count) override;
    bool Seek(std::int32_t offset, int origin) override;
    std::int32_t Tell() override;
    std::int32_t Size() override;
    bool Flush() override;
    bool AtEnd() override;
    std::int32_t ErrorState() override;
    bool PutByte(std::uint8_t byte) override;
    std::int32_t GetByte() override;
    char* GetLine(char* buffer, int n) override;
    std::int32_t ScanFormatted(const char* format, void* output) override;

private:
    std::FILE* file_;
    bool ownsStream_;
};
