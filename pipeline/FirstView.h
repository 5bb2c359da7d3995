#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>

// A small picture of a photo to show while the whole one is decoded.
struct FirstView {
    // Upright, opaque RGB32; null when there is none.
    QImage picture;
    // The size the whole picture will have, upright: the view fits the
    // small one into that, so it takes the place the whole one will take.
    QSize fullSize;
};

// Decodes a JPEG at the smallest of 1/8, 1/4, 1/2 and whole whose longer
// side reaches `longerSide` pixels, scaled by libjpeg in the DCT domain, and
// turns it upright by its EXIF orientation. Nothing for other formats, for a
// file that cannot be read and for a picture the open would refuse for its
// size (over `maxPixels` or the memory available): the whole open then says
// why. Safe to run on any thread.
FirstView decodeFirstView(const QString& path, int longerSide, std::uint64_t maxPixels);
