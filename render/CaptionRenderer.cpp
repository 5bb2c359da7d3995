#include "render/CaptionRenderer.h"

#include "captions/Placeholders.h"
#include "image/LargePages.h"
#include "render/TextStyle.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

namespace {
// Qt lays text out in 26.6 fixed point; boxes reaching further than this
// cannot be handed to it as they are.
constexpr double kMaxLayoutExtent = 1 << 24;

// Where a text goes: the box handed to Qt and the clip the original box
// imposes (limited to the canvas).
struct Placement {
    QRectF layout;
    QRectF clip;
    int flags = 0;
    bool visible = false;
};

// Start of a block of length `size` placed inside [start, start + extent)
// at the near end, the centre or the far end.
double alignedStart(double start, double extent, double size, bool centre, bool far) {
    if (centre) {
        return start + (extent - size) / 2;
    }
    return far ? start + extent - size : start;
}

// Boxes within Qt's range are used as they are. A box that reaches far
// outside the canvas (an unsigned width or height from oversized margins) is
// replaced by the tight box of the text at the place the alignment gives;
// a text that then lies far off the canvas is not drawn.
Placement place(const QString& text, const QFont& font, double x, double y, double w, double h,
                int flags, const QRectF& canvas) {
    Placement placement;
    placement.flags = flags;
    const QRectF box(x, y, w, h);
    placement.clip = box.intersected(canvas);
    if (placement.clip.isEmpty() || text.isEmpty()) {
        return placement;
    }
    const bool wideBox = w > kMaxLayoutExtent || std::abs(x) > kMaxLayoutExtent;
    const bool tallBox = h > kMaxLayoutExtent || std::abs(y) > kMaxLayoutExtent;
    if (!wideBox && !tallBox) {
        placement.layout = box;
        placement.visible = true;
        return placement;
    }
    // A box this wide never wraps a line: lay the text out unwrapped, so
    // that the tight box cannot wrap its last word through rounding.
    const QFontMetricsF metrics(font);
    placement.flags = wideBox ? flags & ~Qt::TextWordWrap : flags;
    const QRectF natural = metrics.boundingRect(
        QRectF(0, 0, wideBox ? kMaxLayoutExtent : w, kMaxLayoutExtent),
        (placement.flags & ~(Qt::AlignHorizontal_Mask | Qt::AlignVertical_Mask)) | Qt::AlignLeft |
            Qt::AlignTop,
        text);
    double lx = x;
    double lw = w;
    if (wideBox) {
        lw = natural.width();
        lx = alignedStart(x, w, lw, flags & Qt::AlignHCenter, flags & Qt::AlignRight);
    }
    double ly = y;
    double lh = h;
    if (tallBox) {
        lh = natural.height();
        ly = alignedStart(y, h, lh, flags & Qt::AlignVCenter, flags & Qt::AlignBottom);
    }
    if (std::abs(lx) > kMaxLayoutExtent || std::abs(ly) > kMaxLayoutExtent) {
        return placement;
    }
    placement.layout = QRectF(lx, ly, lw, lh);
    placement.visible = true;
    return placement;
}

// What one caption draws with: its text with the placeholders filled in,
// its font at the picture's size and its styles in pixels.
struct CaptionLook {
    QString text;
    QFont font;
    int em = 0;
    ResolvedStyle style;
};

// Where a text's outline (and the shadow of text and outline) may draw: the
// text's clip widened by the outline, so that a letter at a margin is
// outlined on every side, but not past where the styles draw.
QRectF outlineClip(const QRectF& clip, const ResolvedStyle& style, const QRectF& styleClip) {
    if (style.outlineWidth <= 0)
        return clip;
    const double grow = std::ceil(style.outlineWidth) + 1;
    return clip.adjusted(-grow, -grow, grow, grow).intersected(styleClip).united(clip);
}

// Draws laid-out text clipped to `clip` and `area`; the styles first, with
// the shadow and the box clipped to `styleClip` instead.
void drawLaidOut(QPainter& painter, const CaptionLook& look, const std::uint32_t colour,
                 const LaidOutText& laidOut, const QRectF& clip, const QRectF& area,
                 const QRectF& styleClip) {
    if (look.style.any()) {
        drawTextStyles(painter, laidOut, look.style,
                       {outlineClip(clip, look.style, styleClip), styleClip}, area);
    }
    drawLaidOutText(painter, laidOut, captionColor(colour), clip & area);
}

// Draws the text laid out in the box, clipped to the box, the canvas and
// `area`; the styles first, with the shadow and the box clipped to
// `styleClip` instead of the box.
void drawCaptionText(QPainter& painter, const CaptionLook& look, const std::uint32_t colour,
                     const QRectF& box, int flags, const QRectF& canvas, const QRectF& area,
                     const QRectF& styleClip) {
    const QString& text = look.text;
    const QFont& font = look.font;
    const Placement placement =
        place(text, font, box.x(), box.y(), box.width(), box.height(), flags, canvas);
    if (!placement.visible) {
        return;
    }
    // One layout for the text and its styles; glyph outlines only for styles.
    const LaidOutText laidOut =
        layOutText(text, font, placement.layout, placement.flags, look.style.any());
    drawLaidOut(painter, look, colour, laidOut, placement.clip, area, styleClip);
}

// A canvas W x (H + bands): band rows black, the picture copied in at row
// topBand. It is `recycled` when that has the size and format and is not
// shared, which spares allocating and faulting in a new block; otherwise a
// new image. With no bands and nothing to recycle it shares the picture
// until drawn on.
QImage makeCanvas(const QImage& picture, int topBand, std::int64_t bands, QImage recycled) {
    const QImage source = picture.format() == QImage::Format_RGB32
                              ? picture
                              : picture.convertToFormat(QImage::Format_RGB32);
    if (source.isNull()) {
        return source;
    }
    const std::int64_t canvasHeight = source.height() + bands;
    if (canvasHeight > std::numeric_limits<int>::max()) {
        return QImage();
    }
    const QSize size(source.width(), static_cast<int>(canvasHeight));
    const bool reusable = recycled.size() == size && recycled.format() == QImage::Format_RGB32 &&
                          recycled.isDetached();
    if (bands == 0 && !reusable) {
        return source;
    }
    QImage canvas;
    if (reusable) {
        canvas = std::move(recycled);
    } else {
        recycled = QImage(); // released before the new block is taken
        canvas = QImage(size, QImage::Format_RGB32);
        if (canvas.isNull()) {
            return canvas;
        }
        AdviseLargePages(canvas.bits(), static_cast<std::size_t>(canvas.sizeInBytes()));
    }
    // Only the band rows need clearing: the picture covers the rest.
    const auto clearRows = [&canvas](int first, int end) {
        for (int row = first; row < end; ++row) {
            auto* line = reinterpret_cast<QRgb*>(canvas.scanLine(row));
            std::fill(line, line + canvas.width(), qRgb(0, 0, 0));
        }
    };
    clearRows(0, topBand);
    clearRows(topBand + source.height(), canvas.height());
    const std::size_t rowBytes = static_cast<std::size_t>(source.width()) * 4;
    if (canvas.bytesPerLine() == source.bytesPerLine()) {
        std::memcpy(canvas.scanLine(topBand), source.constBits(),
                    static_cast<std::size_t>(source.sizeInBytes()));
    } else {
        for (int row = 0; row < source.height(); ++row) {
            std::memcpy(canvas.scanLine(topBand + row), source.constScanLine(row), rowBytes);
        }
    }
    return canvas;
}
} // namespace

