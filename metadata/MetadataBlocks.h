#pragma once

#include "codec/JpegRows.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The metadata of a picture format other than JPEG, turned into the APP1,
// APP2 and APP13 segments a JPEG would keep, so that readPhotoMetadata and
// carryMetadata treat every source alike.

// Blocks as a container format hands them out.
struct MetadataBlocks {
    std::vector<std::uint8_t> exif; // a TIFF structure: byte order mark first
    std::string xmp;                // an XMP packet
    std::vector<std::uint8_t> icc;  // a whole ICC profile
};

// The segments for the blocks, at most `budget` bytes of them; what would pass
// it is left out and the result marked over budget. EXIF that does not fit
// one segment is written again smaller by the metadata library (large
// previews and unknown large tags dropped).
JpegKeptSegments segmentsFromBlocks(const MetadataBlocks& blocks,
                                    std::size_t budget = JpegKeptSegments::kDefaultBudget);

// The EXIF (TIFF's own directories included), XMP, IPTC and ICC data of a
// PNG, TIFF or WebP file, read by the metadata library, as segments. The
// picture's own layout (strips, tiles, sample format) is never among them.
// Never throws; when the library cannot read the file's metadata at all,
// nothing is given and `problem` says why.
JpegKeptSegments readEmbeddedMetadata(const std::uint8_t* data, std::size_t size,
                                      std::string& problem);
