#include "render/TextStyle.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QImage>
#include <QPainter>
#include <QPainterPathStroker>
#include <QRawFont>
#include <QTextLayout>
#include <QTransform>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

double finiteOrZero(double value) {
    return std::isfinite(value) ? value : 0.0;
}

int percentToAlpha(std::int32_t percent) {
    return static_cast<int>(std::lround(std::clamp(percent, 0, 100) * 255.0 / 100.0));
}

// The size glyph outlines are read at before scaling to the text's size.
constexpr double kOutlinePixels = 2048;

// Three passes of a box blur come close to a Gaussian; each pass of
// half-width h spreads the ink by h pixels.
constexpr int kBlurPasses = 3;

int blurHalfWidth(int radius) {
    return (radius + kBlurPasses - 1) / kBlurPasses;
}

// Rounded division of the sum of a window of 8-bit values by its length,
// as a multiplication: exact for windows of up to 4,000 values (the blur's
// are at most 169), and several times faster than dividing every pixel.
class WindowMean {
public:
    explicit WindowMean(std::uint32_t window)
        : half_(window / 2), factor_((std::uint64_t{1} << 32) / window + 1) {}
    std::uint8_t operator()(std::uint32_t sum) const {
        return static_cast<std::uint8_t>(((sum + half_) * factor_) >> 32);
    }

private:
    std::uint64_t half_;
    std::uint64_t factor_;
};

// One pass over `count` values `stride` apart: each becomes the mean of the
// 2h + 1 values around it, nothing (0) lying beyond the ends.
void boxBlurLine(std::uint8_t* values, int count, std::ptrdiff_t stride, int h,
                 std::vector<std::uint32_t>& prefix) {
    prefix.resize(static_cast<std::size_t>(count) + 1);
    prefix[0] = 0;
    for (int i = 0; i < count; ++i)
        prefix[static_cast<std::size_t>(i) + 1] =
            prefix[static_cast<std::size_t>(i)] + values[i * stride];
    const WindowMean mean(2 * static_cast<std::uint32_t>(h) + 1);
    for (int i = 0; i < count; ++i) {
        const auto high = static_cast<std::size_t>(std::min(count, i + h + 1));
        const auto low = static_cast<std::size_t>(std::max(0, i - h));
        values[i * stride] = mean(prefix[high] - prefix[low]);
    }
}

// One pass down the columns of a `w` x `rows` block: each value becomes the
// mean of the 2h + 1 values above and below it. Row by row, with a running
// sum per column, so that memory is read in order.
void boxBlurColumns(std::vector<std::uint8_t>& values, int w, int rows, int h,
                    std::vector<std::uint8_t>& out, std::vector<std::uint32_t>& sums) {
    const auto width = static_cast<std::size_t>(w);
    out.resize(values.size());
    sums.assign(width, 0);
    const auto row = [&](int y) { return values.data() + static_cast<std::size_t>(y) * width; };
    for (int y = 0; y < std::min(h, rows - 1) + 1; ++y) {
        const std::uint8_t* in = row(y);
        for (std::size_t x = 0; x < width; ++x)
            sums[x] += in[x];
    }
    const WindowMean mean(2 * static_cast<std::uint32_t>(h) + 1);
    for (int y = 0; y < rows; ++y) {
        std::uint8_t* line = out.data() + static_cast<std::size_t>(y) * width;
        for (std::size_t x = 0; x < width; ++x)
            line[x] = mean(sums[x]);
        if (y + h + 1 < rows) {
            const std::uint8_t* in = row(y + h + 1);
            for (std::size_t x = 0; x < width; ++x)
                sums[x] += in[x];
        }
        if (y - h >= 0) {
            const std::uint8_t* in = row(y - h);
            for (std::size_t x = 0; x < width; ++x)
                sums[x] -= in[x];
        }
    }
    values.swap(out);
}