std::vector<const Caption*> shownCaptions(const PictureDocument& document, WorkingCaption working) {
    const CaptionList& listed = document.captions;
    std::vector<const Caption*> shown;
    shown.reserve(static_cast<std::size_t>(listed.count()) + 1);
    const bool replacing = working.caption != nullptr && listed.at(working.replaces) != nullptr;
    for (std::int32_t i = 0; i < listed.count(); ++i)
        shown.push_back(replacing && i == working.replaces ? working.caption : listed.at(i));
    if (working.caption != nullptr && !replacing)
        shown.push_back(working.caption);
    return shown;
}

namespace {

PlaceholderValues placeholderValues(const PictureDocument& document) {
    PlaceholderValues values;
    values.facts = document.facts();
    values.fileName = document.fileName;
    values.description = document.description;
    values.size = document.picture.size();
    values.columns = document.captionData;
    return values;
}

// The text of the last caption marked as the description, its placeholders
// filled in; else the picture's own description.
QString descriptionOf(const PictureDocument& document, const std::vector<const Caption*>& captions,
                      const PlaceholderValues& values) {
    const Caption* last = nullptr;
    for (const Caption* caption : captions) {
        if (caption->useTextAsDescription)
            last = caption;
    }
    return last != nullptr ? substitutePlaceholders(last->text, values) : document.description;
}

// A band caption laid out once, at the top of a box the picture's size:
// its height is the band's, and the text is drawn from the same layout
// moved down into its strip.
struct BandText {
    CaptionLook look;
    LaidOutText laidOut;
    double height = 0; // of the text, at most the picture's height
    int strip = 0;     // rows of the strip, outline room included
};

// What the measuring pass finds: the placeholder values, the description
// the captions show and the band strips, with the layout of each band
// caption (by its index in the list; none for other captions).
struct Geometry {
    PlaceholderValues values;
    QString description;
    int topBand = 0;
    std::int64_t bands = 0;
    std::vector<std::optional<BandText>> bandTexts;
};

QRectF onImageBox(const PictureDocument& document, const Caption& caption, int topBand);

CaptionLook lookOf(const PictureDocument& document, const Caption& caption,
                   const Geometry& geometry, bool onImage) {
    CaptionLook look;
    const QSize size = document.picture.size();
    look.text = displayedText(caption, geometry.description, geometry.values);
    look.em = fittedEmPixels(caption, look.text, captionEmPixels(caption, size),
                             onImage ? onImageBox(document, caption, 0).width() : size.width());
    look.font = toQFont(caption.font, look.em);
    look.style = resolveStyle(caption, std::min(size.width(), size.height()),
                              std::max(size.width(), size.height()), look.em, onImage);
    return look;
}

// Rows a band adds above and below its text so that an outline fits in
// the strip. A shadow does not make a band taller: the strip clips it.
int bandPadding(const CaptionLook& look) {
    return static_cast<int>(std::ceil(look.style.outlineWidth));
}

// The height of a band's strip: its text's height, rounded up, with room
// for the outline.
int bandStrip(double textHeight, const CaptionLook& look) {
    return textHeight > 0 ? roundBandHeight(textHeight) + 2 * bandPadding(look) : 0;
}

QRectF pictureBox(const PictureDocument& document) {
    return QRectF(0, 0, document.picture.width(), document.picture.height());
}

Geometry measure(const PictureDocument& document, const std::vector<const Caption*>& captions) {
    Geometry geometry;
    geometry.values = placeholderValues(document);
    geometry.description = descriptionOf(document, captions, geometry.values);
    geometry.bandTexts.resize(captions.size());
    const QRectF box = pictureBox(document);
    for (std::size_t index = 0; index < captions.size(); ++index) {
        const Caption& caption = *captions[index];
        const bool inBand = caption.disposition == Disposition::TopBand ||
                            caption.disposition == Disposition::BottomBand;
        if (caption.useTextAsDescription || !inBand) {
            continue;
        }
        BandText band;
        band.look = lookOf(document, caption, geometry, false);
        if (!band.look.text.isEmpty() && !box.isEmpty()) {
            band.laidOut = layOutText(band.look.text, band.look.font, box,
                                      textFlags(caption, false), band.look.style.any());
            band.height = std::clamp(band.laidOut.bounds.height(), 0.0, box.height());
        }
        band.strip = bandStrip(band.height, band.look);
        geometry.bands += band.strip;
        if (caption.disposition == Disposition::TopBand) {
            geometry.topBand += band.strip;
        }
        geometry.bandTexts[index] = std::move(band);
    }
    return geometry;
}

// The box an on-image caption is laid out in. Width and height are
// unsigned differences: margins wider than the picture give a box of almost
// 2^32 rather than a negative one.
QRectF onImageBox(const PictureDocument& document, const Caption& caption, int topBand) {
    const auto W = static_cast<std::uint32_t>(document.picture.width());
    const auto H = static_cast<std::uint32_t>(document.picture.height());
    const std::uint32_t w = W - static_cast<std::uint32_t>(caption.marginRight) -
                            static_cast<std::uint32_t>(caption.marginLeft);
    const std::uint32_t h = H - static_cast<std::uint32_t>(caption.marginBottom) -
                            static_cast<std::uint32_t>(caption.marginTop);
    const std::int32_t y = static_cast<std::int32_t>(static_cast<std::uint32_t>(caption.marginTop) +
                                                     static_cast<std::uint32_t>(topBand));
    return QRectF(static_cast<float>(caption.marginLeft), static_cast<float>(y),
                  static_cast<float>(w), static_cast<float>(h));
}

// The drawing pass over captions [first, end), each clipped to `area` as
// well; the band cursors still count every caption before `first`.
void drawPass(QImage& canvas, const PictureDocument& document,
              const std::vector<const Caption*>& captions, const Geometry& geometry,
              std::size_t first, std::size_t end, const QRectF& area) {
    const int W = document.picture.width();
    const QRectF wholeCanvas(0, 0, canvas.width(), canvas.height());
    const QRectF canvasBox = wholeCanvas.intersected(area);
    const QRectF pictureRows =
        QRectF(0, geometry.topBand, W, document.picture.height()).intersected(wholeCanvas);
    int topCursor = 0;
    int bottomCursor = geometry.topBand + document.picture.height();
    for (std::size_t index = 0; index < std::min(end, captions.size()); ++index) {
        const Caption& caption = *captions[index];
        if (caption.useTextAsDescription) {
            continue;
        }
        const bool drawn = index >= first;
        if (caption.disposition == Disposition::TopBand ||
            caption.disposition == Disposition::BottomBand) {
            const BandText& band = *geometry.bandTexts[index];
            const double h = band.height;
            int& cursor = caption.disposition == Disposition::TopBand ? topCursor : bottomCursor;
            if (h > 0 && drawn) {
                QPainter painter(&canvas);
                painter.setClipRect(canvasBox);
                // A row counts as covered when the strip reaches past its top
                // edge, so the partly covered last row takes the background
                // too and no dark line parts a band from its neighbour.
                const QRect stripRect(0, cursor, W, band.strip);
                painter.fillRect(stripRect, captionColor(caption.backgroundColor));
                const double top = cursor + bandPadding(band.look);
                drawLaidOut(painter, band.look, caption.textColor,
                            translated(band.laidOut, QPointF(0, top)),
                            QRectF(0, top, W, h).intersected(wholeCanvas), area,
                            QRectF(stripRect).intersected(wholeCanvas));
            }
            cursor += band.strip;
        } else if (caption.disposition == Disposition::OnImage && drawn) {
            const CaptionLook look = lookOf(document, caption, geometry, true);
            if (look.text.isEmpty()) {
                continue;
            }
            QPainter painter(&canvas);
            drawCaptionText(painter, look, caption.textColor,
                            onImageBox(document, caption, geometry.topBand),
                            textFlags(caption, true), wholeCanvas, area, pictureRows);
        }
    }
}

} // namespace

