#pragma once

#include <string>

// What a photo's metadata says of how it was taken, as short texts ready to
// show (UTF-8). A value the photo lacks, or holds damaged or of the wrong
// type, is empty.
struct PhotoFacts {
    std::string date;     // DateTimeOriginal as YYYY-MM-DD
    std::string time;     // DateTimeOriginal as HH:MM
    std::string camera;   // Make and Model; Model alone when it starts with the Make
    std::string lens;     // LensModel
    std::string exposure; // "1/250 s", "2 s"
    std::string aperture; // "f/2.8"
    std::string iso;      // "ISO 200"
    std::string focal;    // "50 mm"
    std::string gps;      // "48.85837° N, 2.29448° E"
    // DateTimeOriginal as "YYYY-MM-DDTHH:MM:SS", for dates in a format of the
    // caption's own.
    std::string dateTime;

    // The words other programs wrote about the photo, each from XMP, else
    // IPTC, else EXIF; lists joined with ", ".
    std::string title;
    std::string headline;
    std::string creator;
    std::string copyright;
    std::string city;
    std::string state;
    std::string country;
    std::string sublocation;
    std::string keywords;
    std::string rating; // "★★★" for a rating of 3; empty for 0, rejected or none
};