// Blurs the alpha of a premultiplied layer of one colour and paints the
// layer in `colour` with the blurred alpha times `opacity`.
void blurLayer(QImage& layer, int h, const QColor& colour, double opacity) {
    const int w = layer.width();
    const int rows = layer.height();
    const auto width = static_cast<std::size_t>(w);
    std::vector<std::uint8_t> alpha(width * static_cast<std::size_t>(rows));
    for (int y = 0; y < rows; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(layer.constScanLine(y));
        std::uint8_t* out = alpha.data() + static_cast<std::size_t>(y) * width;
        for (int x = 0; x < w; ++x)
            out[x] = static_cast<std::uint8_t>(qAlpha(line[x]));
    }
    std::vector<std::uint32_t> prefix;
    std::vector<std::uint8_t> scratch;
    for (int pass = 0; pass < kBlurPasses && h > 0; ++pass) {
        for (int y = 0; y < rows; ++y)
            boxBlurLine(alpha.data() + static_cast<std::ptrdiff_t>(y) * w, w, 1, h, prefix);
        boxBlurColumns(alpha, w, rows, h, scratch, prefix);
    }
    // Every alpha to its pixel: the colour premultiplied by alpha x opacity.
    std::array<QRgb, 256> pixel{};
    const QRgb tint = colour.rgb();
    for (int a = 0; a < 256; ++a) {
        const int shown = static_cast<int>(std::lround(a * opacity));
        pixel[static_cast<std::size_t>(a)] =
            qPremultiply(qRgba(qRed(tint), qGreen(tint), qBlue(tint), shown));
    }
    for (int y = 0; y < rows; ++y) {
        auto* line = reinterpret_cast<QRgb*>(layer.scanLine(y));
        const std::uint8_t* in = alpha.data() + static_cast<std::size_t>(y) * width;
        for (int x = 0; x < w; ++x)
            line[x] = pixel[in[x]];
    }
}

// The area the outline covers. The pen is centred on the glyph's edge:
// twice the width puts `width` pixels outside it; the text drawn on top
// covers the inner half. Made as paths and filled, not stroked: Qt's
// stroker simplifies curves outside the painter's clip, which would make
// the pixels inside a partly redrawn area differ from a whole render.
// One path per glyph: Qt's antialiasing rasteriser slows down sharply on a
// single path of a whole line of overlapping stroke pieces (about six times
// slower for a line of 120-pixel text).
std::vector<QPainterPath> outlineArea(const LaidOutText& laidOut, const ResolvedStyle& style) {
    QPainterPathStroker stroker;
    stroker.setWidth(2 * style.outlineWidth);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    std::vector<QPainterPath> outline;
    outline.reserve(laidOut.glyphs.size());
    for (const QPainterPath& glyph : laidOut.glyphs)
        outline.push_back(stroker.createStroke(glyph));
    return outline;
}

void fillAll(QPainter& painter, const std::vector<QPainterPath>& paths, const QColor& colour) {
    for (const QPainterPath& path : paths)
        painter.fillPath(path, colour);
}

// The glyphs with their outline, in one colour.
void paintInk(QPainter& painter, const LaidOutText& laidOut,
              const std::vector<QPainterPath>& outline, const QColor& colour) {
    painter.setRenderHint(QPainter::Antialiasing);
    fillAll(painter, outline, colour);
    fillAll(painter, laidOut.glyphs, colour);
}

// The pixels the glyphs and their outline cover, within the text's clip.
QRect inkRect(const LaidOutText& laidOut, const ResolvedStyle& style, const QRectF& textClip) {
    const double grow = std::ceil(style.outlineWidth) + 1;
    return laidOut.glyphBounds.adjusted(-grow, -grow, grow, grow)
        .intersected(textClip)
        .toAlignedRect();
}

