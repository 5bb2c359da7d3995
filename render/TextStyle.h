#pragma once

#include "captions/Caption.h"

#include <QColor>
#include <QFont>
#include <QGlyphRun>
#include <QList>
#include <QPainterPath>
#include <QPoint>
#include <QRect>
#include <QRectF>
#include <QString>

#include <vector>

class QPainter;

// Outline, shadow and box of a caption resolved to pixels of one picture,
// with values no picture can show clamped (see resolveStyle).
struct ResolvedStyle {
    double outlineWidth = 0; // pixels outside the glyphs; 0: no outline
    QColor outlineColor;
    bool shadow = false;
    QPoint shadowOffset;
    int shadowBlur = 0; // radius in pixels
    QColor shadowColor;
    double shadowOpacity = 0; // 0 to 1
    bool box = false;
    QColor boxColor; // with the box's opacity as alpha
    int boxPadding = 0;

    bool any() const { return outlineWidth > 0 || shadow || box; }
};

// Longest blur radius drawn; larger ones look the same on a caption and
// would only cost time.
constexpr int kMaxShadowBlur = 250;

// The caption's styles for a picture whose shorter side is `shorterSide`
// pixels, with text `em` pixels high. A box is only drawn behind on-image
// text. Offsets and padding are clamped to the picture's larger side, the
// outline to that and to half the em (wider, the letters' outlines merge
// into one slab, and the time to draw it grows with the square of its
// width), the blur to kMaxShadowBlur, opacities to 0-100 %; NaN widths
// count as 0.
ResolvedStyle resolveStyle(const Caption& caption, int shorterSide, int longerSide, int em,
                           bool onImage);

// A caption's text laid out once, as QPainter::drawText(rect, flags, text)
// lays it out (same line breaks, wrapping, alignment and line positions):
// the glyph runs the text is drawn from and, when asked for, each glyph's
// outline as a path in canvas coordinates (what the outline and the shadow
// are made of), the rectangle they cover, and the laid-out bounds of the
// lines. The text and its styles are drawn from the same layout, so an
// outline cannot drift off its letters.
struct LaidOutText {
    // The glyph runs the text is drawn from, placed in canvas coordinates.
    QList<QGlyphRun> runs;
    // The underline and strike-out bars, drawn with the glyphs.
    std::vector<QRectF> bars;
    std::vector<QPainterPath> glyphs;
    QRectF glyphBounds;
    QRectF bounds;
};
LaidOutText layOutText(const QString& text, const QFont& font, const QRectF& rect, int flags,
                       bool outlines = true);
// The same layout moved by `offset`.
LaidOutText translated(LaidOutText laidOut, QPointF offset);

// Where a styled text draws, as whole-pixel rectangles of the canvas: the
// text and its outline within `textClip`, the shadow and the box within
// `styleClip`.
struct StyledClips {
    QRectF textClip;
    QRectF styleClip;
};

// The box behind the text: its laid-out bounds widened by the padding.
QRect styleBoxRect(const LaidOutText& laidOut, const ResolvedStyle& style);
// The rectangle every pixel the styles (box, shadow, outline) can change
// lies in, text ink widened by `overhang` included.
QRect styledReach(const LaidOutText& laidOut, const ResolvedStyle& style, const StyledClips& clips,
                  double overhang);

// Draws the laid-out text itself in `colour`, clipped to `clip`.
void drawLaidOutText(QPainter& painter, const LaidOutText& laidOut, const QColor& colour,
                     const QRectF& clip);

// Draws the box, then the shadow, then the outline of the laid-out text;
// the caller draws the text itself over them. Everything is also clipped to
// `area`; the pixels inside it do not depend on it.
void drawTextStyles(QPainter& painter, const LaidOutText& laidOut, const ResolvedStyle& style,
                    const StyledClips& clips, const QRectF& area);
