#pragma once

#include <cstddef>
#include <cstdint>

// Abstract byte stream with a stdio-like set of operations. The codec layer
// reads and writes pictures only through this interface, so the same code
// serves files on disk (LxIOFile) and blocks in memory (LxMemFile).
//
// Failures come back as values, never exceptions: 0 items, false, -1 or null.
class LxFile {
public:
    virtual ~LxFile() = default;

    virtual bool Close() = 0;
    // Returns the number of whole items read.
    virtual std::size_t Read(void* buffer, std::size_t size, std::size_t count) = 0;
    // Returns the number of items written.
    virtual std::size_t Write(const void* buffer, std::size_t size, std::size_t count) = 0;
    // origin: 0 from the start, 1 from the current position, 2 from the end.
    virtual bool Seek(std::int32_t offset, int origin) = 0;
    virtual std::int32_t Tell() = 0;
    virtual std::int32_t Size() = 0;
    virtual bool Flush() = 0;
    virtual bool AtEnd() = 0;
    // 0 means no error.
    virtual std::int32_t ErrorState() = 0;
    virtual bool PutByte(std::uint8_t byte);
    // The byte as 0...255, or -1 at the end.
    virtual std::int32_t GetByte() = 0;
    virtual char* GetLine(char* buffer, int n) = 0;
    virtual std::int32_t ScanFormatted(const char* format, void* output) = 0;
};
