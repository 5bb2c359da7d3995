#pragma once

#include <exiv2/exiv2.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The metadata library at this layer's boundary: set up once per process
// (its XMP toolkit guarded by a lock, so threads may share it), its log kept
// off the terminal and its errors counted, everything it throws caught.

// A JPEG stream read by the library. `image` is null when it could not be
// read; `problem` says what was wrong, also when the library read the data
// but reported errors in it. The image reads from `jpeg`, which must outlive
// it.
struct MetadataRead {
    std::unique_ptr<Exiv2::Image> image;
    std::string problem;
};
MetadataRead readWithLibrary(const std::vector<std::uint8_t>& jpeg);
// The same for a file of any format the library reads, from memory that
// must outlive the image.
MetadataRead readFileWithLibrary(const std::uint8_t* data, std::size_t size);

struct PhotoFacts;
// The facts a caption can show, from EXIF the library has read; never throws.
PhotoFacts factsFromExif(const Exiv2::ExifData& exif);

// Fills the words of `facts` (title, creator, place, keywords, rating...)
// from XMP, else IPTC, else EXIF; never throws.
void readPhotoWords(const Exiv2::XmpData& xmp, const Exiv2::IptcData& iptc,
                    const Exiv2::ExifData& exif, PhotoFacts& facts);

// The text of a language alternative in the default language, or the first;
// any other value as text.
std::string defaultLanguageText(const Exiv2::Value& value);

// An empty JPEG stream (start and end of image) for the library to write
// metadata into.
std::unique_ptr<Exiv2::Image> emptyJpegForWriting();