// Where the shadow's layer lies before its offset: the ink widened by the
// blur's spread.
QRect shadowLayerRect(const LaidOutText& laidOut, const ResolvedStyle& style,
                      const QRectF& textClip) {
    const QRect ink = inkRect(laidOut, style, textClip);
    if (ink.isEmpty())
        return {};
    const int spread = kBlurPasses * blurHalfWidth(style.shadowBlur);
    return ink.adjusted(-spread, -spread, spread, spread);
}

void drawShadow(QPainter& painter, const LaidOutText& laidOut,
                const std::vector<QPainterPath>& outline, const ResolvedStyle& style,
                const StyledClips& clips, const QRectF& area) {
    const QRect layerRect = shadowLayerRect(laidOut, style, clips.textClip);
    const QRectF target =
        QRectF(layerRect.translated(style.shadowOffset)).intersected(clips.styleClip & area);
    if (layerRect.isEmpty() || target.isEmpty())
        return;
    QImage layer(layerRect.size(), QImage::Format_ARGB32_Premultiplied);
    if (layer.isNull())
        return;
    layer.fill(Qt::transparent);
    {
        QPainter ink(&layer);
        ink.translate(-layerRect.topLeft());
        ink.setClipRect(clips.textClip);
        paintInk(ink, laidOut, outline, Qt::black);
    }
    blurLayer(layer, blurHalfWidth(style.shadowBlur), style.shadowColor, style.shadowOpacity);
    painter.save();
    painter.setClipRect(target);
    painter.drawImage(layerRect.topLeft() + style.shadowOffset, layer);
    painter.restore();
}

} // namespace

ResolvedStyle resolveStyle(const Caption& caption, int shorterSide, int longerSide, int em,
                           bool onImage) {
    ResolvedStyle style;
    const int limit = std::max(1, longerSide);
    if (caption.outline.enabled) {
        double width = finiteOrZero(caption.outline.width);
        if (caption.outline.widthUnit == SizeUnit::PercentOfPicture)
            width = width * shorterSide / 100.0;
        const double widest = std::min(static_cast<double>(limit), std::max(1, em) / 2.0);
        style.outlineWidth = std::clamp(width, 0.0, widest);
        style.outlineColor = captionColor(caption.outline.color);
    }
    if (caption.shadow.enabled && caption.shadow.opacity > 0) {
        style.shadow = true;
        style.shadowOffset = QPoint(std::clamp(caption.shadow.offsetX, -limit, limit),
                                    std::clamp(caption.shadow.offsetY, -limit, limit));
        const double blur =
            std::clamp(finiteOrZero(caption.shadow.blur), 0.0, static_cast<double>(kMaxShadowBlur));
        style.shadowBlur = static_cast<int>(std::lround(blur));
        style.shadowColor = captionColor(caption.shadow.color);
        style.shadowOpacity = std::min(caption.shadow.opacity, 100) / 100.0;
    }
    if (caption.box.enabled && onImage && caption.box.opacity > 0) {
        style.box = true;
        style.boxColor = captionColor(caption.box.color);
        style.boxColor.setAlpha(percentToAlpha(caption.box.opacity));
        style.boxPadding = std::clamp(caption.box.padding, 0, limit);
    }
    return style;
}

