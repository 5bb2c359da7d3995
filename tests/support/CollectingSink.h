#pragma once

// A row sink for the JPEG row decoder's tests: keeps what it is given.
#include "codec/JpegRows.h"
#include "image/LxIOFile.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace testing_support {

// Keeps every row it is given, top first, in 32-bit pixels: filled directly
// or handed over, and all rows or only every third band of 8.
class CollectingSink : public JpegRowSink {
public:
    bool begin(const JpegFrame& f, const JpegKeptSegments& kept) override {
        frame = f;
        segmentsAtBegin = kept.segments.size();
        if (accept)
            pixels.assign(std::size_t{f.width} * f.height * 4, 0);
        return accept;
    }
    std::uint8_t* directRow(std::uint32_t y) override {
        return direct ? pixels.data() + std::size_t{y} * frame.width * 4 : nullptr;
    }
    bool wants(std::uint32_t y) override { return skipping ? (y / 8) % 3 == 1 : true; }
    void rows(std::uint32_t first, std::uint32_t count, const std::uint8_t* const* rows) override {
        ++handOvers;
        for (std::uint32_t i = 0; i < count; ++i)
            std::copy(rows[i], rows[i] + frame.width * 4,
                      pixels.begin() + std::size_t{first + i} * frame.width * 4);
    }

    bool accept = true; // false: refuse in begin(), having seen the header
    bool direct = false;
    bool skipping = false;
    JpegFrame frame;
    std::size_t segmentsAtBegin = 0;
    int handOvers = 0;
    std::vector<std::uint8_t> pixels;
};

// Decodes a file into the sink through an LxIOFile, as the open pipeline does.
inline bool DecodeRowsOf(const std::filesystem::path& path, CollectingSink& sink,
                         JpegKeptSegments& kept, std::string& error) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         std::fclose);
    LxIOFile stream(file.get(), false);
    return file && DecodeJpegRows(&stream, sink, kept, error, 1L << 30);
}

} // namespace testing_support
