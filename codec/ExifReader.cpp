#include "codec/ExifReader.h"

#include "image/LxFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace {
bool IsFrameMarker(int marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

constexpr int kMaxPaddingBytes = 6;
constexpr int kMarkerEoi = 0xD9;
constexpr int kMarkerSos = 0xDA;
constexpr int kMarkerApp0 = 0xE0;
constexpr int kMarkerApp1 = 0xE1;
constexpr int kMarkerCom = 0xFE;
} // namespace

ExifReader::ExifReader(ExifInfo* info) : info_(info) {
    if (!info_) {
        ownedInfo_ = std::make_unique<ExifInfo>();
        std::memset(ownedInfo_.get(), 0, sizeof(ExifInfo));
        info_ = ownedInfo_.get();
    }
}

ExifReader::~ExifReader() = default;

void ExifReader::SetError(const char* text) {
    std::strncpy(errorText_, text, sizeof(errorText_) - 1);
    errorText_[sizeof(errorText_) - 1] = '\0';
}

void ExifReader::FreeSection(Section& section) {
    const std::uint8_t* data = section.data.get();
    const std::uint8_t* thumb = info_->thumbnailPointer;
    // The thumbnail pointer must never outlive the segment it points into.
    if (data && thumb && thumb >= data && thumb < data + section.size) {
        info_->thumbnailPointer = nullptr;
        info_->thumbnailSize = 0;
    }
    section.data.reset();
}

bool ExifReader::ScanSections(LxFile* stream, int mode) {
    if (!stream || stream->GetByte() != 0xFF || stream->GetByte() != 0xD8) {
        return false;
    }
    bool commentTaken = false;
    for (;;) {
        if (sectionCount_ >= kMaxSections) {
            SetError("Too many sections in jpg file");
            return false;
        }
        int marker = 0;
        for (int a = 0;; ++a) {
            marker = stream->GetByte();
            if (marker != 0xFF) {
                break;
            }
            if (a >= kMaxPaddingBytes) {
                std::puts("too many padding bytes");
                return false;
            }
        }
        Section& section = sections_[sectionCount_];
        FreeSection(section);
        section.type = marker;

        const int high = stream->GetByte();
        const int low = stream->GetByte();
        const int length = high * 256 + low;
        if (high < 0 || low < 0 || length < 2) {
            SetError("invalid marker");
            return false;
        }
        section.size = static_cast<std::uint32_t>(length);
        section.data.reset(new (std::nothrow) std::uint8_t[length]);
        if (!section.data) {
            SetError("Could not allocate memory");
            return false;
        }
        std::uint8_t* data = section.data.get();
        data[0] = static_cast<std::uint8_t>(high);
        data[1] = static_cast<std::uint8_t>(low);
        if (stream->Read(data + 2, 1, length - 2) != static_cast<std::size_t>(length - 2)) {
            SetError("Premature end of file?");
            return false;
        }
        ++sectionCount_;

        if (IsFrameMarker(marker)) {
            ParseFrameHeader(data, section.size, marker);
            continue;
        }
        switch (marker) {
        case kMarkerEoi:
            std::puts("No image in jpeg!");
            return false;
        case kMarkerSos: {
            if (!(mode & ReadImageData)) {
                return true;
            }
            if (sectionCount_ >= kMaxSections) {
                SetError("Too many sections in jpg file");
                return false;
            }
            const std::int32_t start = stream->Tell();
            stream->Seek(0, 2);
            const std::int32_t end = stream->Tell();
            stream->Seek(start, 0);
            const std::uint32_t remaining =
                end > start ? static_cast<std::uint32_t>(end - start) : 0;
            Section& image = sections_[sectionCount_];
            FreeSection(image);
            image.data.reset(new (std::nothrow)
                                 std::uint8_t[std::max<std::uint32_t>(remaining, 1)]);
            if (!image.data) {
                SetError("could not allocate data for entire image");
                return false;
            }
            if (stream->Read(image.data.get(), 1, remaining) != remaining) {
                SetError("could not read the rest of the image");
                return false;
            }
            image.type = kImageDataSection;
            image.size = remaining;
            ++sectionCount_;
            return true;
        }
        case kMarkerApp0:
            --sectionCount_;
            FreeSection(section);
            break;
        case kMarkerApp1:
            if ((mode & ReadMetadata) && length >= 6 && std::memcmp(data + 2, "Exif", 4) == 0) {
                info_->isExif = ParseExifBlock(data + 2, section.size);
            } else {
                --sectionCount_;
                FreeSection(section);
            }
            break;
        case kMarkerCom:
            if ((mode & ReadMetadata) && !commentTaken) {
                ParseComment(data, section.size);
                commentTaken = true;
            } else {
                --sectionCount_;
                FreeSection(section);
            }
            break;
        default:
            break;
        }
    }
}

