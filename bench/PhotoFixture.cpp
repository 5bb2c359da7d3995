#include "bench/PhotoFixture.h"

#include "codec/LxImageJPG.h"
#include "image/LxIOFile.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jpeglib.h>
#include <unistd.h>

namespace bench_support {

PhotoRows::PhotoRows(int width, int height) : width_(width), height_(height) {}

void PhotoRows::Next(std::uint8_t* bgr) {
    const double fy = double(y_) / height_;
    for (int x = 0; x < width_; ++x) {
        const double fx = double(x) / width_;
        // Low-frequency "scene" plus per-pixel noise.
        const double sky = 40 + 150 * fy + 30 * std::sin(fx * 9.0 + fy * 4.0);
        const double blob = 60 * std::sin(fx * 23.0) * std::cos(fy * 17.0) +
                            18 * std::sin(x * 0.31) * std::sin(y_ * 0.17); // fine texture
        seed_ ^= seed_ << 13;
        seed_ ^= seed_ >> 17;
        seed_ ^= seed_ << 5;
        const int noise = static_cast<int>(seed_ % 29) - 14;
        const auto clamp = [](double v) {
            return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
        };
        bgr[3 * x] = clamp(sky + blob + noise);                 // blue
        bgr[3 * x + 1] = clamp(0.8 * sky - blob * 0.5 + noise); // green
        bgr[3 * x + 2] = clamp(200 - sky * 0.6 + blob + noise); // red
    }
    ++y_;
}

void FillPhoto(LxImage& image, int width, int height) {
    image.Create(width, height, 24, LxImage::kTypeJpeg);
    PhotoRows rows(width, height);
    for (int y = 0; y < height; ++y) {
        rows.Next(image.GetRowPointer(y));
    }
}

bool WritePhotoJpeg(const std::string& path, int width, int height) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        return false;
    }
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    cinfo.comp_info[0].h_samp_factor = 2;
    cinfo.comp_info[0].v_samp_factor = 2;
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<std::uint8_t> row(std::size_t(width) * 3);
    PhotoRows rows(width, height);
    while (cinfo.next_scanline < cinfo.image_height) {
        rows.Next(row.data());
        JSAMPROW at = row.data();
        jpeg_write_scanlines(&cinfo, &at, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(file) == 0;
}

std::vector<std::uint8_t> ToRgbRows(const LxImage& image) {
    const int w = image.GetWidth();
    const int h = image.GetHeight();
    std::vector<std::uint8_t> rgb(std::size_t(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* src = image.GetRowPointer(h - 1 - y);
        std::uint8_t* dst = &rgb[std::size_t(y) * w * 3];
        for (int x = 0; x < w; ++x) {
            dst[3 * x] = src[3 * x + 2];
            dst[3 * x + 1] = src[3 * x + 1];
            dst[3 * x + 2] = src[3 * x];
        }
    }
    return rgb;
}

std::string PhotoJpegPath() {
    static const std::string path = [] {
        // One file per process: benchmarks of other work trees may run at the
        // same time, and each removes its photo when it ends.
        const std::string p = "/tmp/lumora-bench-photo-24mp-" + std::to_string(::getpid()) + ".jpg";
        LxImageJPG image;
        FillPhoto(image, kPhotoWidth, kPhotoHeight);
        std::FILE* file = std::fopen(p.c_str(), "wb");
        if (!file) {
            std::abort();
        }
        {
            LxIOFile stream(file, false);
            if (!image.Encode(&stream)) {
                std::abort();
            }
        }
        std::fclose(file);
        return p;
    }();
    return path;
}

bool BareDecode(const std::string& path, RgbBuffer& rgb, int& width, int& height) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        return false;
    }
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    width = static_cast<int>(cinfo.output_width);
    height = static_cast<int>(cinfo.output_height);
    const std::size_t stride = std::size_t(width) * cinfo.output_components;
    rgb.reset(static_cast<std::uint8_t*>(std::malloc(stride * height)));
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = rgb.get() + stride * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
    return true;
}

std::size_t BareEncode(const std::vector<std::uint8_t>& rgb, int width, int height) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, FALSE);
    cinfo.comp_info[0].h_samp_factor = 2;
    cinfo.comp_info[0].v_samp_factor = 2;
    jpeg_start_compress(&cinfo, TRUE);
    const std::size_t stride = std::size_t(width) * 3;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&rgb[stride * cinfo.next_scanline]);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::free(out);
    return size;
}

} // namespace bench_support
