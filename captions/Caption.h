#pragma once

#include "captions/LogFont.h"

#include <QColor>
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

// What a caption does with a text wider than its room: wrap it into more
// lines, or first shrink its font (to 40% at most) to keep it on one line.
namespace TextFit {
constexpr std::int32_t Wrap = 'w';
constexpr std::int32_t Shrink = 's';
} // namespace TextFit

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

// How a caption's text size is given: a percentage of the picture's shorter
// side, or pixels (the font's own height).
enum class SizeUnit : std::int32_t { Pixels = 0, PercentOfPicture = 1 };

// The default caption's size: 14 pixels on a 480-pixel-high picture.
constexpr double kDefaultSizePercent = 1400.0 / 480.0;

// A line drawn around every glyph. The width is in `widthUnit`: pixels, or
// a percentage of the picture's shorter side.
struct TextOutline {
    bool enabled = false;
    double width = 2;
    SizeUnit widthUnit = SizeUnit::Pixels;
    std::uint32_t color = 0x00FFFFFF; // 0x00BBGGRR

    bool operator==(const TextOutline&) const = default;
};

// A soft copy of the text (and its outline) behind it.
struct TextShadow {
    bool enabled = false;
    std::int32_t offsetX = 3; // pixels, right and down positive
    std::int32_t offsetY = 3;
    double blur = 4; // radius in pixels
    std::uint32_t color = 0x00000000;
    std::int32_t opacity = 60; // percent

    bool operator==(const TextShadow&) const = default;
};

// A filled rectangle behind on-image text, around its laid-out bounds.
struct TextBox {
    bool enabled = false;
    std::uint32_t color = 0x00000000;
    std::int32_t opacity = 50; // percent
    std::int32_t padding = 8;  // pixels on every side

    bool operator==(const TextBox&) const = default;
};

// The colour a caption's 0x00BBGGRR value draws in, opaque, and the value
// of a chosen colour.
inline QColor captionColor(std::uint32_t bbggrr) {
    return QColor(static_cast<int>(bbggrr & 0xFF), static_cast<int>((bbggrr >> 8) & 0xFF),
                  static_cast<int>((bbggrr >> 16) & 0xFF));
}
inline std::uint32_t captionColorValue(const QColor& color) {
    return static_cast<std::uint32_t>(color.red()) |
           (static_cast<std::uint32_t>(color.green()) << 8) |
           (static_cast<std::uint32_t>(color.blue()) << 16);
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
    // The text size: the font's own pixel height, or sizePercent of the
    // picture's shorter side (the font's height is then not used).
    SizeUnit sizeUnit = SizeUnit::PercentOfPicture;
    double sizePercent = kDefaultSizePercent;
    std::int32_t fit = TextFit::Wrap;
    // Legibility on busy photos; all off by default.
    TextOutline outline;
    TextShadow shadow;
    TextBox box;

    bool operator==(const Caption&) const = default;
};
