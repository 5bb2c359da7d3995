#pragma once

#include "image/LxFile.h"

#include <cstdlib>

// LxFile over a heap block that grows in 64 KiB steps as it is written past
// its end. A stream built over a caller's block leaves it to the caller until
// the stream has to grow it; from then on the stream owns (and frees) it.
// The block must come from malloc, since growing it uses realloc.
class LxMemFile : public LxFile {
public:
    explicit LxMemFile(std::uint8_t* buffer = nullptr, std::uint32_t size = 0);
    ~LxMemFile() override;
    LxMemFile(const LxMemFile&) = delete;
    LxMemFile& operator=(const LxMemFile&) = delete;

    // With detach true the caller takes over the block and must free() it.
    std::uint8_t* GetBufferPointer(bool detach);

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

    std::int32_t Capacity() const { return capacity_; }

private:
    // Makes room for n bytes; returns whether a buffer exists afterwards.
    bool Reserve(std::uint64_t n);
    void RaiseSize();

    std::uint8_t* buffer_;
    std::uint32_t size_;
    bool freeOnClose_;
    std::int32_t position_ = 0;
    std::int32_t capacity_;
};

// A memory stream that starts with a small block of its own, so that it can
// be written at once, and frees whatever block it ends with.
class LxOwnedMemFile : public LxMemFile {
public:
    LxOwnedMemFile() : LxMemFile(static_cast<std::uint8_t*>(std::malloc(16)), 16) {}
    ~LxOwnedMemFile() override { std::free(GetBufferPointer(true)); }
};
