#include "codec/JpegStreamAdapter.h"

#include "image/LxFile.h"

#include <cstddef>
#include <type_traits>

#include <jerror.h>

static_assert(std::is_standard_layout_v<JpegStreamAdapter>);

// The callbacks below may leave through error_exit (a longjmp to the running
// Decode or Encode), so they hold nothing that needs destroying.
namespace {
JpegStreamAdapter* FromDestination(j_compress_ptr cinfo) {
    return reinterpret_cast<JpegStreamAdapter*>(reinterpret_cast<char*>(cinfo->dest) -
                                                offsetof(JpegStreamAdapter, destination));
}

JpegStreamAdapter* FromSource(j_decompress_ptr cinfo) {
    return reinterpret_cast<JpegStreamAdapter*>(reinterpret_cast<char*>(cinfo->src) -
                                                offsetof(JpegStreamAdapter, source));
}

void InitDestination(j_compress_ptr cinfo) {
    JpegStreamAdapter* self = FromDestination(cinfo);
    self->destination.next_output_byte = self->buffer;
    self->destination.free_in_buffer = JpegStreamAdapter::kBufferSize;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
    JpegStreamAdapter* self = FromDestination(cinfo);
    if (self->stream->Write(self->buffer, 1, JpegStreamAdapter::kBufferSize) !=
        JpegStreamAdapter::kBufferSize) {
        ERREXIT(cinfo, JERR_FILE_WRITE);
    }
    self->destination.next_output_byte = self->buffer;
    self->destination.free_in_buffer = JpegStreamAdapter::kBufferSize;
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
    JpegStreamAdapter* self = FromDestination(cinfo);
    const std::size_t n = JpegStreamAdapter::kBufferSize - self->destination.free_in_buffer;
    if (n > 0 && self->stream->Write(self->buffer, 1, n) == 0) {
        ERREXIT(cinfo, JERR_FILE_WRITE);
    }
    self->stream->Flush();
    if (self->stream->ErrorState() != 0) {
        ERREXIT(cinfo, JERR_FILE_WRITE);
    }
}

void InitSource(j_decompress_ptr cinfo) {
    FromSource(cinfo)->startOfFile = true;
}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
    JpegStreamAdapter* self = FromSource(cinfo);
    std::size_t n = self->stream->Read(self->buffer, 1, JpegStreamAdapter::kBufferSize);
    if (n == 0) {
        if (self->startOfFile) {
            ERREXIT(cinfo, JERR_INPUT_EMPTY);
        }
        // Finish the picture as if the file had ended properly.
        WARNMS(cinfo, JWRN_JPEG_EOF);
        self->buffer[0] = 0xFF;
        self->buffer[1] = JPEG_EOI;
        n = 2;
    }
    self->source.next_input_byte = self->buffer;
    self->source.bytes_in_buffer = n;
    self->startOfFile = false;
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
    if (count <= 0) {
        return;
    }
    JpegStreamAdapter* self = FromSource(cinfo);
    while (static_cast<std::size_t>(count) > self->source.bytes_in_buffer) {
        count -= static_cast<long>(self->source.bytes_in_buffer);
        FillInputBuffer(cinfo);
    }
    self->source.next_input_byte += count;
    self->source.bytes_in_buffer -= static_cast<std::size_t>(count);
}

void TermSource(j_decompress_ptr) {}
} // namespace

JpegStreamAdapter::JpegStreamAdapter(LxFile* s) : stream(s), startOfFile(false) {
    destination.next_output_byte = nullptr;
    destination.free_in_buffer = 0;
    destination.init_destination = InitDestination;
    destination.empty_output_buffer = EmptyOutputBuffer;
    destination.term_destination = TermDestination;
    source.next_input_byte = nullptr;
    source.bytes_in_buffer = 0;
    source.init_source = InitSource;
    source.fill_input_buffer = FillInputBuffer;
    source.skip_input_data = SkipInputData;
    source.resync_to_restart = jpeg_resync_to_restart;
    source.term_source = TermSource;
}
