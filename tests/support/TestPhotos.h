#pragma once

#include "document/DocumentModel.h"
#include "tests/support/QtPaths.h"
#include "tests/support/TestSupport.h"

#include <QImage>

#include <cstdint>
#include <filesystem>
#include <vector>

namespace testing_support {

// A JPEG of the picture as the program's encoder writes it (quality 90,
// 4:2:0), with `segments` placed right after its JFIF header.
inline std::vector<std::uint8_t>
JpegOf(const QImage& picture, const std::vector<std::vector<std::uint8_t>>& segments = {}) {
    const QImage rgb32 = picture.convertToFormat(QImage::Format_RGB32);
    return JpegOfRows(rgb32.constBits(), rgb32.bytesPerLine(), rgb32.width(), rgb32.height(),
                      segments);
}

// Writes the picture at `file` as a PNG, which keeps it pixel for pixel,
// and opens it in the model as File, Open does; whether it opened.
inline bool OpenPicture(DocumentModel& model, const QImage& picture,
                        const std::filesystem::path& file) {
    return picture.save(Q(file), "PNG") && model.open(Q(file)).ok;
}

} // namespace testing_support