QString savedDescription(const PictureDocument& document, WorkingCaption working) {
    return descriptionOf(document, shownCaptions(document, working), placeholderValues(document));
}

QImage renderCaptions(const PictureDocument& document, WorkingCaption working) {
    return renderCaptionList(document, shownCaptions(document, working), QImage());
}

QImage renderCaptions(const PictureDocument& document, WorkingCaption working, QImage recycled) {
    return renderCaptionList(document, shownCaptions(document, working), std::move(recycled));
}

QImage renderCaptionList(const PictureDocument& document,
                         const std::vector<const Caption*>& captions, QImage recycled,
                         std::size_t end) {
    if (!document.hasPicture()) {
        return QImage();
    }
    const Geometry geometry = measure(document, captions);
    QImage canvas =
        makeCanvas(document.picture, geometry.topBand, geometry.bands, std::move(recycled));
    if (canvas.isNull()) {
        return canvas;
    }
    drawPass(canvas, document, captions, geometry, 0, end, QRectF(canvas.rect()));
    return canvas;
}

CanvasBands canvasBands(const PictureDocument& document, WorkingCaption working) {
    CanvasBands bands;
    if (!document.hasPicture())
        return bands;
    const std::vector<const Caption*> captions = shownCaptions(document, working);
    const Geometry geometry = measure(document, captions);
    bands.above = geometry.topBand;
    bands.below = geometry.bands - geometry.topBand;
    // The first top band with a strip is drawn at the canvas's top edge.
    for (std::size_t index = 0; index < captions.size(); ++index) {
        const std::optional<BandText>& band = geometry.bandTexts[index];
        if (captions[index]->disposition == Disposition::TopBand && band && band->height > 0) {
            bands.topmostColor = captionColor(captions[index]->backgroundColor);
            break;
        }
    }
    return bands;
}