namespace {
// The underline and strike-out bars drawText draws across a line, as shapes
// among the glyphs, so that the outline and the shadow take them in too.
void addDecorations(const QTextLine& line, const QPointF& origin, const QFont& font,
                    LaidOutText& result) {
    if ((!font.underline() && !font.strikeOut()) || line.naturalTextWidth() <= 0)
        return;
    const QFontMetricsF metrics(font);
    const double thickness = std::max(1.0, metrics.lineWidth());
    const double baseline = origin.y() + line.y() + line.ascent();
    const auto addBar = [&](double centre) {
        const QRectF rect(origin.x() + line.x(), centre - thickness / 2, line.naturalTextWidth(),
                          thickness);
        result.bars.push_back(rect);
        QPainterPath bar;
        bar.addRect(rect);
        result.glyphBounds |= bar.boundingRect();
        result.glyphs.push_back(std::move(bar));
    };
    if (font.underline())
        addBar(baseline + metrics.underlinePos());
    if (font.strikeOut())
        addBar(baseline - metrics.strikeOutPos());
}
LaidOutText layOutAfresh(const QString& text, const QFont& font, const QRectF& rect, int flags,
                         bool outlines) {
    // As QPainter::drawText: line feeds break lines, returns are spaces,
    // lines sit on whole pixels, one leading apart, and the lines past
    // the bottom of the rectangle are not laid out.
    QString lines = text;
    lines.replace(QLatin1Char('\r'), QLatin1Char(' '));
    lines.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(lines, font);
    QTextOption option(Qt::AlignLeft);
    const bool wrap = (flags & Qt::TextWordWrap) != 0;
    if (!wrap)
        option.setFlags(QTextOption::IncludeTrailingSpaces);
    layout.setTextOption(option);
    const double lineWidth = wrap ? std::max(0.0, rect.width()) : double(0x01000000);
    const double leading = QFontMetricsF(font).leading();
    double height = -leading;
    double width = 0;
    layout.beginLayout();
    while (true) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(lineWidth);
        height += leading;
        height = std::ceil(height);
        line.setPosition(QPointF(0, height));
        height += line.ascent() + line.descent();
        width = std::max(width, line.naturalTextWidth());
        if (height >= rect.height())
            break;
    }
    layout.endLayout();

    double yOffset = 0;
    if (flags & Qt::AlignBottom)
        yOffset = rect.height() - height;
    else if (flags & Qt::AlignVCenter)
        yOffset = (rect.height() - height) / 2;
    double xOffset = 0;
    if (flags & Qt::AlignRight)
        xOffset = rect.width() - width;
    else if (flags & Qt::AlignHCenter)
        xOffset = (rect.width() - width) / 2;

    LaidOutText result;
    result.bounds = QRectF(rect.x() + xOffset, rect.y() + yOffset, width, height);
    for (int i = 0; i < layout.lineCount(); ++i) {
        const QTextLine line = layout.lineAt(i);
        double lineX = 0;
        if (flags & Qt::AlignRight)
            lineX = rect.width() - line.horizontalAdvance();
        else if (flags & Qt::AlignHCenter)
            lineX = (rect.width() - line.horizontalAdvance()) / 2;
        const QPointF origin(rect.x() + lineX, rect.y() + yOffset);
        addDecorations(line, origin, font, result);
        const QList<QGlyphRun> runs = line.glyphRuns();
        for (const QGlyphRun& run : runs) {
            QGlyphRun placed = run;
            QList<QPointF> moved = run.positions();
            for (QPointF& at : moved)
                at += origin;
            placed.setPositions(moved);
            result.runs.push_back(placed);
            if (!outlines)
                continue;
            // The outlines come from a copy of the run's font made afresh at
            // a large size and scaled down: the engine that draws the text
            // may hand back a glyph's outline hinted or not depending on
            // what it drew before, and the same caption must give the same
            // pixels every time.
            const QRawFont drawn = run.rawFont();
            // Colour emoji are pictures without outlines: they get no
            // outline, and a copy of their font at another size would
            // unsettle the engine that draws them.
            if (!drawn.fontTable("CBDT").isEmpty() || !drawn.fontTable("sbix").isEmpty())
                continue;
            const double size = drawn.pixelSize();
            const double large = size == kOutlinePixels ? kOutlinePixels + 1 : kOutlinePixels;
            QRawFont raw = drawn;
            raw.setPixelSize(large);
            const QTransform scale = QTransform::fromScale(size / large, size / large);
            const QList<quint32> indexes = run.glyphIndexes();
            const QList<QPointF> positions = run.positions();
            for (qsizetype g = 0; g < indexes.size() && g < positions.size(); ++g) {
                QPainterPath glyph = scale.map(raw.pathForGlyph(indexes[g]));
                glyph.translate(origin + positions[g]);
                if (glyph.isEmpty())
                    continue;
                result.glyphBounds |= glyph.boundingRect();
                result.glyphs.push_back(std::move(glyph));
            }
        }
    }
    return result;
}

