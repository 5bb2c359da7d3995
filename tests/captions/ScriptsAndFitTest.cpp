// Captions in every script and the "shrink to fit one line" option, drawn
// as a person sees them: glyphs from the fallback fonts (never the missing
// glyph), right-to-left text ordered right to left with alignment meaning
// the same edge, outlines around fallback glyphs, colour emoji in colour;
// a long title shrunk onto one line inside the margins, and past the floor
// wrapped.
#include "tests/support/CaptionCanvas.h"

#include <QFontMetricsF>
#include <QTextLayout>

#include <gtest/gtest.h>

using namespace caption_canvas;

TEST(Scripts, EveryScriptHasRealGlyphsRunsInItsDirectionTakesItsOutlineAndKeepsItsEdge) {
    constexpr QRgb kBlack = 0xFF000000;
    const struct {
        const char* name;
        QString text;
        bool rightToLeft;
    } scripts[] = {
        {"Arabic", QStringLiteral(u"مرحبا بالعالم"), true},
        {"Hebrew", QStringLiteral(u"שלום עולם"), true},
        {"Chinese", QStringLiteral(u"你好，世界"), false},
        {"Japanese", QStringLiteral(u"こんにちは、世界"), false},
        {"Hindi", QStringLiteral(u"नमस्ते दुनिया"), false},
        {"emoji", QStringLiteral(u"Hi 😀🎉"), false},
    };
    for (const auto& script : scripts) {
        SCOPED_TRACE(script.name);
        Caption caption = Text(script.text, 56, 0x00FFFFFF); // white
        const QFont font = captionFont(caption, QSize(900, 120));
        QTextLayout layout(script.text, font);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        line.setLineWidth(1e6);
        layout.endLayout();
        int glyphs = 0;
        for (const QGlyphRun& run : line.glyphRuns()) {
            for (const quint32 index : run.glyphIndexes()) {
                EXPECT_NE(index, 0u)
                    << "the missing glyph, from " << run.rawFont().familyName().toStdString();
                ++glyphs;
            }
        }
        EXPECT_GT(glyphs, 1);
        // The first character sits right of the last one in right-to-left text.
        EXPECT_EQ(line.cursorToX(0) > line.cursorToX(static_cast<int>(script.text.size())),
                  script.rightToLeft);

        // Left and right are the picture's edges whatever the direction.
        caption.marginLeft = 20;
        caption.marginRight = 30;
        caption.verticalAlignment = VerticalAlignment::Center;
        caption.outline = {true, 3, SizeUnit::Pixels, 0x00FF0000}; // blue
        PictureDocument document = Document(900, 120, kBlack);
        document.captions.append(caption);
        document.captions.at(0)->horizontalAlignment = HorizontalAlignment::Left;
        EXPECT_LE(Ink(renderCaptions(document), kBlack).left(), 20 + 8) << "left";
        document.captions.at(0)->horizontalAlignment = HorizontalAlignment::Right;
        EXPECT_GE(Ink(renderCaptions(document), kBlack).right(), 900 - 30 - 8) << "right";
        // In the middle, where no clip cuts the outline: no pixel of the
        // letters touches the background, the outline lies between them
        // everywhere. Emoji keep their own colours (yellow, orange: neither
        // the text's white nor the outline's blue) and take no outline.
        document.captions.at(0)->horizontalAlignment = HorizontalAlignment::Center;
        const QImage canvas = renderCaptions(document);
        const bool emoji = QLatin1String(script.name) == QLatin1String("emoji");
        const QFontMetricsF metrics(font);
        const int emojiStart = static_cast<int>((900 - metrics.horizontalAdvance(script.text)) / 2 +
                                                metrics.horizontalAdvance(QStringLiteral("Hi "))) +
                               4;
        int letters = 0, touching = 0, coloured = 0, blueByEmoji = 0;
        for (int y = 1; y + 1 < canvas.height(); ++y) {
            for (int x = 1; x + 1 < canvas.width(); ++x) {
                const QRgb c = canvas.pixel(x, y);
                coloured += qRed(c) > 180 && qGreen(c) > 120 && qBlue(c) < 100;
                blueByEmoji +=
                    emoji && x >= emojiStart && qBlue(c) > 200 && qRed(c) < 60 && qGreen(c) < 60;
                if (qRed(c) <= 200 || qGreen(c) <= 200 || qBlue(c) <= 200)
                    continue;
                ++letters;
                for (const QPoint step :
                     {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)}) {
                    const QRgb n = canvas.pixel(QPoint(x, y) + step);
                    touching += qRed(n) < 40 && qGreen(n) < 40 && qBlue(n) < 40;
                }
            }
        }
        EXPECT_GT(letters, 200);
        EXPECT_EQ(touching, 0);
        EXPECT_EQ(coloured > 100, emoji) << coloured << " pixels in colour";
        EXPECT_EQ(blueByEmoji, 0);
    }
}

TEST(ShrinkToFit, ALongTitleShrinksOntoOneLineInsideTheMarginsAndPastTheFloorWraps) {
    const QString title = QStringLiteral("Harbour festival on the quay at dawn, first day");
    const struct {
        const char* name;
        QString text;
        std::int32_t disposition;
        int lowest; // the em it may shrink to, of 40
        int highest;
        bool oneLine;
    } rows[] = {
        {"a long title shrinks onto one line", title, Disposition::OnImage, 17, 39, true},
        {"in a band too", title, Disposition::BottomBand, 17, 39, true},
        {"a short text keeps its size", QStringLiteral("Quay"), Disposition::OnImage, 40, 40, true},
        {"past the floor it wraps", title + u' ' + title + u' ' + title, Disposition::OnImage, 16,
         16, false},
    };
    constexpr int kWidth = 600;
    constexpr QRgb kWhite = 0xFFFFFFFF;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        PictureDocument document = Document(kWidth, 300, kWhite);
        Caption caption = Text(row.text, 40);
        caption.disposition = row.disposition;
        caption.backgroundColor = 0x00FFFFFF;
        caption.marginLeft = 30;
        caption.marginRight = 50;
        caption.fit = TextFit::Shrink;
        document.captions.append(caption);
        const QImage shrunk = renderCaptions(document);

        const bool band = row.disposition != Disposition::OnImage;
        const int em = fittedEmPixels(caption, row.text, 40, band ? kWidth : kWidth - 80);
        EXPECT_GE(em, row.lowest);
        EXPECT_LE(em, row.highest);
        const QRect ink = Ink(shrunk, kWhite);
        const double lineHeight = QFontMetricsF(captionFont(Text({}, em), {})).height();
        EXPECT_EQ(ink.height() < lineHeight, row.oneLine) << ink.height() << " rows of ink";
        if (!band) {
            EXPECT_GE(ink.left(), 30 - 2);
            EXPECT_LE(ink.right(), kWidth - 50 + 2);
        } else {
            // The band is as tall as the one line of the shrunk text.
            EXPECT_EQ(shrunk.height() - 300, roundBandHeight(lineHeight));
        }
        // Without the option the same caption wraps.
        if (row.lowest < 40) {
            caption.fit = TextFit::Wrap;
            *document.captions.at(0) = caption;
            EXPECT_GT(Ink(renderCaptions(document), kWhite).height(),
                      1.5 * QFontMetricsF(captionFont(caption, {})).height());
        }
    }
}
