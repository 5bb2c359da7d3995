#pragma once

#include "captions/LogFont.h"

#include <QString>

#include <cstdint>

// The three choices of a caption are stored as character codes, not
// ordinals; a value outside each set is kept as it is and the renderer
// treats it as described at each use.
namespace HorizontalAlignment {
constexpr std::int32_t Left = 'l';
constexpr std::int32_t Center = 'c';
constexpr std::int32_t Right = 'r';
} // namespace HorizontalAlignment

namespace VerticalAlignment {
constexpr std::int32_t Top = 't';
constexpr std::int32_t Center = 'c';
constexpr std::int32_t Bottom = 'b';
} // namespace VerticalAlignment

namespace Disposition {
constexpr std::int32_t OnImage = 'i';
constexpr std::int32_t TopBand = 'T';
constexpr std::int32_t BottomBand = 'B';
} // namespace Disposition

// The font every new caption starts with: Arial, 14 pixels em, regular.
inline LogFont defaultCaptionFont() {
    LogFont font;
    font.height = -14;
    font.weight = 400;
    font.charSet = 1;
    font.quality = 2;
    font.faceName = QStringLiteral("Arial");
    return font;
}

// One caption. Colours are 0x00BBGGRR (red in the low byte; the top byte is
// ignored when drawing). Lengths are pixels of the full-size picture. Text
// keeps CR LF line breaks as a multi-line edit produces them.
struct Caption {
    QString text;
    LogFont font = defaultCaptionFont();
    std::uint32_t textColor = 0xFF000000;
    std::uint32_t backgroundColor = 0xFFFFFFFF;
    std::int32_t marginLeft = 0;
    std::int32_t marginTop = 0;
    std::int32_t marginRight = 0;
    std::int32_t marginBottom = 0;
    // The text becomes the picture's description; such a caption is not drawn.
    bool useTextAsDescription = false;
    // The picture's description is drawn in place of the text.
    bool useDescriptionAsText = false;
    std::int32_t horizontalAlignment = HorizontalAlignment::Left;
    std::int32_t verticalAlignment = VerticalAlignment::Top;
    std::int32_t disposition = Disposition::OnImage;

    bool operator==(const Caption&) const = default;
};