// The last few layouts each thread made, newest first: a caption is drawn
// and measured (its reach, its band's height) from the same layout, and a
// redraw of an unchanged caption takes it again.
struct LayoutKey {
    QString text;
    QFont font;
    QRectF rect;
    int flags = 0;
    bool outlines = true;

    bool operator==(const LayoutKey& other) const {
        return text == other.text && rect == other.rect && flags == other.flags &&
               outlines == other.outlines && font == other.font;
    }
};
constexpr std::size_t kKeptLayouts = 8;
} // namespace

LaidOutText layOutText(const QString& text, const QFont& font, const QRectF& rect, int flags,
                       bool outlines) {
    thread_local std::vector<std::pair<LayoutKey, LaidOutText>> kept;
    const LayoutKey key{text, font, rect, flags, outlines};
    const auto found = std::find_if(kept.begin(), kept.end(),
                                    [&](const auto& entry) { return entry.first == key; });
    if (found != kept.end()) {
        std::rotate(kept.begin(), found, found + 1);
        return kept.front().second;
    }
    LaidOutText laidOut = layOutAfresh(text, font, rect, flags, outlines);
    if (kept.size() == kKeptLayouts)
        kept.pop_back();
    kept.insert(kept.begin(), {key, laidOut});
    return laidOut;
}

LaidOutText translated(LaidOutText laidOut, QPointF offset) {
    for (QGlyphRun& run : laidOut.runs) {
        QList<QPointF> positions = run.positions();
        for (QPointF& at : positions)
            at += offset;
        run.setPositions(positions);
    }
    for (QRectF& bar : laidOut.bars)
        bar.translate(offset);
    for (QPainterPath& glyph : laidOut.glyphs)
        glyph.translate(offset);
    laidOut.glyphBounds.translate(offset);
    laidOut.bounds.translate(offset);
    return laidOut;
}

QRect styleBoxRect(const LaidOutText& laidOut, const ResolvedStyle& style) {
    if (!style.box || laidOut.bounds.isEmpty())
        return {};
    const int p = style.boxPadding;
    return laidOut.bounds.toAlignedRect().adjusted(-p, -p, p, p);
}

QRect styledReach(const LaidOutText& laidOut, const ResolvedStyle& style, const StyledClips& clips,
                  double overhang) {
    const double grow = overhang + std::ceil(style.outlineWidth);
    QRect reach = laidOut.bounds.adjusted(-grow, -grow, grow, grow)
                      .intersected(clips.textClip)
                      .toAlignedRect();
    reach |= inkRect(laidOut, style, clips.textClip);
    if (style.box)
        reach |= QRectF(styleBoxRect(laidOut, style)).intersected(clips.styleClip).toAlignedRect();
    if (style.shadow) {
        const QRect layer = shadowLayerRect(laidOut, style, clips.textClip);
        if (!layer.isEmpty())
            reach |= QRectF(layer.translated(style.shadowOffset))
                         .intersected(clips.styleClip)
                         .toAlignedRect();
    }
    return reach;
}

