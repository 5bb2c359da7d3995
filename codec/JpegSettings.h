#pragma once

#include "codec/JpegErrorManager.h" // jpeglib.h with what it needs first

#include <cstddef>
#include <cstdint>

// What every JPEG this program writes is, set after jpeg_set_defaults:
// the given quality, 4:2:0 chroma (luma sampled 2 x 2 against 1 x 1), and
// the resolution in dots per inch.
inline void ConfigureEncoder(jpeg_compress_struct& cinfo, int quality, unsigned xDpi,
                             unsigned yDpi) {
    jpeg_set_quality(&cinfo, quality, FALSE);
    cinfo.comp_info[0].h_samp_factor = 2;
    cinfo.comp_info[0].v_samp_factor = 2;
    for (int c = 1; c < 3; ++c) {
        cinfo.comp_info[c].h_samp_factor = 1;
        cinfo.comp_info[c].v_samp_factor = 1;
    }
    cinfo.density_unit = 1;
    cinfo.X_density = static_cast<UINT16>(xDpi);
    cinfo.Y_density = static_cast<UINT16>(yDpi);
}

// Inverted (Adobe-style) CMYK samples, four a pixel, to blue, green, red
// written `step` bytes apart (3 for BGR, 4 for BGRX, whose fourth byte is
// left alone).
inline void InvertedCmykToBgr(const JSAMPLE* cmyk, std::uint8_t* bgr, std::size_t pixels,
                              std::size_t step) {
    for (std::size_t x = 0; x < pixels; ++x, cmyk += 4, bgr += step) {
        const unsigned k = cmyk[3];
        bgr[0] = static_cast<std::uint8_t>(k * cmyk[2] / 255);
        bgr[1] = static_cast<std::uint8_t>(k * cmyk[1] / 255);
        bgr[2] = static_cast<std::uint8_t>(k * cmyk[0] / 255);
    }
}
