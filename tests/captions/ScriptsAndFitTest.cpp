// Captions in every script and the "shrink to fit one line" option, drawn
// as a person sees them: glyphs from the fallback fonts (never the missing
// glyph), right-to-left text ordered right to left with alignment meaning
// the same edge, outlines around fallback glyphs, colour emoji in colour;
// a long title shrunk onto one line inside the margins, and past the floor
// wrapped.
#include "captions/CaptionSetFile.h"
#include "render/CaptionRenderer.h"

#include <QFontMetricsF>
#include <QTextLayout>

#include <gtest/gtest.h>

namespace {

constexpr QRgb kBlack = 0xFF000000;

PictureDocument Picture(int width, int height, QRgb colour) {
    PictureDocument document;
    document.picture = QImage(width, height, QImage::Format_RGB32);
    document.picture.fill(colour);
    return document;
}

Caption Text(const QString& text, int pixels) {
    Caption caption;
    caption.text = text;
    caption.sizeUnit = SizeUnit::Pixels;
    caption.font.height = -pixels;
    caption.font.setFaceName(QStringLiteral("Arial"));
    return caption;
}

// The rectangle of pixels that differ from `background`.
QRect Ink(const QImage& canvas, QRgb background) {
    QRect ink;
    for (int y = 0; y < canvas.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(canvas.constScanLine(y));
        for (int x = 0; x < canvas.width(); ++x) {
            if (row[x] != background)
                ink |= QRect(x, y, 1, 1);
        }
    }
    return ink;
}

struct Script {
    const char* name;
    QString text;
    bool rightToLeft;
};
const Script kScripts[] = {
    {"Arabic", QStringLiteral(u"مرحبا بالعالم"), true},
    {"Hebrew", QStringLiteral(u"שלום עולם"), true},
    {"Chinese", QStringLiteral(u"你好，世界"), false},
    {"Japanese", QStringLiteral(u"こんにちは、世界"), false},
    {"Hindi", QStringLiteral(u"नमस्ते दुनिया"), false},
    {"emoji", QStringLiteral(u"Hi 😀🎉"), false},
};

} // namespace

TEST(Scripts, EveryScriptHasRealGlyphsRightToLeftRunsRightToLeftAndAlignmentKeepsItsEdge) {
    const Caption caption = Text(QString(), 48);
    const QFont font = captionFont(caption, QSize(800, 200));
    for (const Script& script : kScripts) {
        SCOPED_TRACE(script.name);
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
        const bool firstIsRight =
            line.cursorToX(0) > line.cursorToX(static_cast<int>(script.text.size()));
        EXPECT_EQ(firstIsRight, script.rightToLeft);

        // Left and right mean the picture's left and right edges, whatever
        // the script's direction.
        for (const std::int32_t alignment :
             {HorizontalAlignment::Left, HorizontalAlignment::Right}) {
            PictureDocument document = Picture(900, 120, kBlack);
            Caption aligned = Text(script.text, 48);
            aligned.textColor = 0x00FFFFFF;
            aligned.marginLeft = 20;
            aligned.marginRight = 30;
            aligned.horizontalAlignment = alignment;
            document.captions.append(aligned);
            const QRect ink = Ink(renderCaptions(document), kBlack);
            if (alignment == HorizontalAlignment::Left)
                EXPECT_LE(ink.left(), 20 + 8) << "left";
            else
                EXPECT_GE(ink.right(), 900 - 30 - 8) << "right";
        }
    }
}

