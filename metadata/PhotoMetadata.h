#pragma once

#include "codec/JpegRows.h"
#include "metadata/PhotoFacts.h"

#include <cstdint>
#include <string>
#include <vector>

// What a save carries of the source photo's metadata.
enum class MetadataChoice {
    KeepAll,            // EXIF, XMP, IPTC and the ICC profile, brought in step
    KeepAllButLocation, // the same without GPS and location fields
    DescriptionOnly,    // a single ImageDescription entry, nothing else
};

// A photo's metadata as the open pipeline keeps it: the header segments a
// save may carry and what they say of the photo. Plain data; the metadata
// library is used only inside this layer.
struct PhotoMetadata {
    // APP1 (EXIF, XMP), APP2 (ICC) and APP13 (IPTC) segments in file order.
    std::vector<JpegSegment> segments;
    // The photo had more metadata than may be carried; nothing is carried.
    bool overBudget = false;
    // The first image directory's Orientation, 1..8 (1 when missing or odd).
    int orientation = 1;
    // Descriptions written by other programs (UTF-8), empty when absent.
    std::string xmpDescription;
    std::string iptcDescription;
    // What a caption can show of how the photo was taken.
    PhotoFacts facts;
    // Why the metadata cannot be carried, empty when it can.
    std::string problem;
    // Parts found damaged and left out while the rest is carried, each named
    // for a person ("maker note", "XMP packet", "IPTC record", "colour
    // profile"), in that order.
    std::vector<std::string> leftOutParts;

    bool hasCarriableSegments() const;
};

// Reads the kept segments, in one pass of the library when they are sound:
// orientation, descriptions, facts for placeholders and whether they can be
// carried. A damaged part is left out on its own and named in
// `leftOutParts`: a maker note (the EXIF kept without it), an XMP packet,
// an IPTC record, an incomplete ICC profile. Only EXIF that cannot be read
// even without its maker note, or metadata over the budget, sets `problem`,
// and then nothing is carried. Never throws.
PhotoMetadata readPhotoMetadata(JpegKeptSegments kept);

// The metadata segments (complete, with markers) for a saved picture of
// `width` x `height` carrying `description` (UTF-8), to go after the
// encoder's JFIF header. The Orientation becomes 1 (the picture is saved
// upright) unless `keepOrientation` (a copy in the stored orientation).
// When the source's metadata cannot be carried, `segments` is empty and
// `leftOut` says why; the caller then writes the description alone.
struct CarriedMetadata {
    std::vector<std::uint8_t> segments;
    std::string leftOut;
    // The damaged parts left out of `segments` (the source's leftOutParts).
    std::vector<std::string> leftOutParts;
};
CarriedMetadata carryMetadata(const PhotoMetadata& source, MetadataChoice choice,
                              const std::string& description, std::uint32_t width,
                              std::uint32_t height, bool keepOrientation = false);
