#pragma once

#include "codec/ExifInfo.h"

#include <cstddef>
#include <cstdint>
#include <memory>

class LxFile;

// Splits a JPEG stream into its marker segments, parses the EXIF APP1 block,
// the first comment and the frame header into an ExifInfo record, and can
// write a kept set of segments back in front of new image data.
//
// Every failure returns false and leaves its text in errorText(); nothing is
// ever read outside a segment that was actually read from the stream.
class ExifReader {
public:
    enum ScanMode : int { ReadMetadata = 1, ReadImageData = 2 };
    static constexpr int kMaxSections = 20;
    static constexpr int kImageDataSection = 0x123;

    struct Section {
        std::unique_ptr<std::uint8_t[]> data;
        std::int32_t type = 0;
        // The segment's length field (counting its two bytes), or the number
        // of bytes held for image data.
        std::uint32_t size = 0;
    };

    // With a null record the reader allocates and owns a zero-filled one.
    explicit ExifReader(ExifInfo* info);
    ~ExifReader();
    ExifReader(const ExifReader&) = delete;
    ExifReader& operator=(const ExifReader&) = delete;

    bool ScanSections(LxFile* stream, int mode);
    // data: the APP1 payload, starting at "Exif"; length: the segment's
    // length field, so the payload holds length - 2 bytes.
    bool ParseExifBlock(std::uint8_t* data, std::uint32_t length);
    // directory: offset of the directory from base; length: bytes available
    // from base.
    bool ParseDirectory(std::uint8_t* base, std::size_t length, std::size_t directory, int depth);
    // data: the whole segment after the marker code (length field first).
    void ParseComment(const std::uint8_t* data, std::uint32_t length);
    void ParseFrameHeader(const std::uint8_t* data, std::uint32_t length, int marker);
    // Reads one value of the given format; 0 when fewer than one value's
    // bytes are available.
    double ConvertValue(const std::uint8_t* value, int format, std::size_t available) const;

    void KeepExifAndComment();
    const Section* FindSection(int type) const;
    bool WriteSections(LxFile* stream);

    const char* errorText() const { return errorText_; }
    ExifInfo* info() const { return info_; }
    int sectionCount() const { return sectionCount_; }
    const Section& section(int index) const { return sections_[index]; }

private:
    void SetError(const char* text);
    void FreeSection(Section& section);
    std::uint16_t Get16(const std::uint8_t* p) const;
    std::int32_t Get32(const std::uint8_t* p) const;
    void ApplyTag(int tag, int format, std::uint8_t* value, std::size_t byteCount,
                  std::size_t available, std::uint32_t& thumbOffset, std::uint32_t& thumbLength);
    void ApplyUserComment(std::uint8_t* value, std::size_t byteCount);

    ExifInfo* info_;
    std::unique_ptr<ExifInfo> ownedInfo_;
    char errorText_[256] = {};
    std::int32_t exifImageWidth_ = 0;
    bool byteOrderMotorola_ = false;
    Section sections_[kMaxSections];
    std::int32_t sectionCount_ = 0;
    // Directories that one EXIF block may still parse; stops blocks whose
    // links fan out into the same directories again and again.
    int directoryBudget_ = 0;
};
