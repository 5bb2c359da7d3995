#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio> // jpeglib.h needs FILE and size_t declared first

#include <jpeglib.h>

class LxFile;

// libjpeg's source and destination manager over an LxFile, moving data in
// 4096-byte chunks. Lives on the stack of one Decode or Encode; the stream is
// not owned. Standard layout, so the callbacks can find the adapter from the
// manager record libjpeg hands them.
struct JpegStreamAdapter {
    static constexpr std::size_t kBufferSize = 4096;

    explicit JpegStreamAdapter(LxFile* stream);
    JpegStreamAdapter(const JpegStreamAdapter&) = delete;
    JpegStreamAdapter& operator=(const JpegStreamAdapter&) = delete;

    void InstallSource(j_decompress_ptr cinfo) { cinfo->src = &source; }
    void InstallDestination(j_compress_ptr cinfo) { cinfo->dest = &destination; }

    jpeg_destination_mgr destination;
    jpeg_source_mgr source;
    LxFile* stream;
    bool startOfFile;
    JOCTET buffer[kBufferSize];
};
