// What a caption shows and how large: the text with its placeholders filled
// in, the em at the picture's size, Qt's flags and the measured height.
#include "render/CaptionRenderer.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>

int captionEmPixels(const Caption& caption, QSize picture) {
    if (caption.sizeUnit != SizeUnit::PercentOfPicture) {
        return pixelSizeOf(caption.font);
    }
    const double percent = std::isfinite(caption.sizePercent) ? caption.sizePercent : 0.0;
    const double shorter = std::max(0, std::min(picture.width(), picture.height()));
    const double em = std::clamp(std::round(shorter * percent / 100.0), 1.0,
                                 static_cast<double>(kMaxCaptionPixelSize));
    return static_cast<int>(em);
}

int fittedEmPixels(const Caption& caption, const QString& text, int em, double width) {
    if (caption.fit != TextFit::Shrink || text.isEmpty() || !(width > 0))
        return em;
    const auto fits = [&](int size) {
        const QFontMetricsF metrics(toQFont(caption.font, size));
        const QRectF unbounded(0, 0, 1 << 24, 1 << 24);
        const QRectF natural = metrics.boundingRect(unbounded, Qt::AlignLeft, text);
        const QRectF room(0, 0, width, 1 << 24);
        return natural.width() <= width &&
               metrics.boundingRect(room, Qt::AlignLeft | Qt::TextWordWrap, text).height() <=
                   natural.height();
    };
    if (fits(em))
        return em;
    // The widths grow with the em nearly in proportion, but hinting and
    // rounding do not: search the whole range.
    int low = std::max(1, static_cast<int>(std::ceil(em * 0.4)));
    int high = em - 1;
    if (!fits(low))
        return low;
    while (low < high) {
        const int middle = low + (high - low + 1) / 2;
        if (fits(middle))
            low = middle;
        else
            high = middle - 1;
    }
    return low;
}

QFont captionFont(const Caption& caption, QSize picture) {
    return toQFont(caption.font, captionEmPixels(caption, picture));
}

QString displayedText(const Caption& caption, const QString& description,
                      const PlaceholderValues& values) {
    QString text =
        caption.useDescriptionAsText ? description : substitutePlaceholders(caption.text, values);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

int textFlags(const Caption& caption, bool onImage) {
    int flags = Qt::TextWordWrap;
    switch (caption.horizontalAlignment) {
    case HorizontalAlignment::Center:
        flags |= Qt::AlignHCenter;
        break;
    case HorizontalAlignment::Right:
        flags |= Qt::AlignRight;
        break;
    default:
        flags |= Qt::AlignLeft;
        break;
    }
    int vertical = Qt::AlignTop;
    if (onImage) {
        if (caption.verticalAlignment == VerticalAlignment::Center) {
            vertical = Qt::AlignVCenter;
        } else if (caption.verticalAlignment == VerticalAlignment::Bottom) {
            vertical = Qt::AlignBottom;
        }
    }
    return flags | vertical;
}

double measureTextHeight(const QString& text, const QFont& font, const QRectF& box, int flags) {
    if (text.isEmpty() || box.isEmpty()) {
        return 0.0;
    }
    const QFontMetricsF metrics(font);
    const double height = metrics.boundingRect(box, flags, text).height();
    return std::clamp(height, 0.0, box.height());
}

int roundBandHeight(double height) {
    return static_cast<int>(static_cast<float>(std::ceil(height)));
}