void drawTextStyles(QPainter& painter, const LaidOutText& laidOut, const ResolvedStyle& style,
                    const StyledClips& clips, const QRectF& area) {
    if (style.box) {
        const QRectF box = QRectF(styleBoxRect(laidOut, style)).intersected(clips.styleClip & area);
        if (!box.isEmpty()) {
            painter.save();
            painter.setClipRect(box);
            painter.fillRect(box, style.boxColor);
            painter.restore();
        }
    }
    // Made once for the shadow's layer and the outline itself.
    const std::vector<QPainterPath> outline =
        style.outlineWidth > 0 ? outlineArea(laidOut, style) : std::vector<QPainterPath>();
    if (style.shadow)
        drawShadow(painter, laidOut, outline, style, clips, area);
    if (!outline.empty()) {
        painter.save();
        painter.setClipRect(clips.textClip & area);
        painter.setRenderHint(QPainter::Antialiasing);
        fillAll(painter, outline, style.outlineColor);
        painter.restore();
    }
}

namespace {
// Qt fills a run of large glyphs as one outline, in a time that grows with
// the square of the glyphs a row of pixels crosses: a long line at a large
// size takes milliseconds. Such a run is drawn in pieces cut where the
// glyphs before and after lie apart by a few pixels, which gives the same
// pixels, since no pixel then takes coverage from two pieces.
QList<QGlyphRun> piecesOf(const QGlyphRun& run) {
    constexpr double kCachedGlyphPixels = 64; // smaller glyphs are drawn from Qt's cache
    constexpr double kMargin = 2;             // antialiasing and rounded metrics
    const QRawFont font = run.rawFont();
    const QList<quint32> indexes = run.glyphIndexes();
    const QList<QPointF> positions = run.positions();
    const qsizetype count = indexes.size();
    if (font.pixelSize() <= kCachedGlyphPixels || count < 2 || positions.size() != count ||
        run.underline() || run.overline() || run.strikeOut())
        return {run};
    // The ink of glyphs [0, g) and [g, count) across the line.
    constexpr double kNone = std::numeric_limits<double>::infinity();
    std::vector<double> left(static_cast<std::size_t>(count), kNone);
    std::vector<double> right(static_cast<std::size_t>(count), -kNone);
    for (qsizetype g = 0; g < count; ++g) {
        const QRectF box = font.boundingRect(indexes[g]);
        if (box.isEmpty())
            continue;
        left[static_cast<std::size_t>(g)] = positions[g].x() + box.left() - kMargin;
        right[static_cast<std::size_t>(g)] = positions[g].x() + box.right() + kMargin;
    }
    std::vector<double> afterLeft(static_cast<std::size_t>(count) + 1, kNone);
    std::vector<double> afterRight(static_cast<std::size_t>(count) + 1, -kNone);
    for (qsizetype g = count - 1; g >= 0; --g) {
        const auto i = static_cast<std::size_t>(g);
        afterLeft[i] = std::min(afterLeft[i + 1], left[i]);
        afterRight[i] = std::max(afterRight[i + 1], right[i]);
    }
    QList<QGlyphRun> pieces;
    qsizetype first = 0;
    double beforeLeft = kNone;
    double beforeRight = -kNone;
    for (qsizetype g = 1; g <= count; ++g) {
        const auto i = static_cast<std::size_t>(g);
        beforeLeft = std::min(beforeLeft, left[i - 1]);
        beforeRight = std::max(beforeRight, right[i - 1]);
        const bool apart = g == count || beforeRight < afterLeft[i] || afterRight[i] < beforeLeft;
        if (!apart)
            continue;
        QGlyphRun piece = run;
        piece.setGlyphIndexes(indexes.mid(first, g - first));
        piece.setPositions(positions.mid(first, g - first));
        pieces.append(piece);
        first = g;
    }
    return pieces;
}
} // namespace

void drawLaidOutText(QPainter& painter, const LaidOutText& laidOut, const QColor& colour,
                     const QRectF& clip) {
    painter.save();
    painter.setClipRect(clip);
    painter.setPen(colour);
    for (const QGlyphRun& run : laidOut.runs) {
        for (const QGlyphRun& piece : piecesOf(run))
            painter.drawGlyphRun(QPointF(0, 0), piece);
    }
    for (const QRectF& bar : laidOut.bars)
        painter.fillRect(bar, colour);
    painter.restore();
}