QRect inkReach(const PictureDocument& document, const std::vector<const Caption*>& captions,
               std::size_t index) {
    if (!document.hasPicture() || index >= captions.size()) {
        return {};
    }
    const Caption& caption = *captions[index];
    if (caption.disposition != Disposition::OnImage || caption.useTextAsDescription) {
        return {};
    }
    const Geometry geometry = measure(document, captions);
    const CaptionLook look = lookOf(document, caption, geometry, true);
    const QString& text = look.text;
    const QFont& font = look.font;
    const QRectF canvas(0, 0, document.picture.width(),
                        static_cast<double>(document.picture.height() + geometry.bands));
    const QRectF box = onImageBox(document, caption, geometry.topBand);
    const Placement placement = place(text, font, box.x(), box.y(), box.width(), box.height(),
                                      textFlags(caption, true), canvas);
    if (!placement.visible) {
        return {};
    }
    // The laid-out lines, widened by half an em on every side for glyphs
    // that reach past their advance (italics, swashes) and antialiasing.
    const LaidOutText laidOut =
        layOutText(text, font, placement.layout, placement.flags, look.style.any());
    const double overhang = std::ceil(look.em * 0.5) + 2;
    QRect reach = laidOut.bounds.adjusted(-overhang, -overhang, overhang, overhang)
                      .intersected(placement.clip)
                      .toAlignedRect();
    if (look.style.any()) {
        // The outline, the shadow (offset and blurred) and the box too.
        const QRectF pictureRows =
            QRectF(0, geometry.topBand, document.picture.width(), document.picture.height());
        const QRectF styleClip = pictureRows.intersected(canvas);
        reach |=
            styledReach(laidOut, look.style,
                        {outlineClip(placement.clip, look.style, styleClip), styleClip}, overhang);
    }
    return reach.intersected(canvas.toAlignedRect());
}

