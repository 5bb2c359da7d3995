#pragma once

#include <QFont>
#include <QString>

#include <cstdint>

// A font description with the fields of the Windows logical font record.
// Heights are pixels: negative is the em height, positive the cell height
// (ascent plus descent), 0 the default. It is a plain value: copying a
// caption copies its font, and there is nothing to create or release.
struct LogFont {
    static constexpr int kFaceNameCapacity = 32; // units, terminator included

    std::int32_t height = 0;
    std::int32_t width = 0;
    std::int32_t escapement = 0;
    std::int32_t orientation = 0;
    std::int32_t weight = 0;
    std::uint8_t italic = 0;
    std::uint8_t underline = 0;
    std::uint8_t strikeOut = 0;
    std::uint8_t charSet = 0;
    std::uint8_t outPrecision = 0;
    std::uint8_t clipPrecision = 0;
    std::uint8_t quality = 0;
    std::uint8_t pitchAndFamily = 0;
    QString faceName; // at most kFaceNameCapacity - 1 UTF-16 units

    bool operator==(const LogFont&) const = default;

    // Stores a face name cut to what the record can hold.
    void setFaceName(const QString& name);
    // Weights above 500 draw bold; 500 itself is still regular.
    bool isBold() const { return weight > 500; }
};

// The em height in pixels that a description asks for, clamped to a range
// Qt can draw; a default (0) height gives the default caption size.
int pixelSizeOf(const LogFont& font);
// A drawing font sized in pixels, so the screen's DPI never changes a
// caption: face, em or cell height, bold or regular, italic, underline and
// strike-out carry over. Width, escapement and orientation are not used.
QFont toQFont(const LogFont& font);
// The same font at an em of `pixelSize` pixels (clamped like the height),
// whatever the description's own height says.
QFont toQFont(const LogFont& font, int pixelSize);
// The largest em a caption font is drawn at.
constexpr int kMaxCaptionPixelSize = 65535;