TEST(Scripts, OutlinesSurroundFallbackGlyphsAndEmojiStayInColourWithoutOutline) {
    for (const Script& script : kScripts) {
        SCOPED_TRACE(script.name);
        PictureDocument document = Picture(700, 120, kBlack);
        Caption caption = Text(script.text, 56);
        caption.textColor = 0x00FFFFFF; // white
        // In the middle, so that no clip cuts the outline.
        caption.horizontalAlignment = HorizontalAlignment::Center;
        caption.verticalAlignment = VerticalAlignment::Center;
        caption.outline.enabled = true;
        caption.outline.width = 3;
        caption.outline.color = 0x00FF0000; // blue
        document.captions.append(caption);
        const QImage canvas = renderCaptions(document);
        // No pixel of the letters touches the background: the outline lies
        // between them everywhere.
        const auto letter = [](QRgb c) {
            return qRed(c) > 200 && qGreen(c) > 200 && qBlue(c) > 200;
        };
        const auto background = [](QRgb c) {
            return qRed(c) < 40 && qGreen(c) < 40 && qBlue(c) < 40;
        };
        int letterPixels = 0;
        int touching = 0;
        int coloured = 0;
        for (int y = 1; y + 1 < canvas.height(); ++y) {
            for (int x = 1; x + 1 < canvas.width(); ++x) {
                const QRgb c = canvas.pixel(x, y);
                // Yellow and orange: an emoji's own colours, neither the
                // text's white nor the outline's blue.
                if (qRed(c) > 180 && qGreen(c) > 120 && qBlue(c) < 100)
                    ++coloured;
                if (!letter(c))
                    continue;
                ++letterPixels;
                for (const QPoint step :
                     {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)}) {
                    if (background(canvas.pixel(QPoint(x, y) + step)))
                        ++touching;
                }
            }
        }
        EXPECT_GT(letterPixels, 200);
        EXPECT_EQ(touching, 0);
        const bool emoji = QLatin1String(script.name) == QLatin1String("emoji");
        EXPECT_EQ(coloured > 100, emoji) << coloured << " pixels in colour";
        if (emoji) {
            // The emoji have no outline: right of the letters, no blue.
            const QFontMetricsF metrics(captionFont(caption, document.picture.size()));
            const int emojiStart =
                static_cast<int>((700 - metrics.horizontalAdvance(script.text)) / 2 +
                                 metrics.horizontalAdvance(QStringLiteral("Hi "))) +
                4;
            int blue = 0;
            for (int y = 0; y < canvas.height(); ++y) {
                for (int x = emojiStart; x < canvas.width(); ++x) {
                    const QRgb c = canvas.pixel(x, y);
                    blue += qBlue(c) > 200 && qRed(c) < 60 && qGreen(c) < 60;
                }
            }
            EXPECT_EQ(blue, 0);
        }
    }
}

TEST(ShrinkToFit, ALongTitleShrinksOntoOneLineInsideTheMarginsAndPastTheFloorWraps) {
    const QString title = QStringLiteral("Harbour festival on the quay at dawn, first day");
    struct Row {
        const char* name;
        QString text;
        std::int32_t disposition;
        int lowest; // the em it may shrink to, of 40
        int highest;
        bool oneLine;
    };
    const Row rows[] = {
        {"a long title shrinks onto one line", title, Disposition::OnImage, 17, 39, true},
        {"in a band too", title, Disposition::BottomBand, 17, 39, true},
        {"a short text keeps its size", QStringLiteral("Quay"), Disposition::OnImage, 40, 40, true},
        {"past the floor it wraps", title + u' ' + title + u' ' + title, Disposition::OnImage, 16,
         16, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        constexpr int kWidth = 600;
        PictureDocument document = Picture(kWidth, 300, 0xFFFFFFFF);
        Caption caption = Text(row.text, 40);
        caption.disposition = row.disposition;
        caption.backgroundColor = 0x00FFFFFF;
        caption.marginLeft = 30;
        caption.marginRight = 50;
        // As a caption set asks for it.
        const CaptionSetRead set = parseCaptionSet(
            R"({"format": "lumora-captions", "version": 1, "captions": [{"fit": "shrink"}]})",
            QStringLiteral("fit.json"));
        ASSERT_TRUE(set.ok) << set.message.toStdString();
        caption.fit = set.captions.at(0)->fit;
        document.captions.append(caption);
        EXPECT_TRUE(captionSetToJson(document.captions).contains(R"("fit": "shrink")"));
        const QImage shrunk = renderCaptions(document);

        const bool band = row.disposition != Disposition::OnImage;
        const double room = band ? kWidth : kWidth - 80;
        const int em = fittedEmPixels(caption, row.text, 40, room);
        EXPECT_GE(em, row.lowest);
        EXPECT_LE(em, row.highest);
        const QRect ink = Ink(shrunk, 0xFFFFFFFF);
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
            EXPECT_GT(Ink(renderCaptions(document), 0xFFFFFFFF).height(),
                      1.5 * QFontMetricsF(captionFont(caption, {})).height());
        }
    }
}