BandStrip bandStripOf(const PictureDocument& document, const std::vector<const Caption*>& captions,
                      std::size_t index) {
    BandStrip result;
    if (!document.hasPicture() || index >= captions.size())
        return result;
    const Geometry geometry = measure(document, captions);
    result.topBand = geometry.topBand;
    result.canvasHeight = document.picture.height() + geometry.bands;
    int topCursor = 0;
    std::int64_t bottomCursor = geometry.topBand + document.picture.height();
    for (std::size_t i = 0; i <= index; ++i) {
        const std::optional<BandText>& band = geometry.bandTexts[i];
        if (!band)
            continue;
        const int strip = band->strip;
        const bool top = captions[i]->disposition == Disposition::TopBand;
        if (i == index && strip > 0)
            result.strip = QRect(0, static_cast<int>(top ? topCursor : bottomCursor),
                                 document.picture.width(), strip);
        if (top)
            topCursor += strip;
        else
            bottomCursor += strip;
    }
    return result;
}

void redrawCaptions(QImage& canvas, const PictureDocument& document,
                    const std::vector<const Caption*>& captions, std::size_t first,
                    const QRect& area) {
    if (!document.hasPicture() || canvas.isNull() || area.isEmpty()) {
        return;
    }
    drawPass(canvas, document, captions, measure(document, captions), first, captions.size(),
             QRectF(area));
}