bool ExifReader::ParseExifBlock(std::uint8_t* data, std::uint32_t length) {
    info_->flashUsed = 0;
    info_->comments[0] = '\0';
    exifImageWidth_ = 0;

    // The payload holds length - 2 bytes; the TIFF header starts 6 bytes in.
    const std::size_t payload = length >= 2 ? length - 2 : 0;
    if (payload < 6 || std::memcmp(data, "Exif\0\0", 6) != 0) {
        SetError("Incorrect Exif header");
        return false;
    }
    if (payload >= 8 && data[6] == 'I' && data[7] == 'I') {
        byteOrderMotorola_ = false;
    } else if (payload >= 8 && data[6] == 'M' && data[7] == 'M') {
        byteOrderMotorola_ = true;
    } else {
        SetError("Invalid Exif alignment marker.");
        return false;
    }
    if (payload < 10 || Get16(data + 8) != 0x2A) {
        SetError("Invalid Exif start (1)");
        return false;
    }
    std::uint8_t* base = data + 6;
    const std::size_t available = payload - 6;
    const std::int32_t firstOffset = payload >= 14 ? Get32(data + 10) : 0;

    directoryBudget_ = 64;
    // The directory right after the header is read whatever the header says.
    // When the header points elsewhere, what lies at offset 8 is only a guess
    // (often padding), so its failure must not cost the block: the directory
    // the header names decides.
    const bool firstElsewhere = firstOffset > 8;
    if (!ParseDirectory(base, available, 8, 0) && !firstElsewhere) {
        return false;
    }
    if (firstElsewhere &&
        !ParseDirectory(base, available, static_cast<std::size_t>(firstOffset), 0)) {
        return false;
    }
    if (info_->focalPlaneXRes != 0) {
        info_->ccdWidth =
            static_cast<float>(exifImageWidth_ * info_->focalPlaneUnits / info_->focalPlaneXRes);
    }
    return true;
}

void ExifReader::ParseComment(const std::uint8_t* data, std::uint32_t length) {
    const std::uint32_t limit = std::min<std::uint32_t>(length, 1000);
    char text[1000];
    std::size_t n = 0;
    for (std::uint32_t a = 2; a < limit; ++a) {
        const std::uint8_t c = data[a];
        if (c == '\r' && a + 1 < length && data[a + 1] == '\n') {
            continue;
        }
        if ((c >= 0x20 && c <= 0x7E) || c == '\n' || c == '\t') {
            text[n++] = static_cast<char>(c);
        } else {
            text[n++] = '?';
        }
    }
    text[n] = '\0';
    std::memcpy(info_->comments, text, n + 1);
}

void ExifReader::ParseFrameHeader(const std::uint8_t* data, std::uint32_t length, int marker) {
    // A frame header shorter than its fixed part carries nothing to read.
    if (length < 8) {
        return;
    }
    info_->frameHeight = data[3] * 256 + data[4];
    info_->frameWidth = data[5] * 256 + data[6];
    info_->isColor = data[7] == 3 ? 1 : 0;
    info_->process = marker;
}

void ExifReader::KeepExifAndComment() {
    int exifIndex = -1;
    int commentIndex = -1;
    for (int i = 0; i < sectionCount_; ++i) {
        const int type = sections_[i].type;
        if (type == kMarkerApp1 && exifIndex < 0) {
            exifIndex = i;
        } else if (type == kMarkerCom && commentIndex < 0) {
            commentIndex = i;
        } else {
            FreeSection(sections_[i]);
        }
    }
    Section kept[2];
    int count = 0;
    if (exifIndex >= 0) {
        kept[count++] = std::move(sections_[exifIndex]);
    }
    if (commentIndex >= 0) {
        kept[count++] = std::move(sections_[commentIndex]);
    }
    for (int i = 0; i < sectionCount_; ++i) {
        sections_[i] = Section{};
    }
    for (int i = 0; i < count; ++i) {
        sections_[i] = std::move(kept[i]);
    }
    sectionCount_ = count;
}

const ExifReader::Section* ExifReader::FindSection(int type) const {
    for (int i = 0; i < sectionCount_ - 1; ++i) {
        if (sections_[i].type == type) {
            return &sections_[i];
        }
    }
    return nullptr;
}

bool ExifReader::WriteSections(LxFile* stream) {
    if (!stream || !FindSection(kMarkerSos)) {
        SetError("Can't write exif : didn't read all");
        return false;
    }
    static const std::uint8_t kJfif[18] = {0xFF, 0xE0, 0x00, 0x10, 0x4A, 0x46, 0x49, 0x46, 0x00,
                                           0x01, 0x01, 0x01, 0x01, 0x2C, 0x01, 0x2C, 0x00, 0x00};
    stream->PutByte(0xFF);
    stream->PutByte(0xD8);
    if (sections_[0].type != kMarkerApp1 && sections_[0].type != kMarkerApp0) {
        stream->Write(kJfif, 1, sizeof(kJfif));
    }
    for (int i = 0; i < sectionCount_ - 1; ++i) {
        stream->PutByte(0xFF);
        stream->PutByte(static_cast<std::uint8_t>(sections_[i].type));
        stream->Write(sections_[i].data.get(), 1, sections_[i].size);
    }
    const Section& last = sections_[sectionCount_ - 1];
    stream->Write(last.data.get(), 1, last.size);
    return true;
}
