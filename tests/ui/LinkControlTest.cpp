// The self-drawn link: what it paints, where it answers the pointer and
// when it opens its address.
#include "ui/LinkControl.h"
#include "captions/LogFont.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/UrlRecorder.h"

#include <QFontMetrics>
#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QString kAddress = QStringLiteral("https://example.org/");

// The text's single-line size in the link's font, described here as the
// program describes it: 13 pixels of cell height, regular Verdana.
QSize textSize(const QString& text) {
    LogFont font;
    font.height = 13;
    font.weight = 400;
    font.faceName = QStringLiteral("Verdana");
    return QFontMetrics(toQFont(font))
        .boundingRect(QRect(0, 0, 210, 18), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      text)
        .size();
}

// The link sits in a larger window, as in the main window, so that the
// pointer can leave it for its parent.
class LinkControlTest : public testing::Test {
protected:
    LinkControlTest() {
        window.setGeometry(100, 100, 300, 60);
        link.setGeometry(0, 0, 210, 18);
        link.setText(kAddress);
    }
    QImage paint() { return link.grab().toImage().convertToFormat(QImage::Format_RGB32); }
    void showOnScreen() {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        paint();
    }
    void release(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseRelease(&link, button, {}, at);
    }

    QWidget window;
    CLinkControl link{&window};
    UrlRecorder opened;
    const QSize text = textSize(kAddress);
};

TEST_F(LinkControlTest, MeasuresItsTextFromTheTopLeftAtEveryPaintInItsOwnFont) {
    EXPECT_TRUE(link.textRect().isEmpty()) << "nothing is measured before the first paint";
    const QImage first = paint();
    EXPECT_EQ(link.textRect(), QRect(0, 0, text.width(), text.height() + 2));

    link.setFont(QFont(QStringLiteral("DejaVu Serif"), 30, QFont::Bold));
    EXPECT_EQ(paint(), first) << "a font given to the link changes nothing";
    // A taller control centres the drawn text, but not the measured box.
    link.resize(210, 40);
    paint();
    EXPECT_EQ(link.textRect(), QRect(0, 0, text.width(), text.height() + 2));
    link.setText(kAddress + QStringLiteral("photos/"));
    paint();
    EXPECT_EQ(link.textRect().width(), textSize(link.text()).width());
}

TEST_F(LinkControlTest, DrawsBlueTextAndAnUnderlineOnTheButtonFace) {
    const QImage image = paint();
    const QRgb background = link.palette().color(QPalette::Window).rgb();
    const int underline = text.height(); // the row just below the measured text
    ASSERT_LT(underline, image.height());
    for (int x = 0; x < text.width(); ++x)
        ASSERT_EQ(image.pixel(x, underline), qRgb(0, 0, 248)) << "x = " << x;
    EXPECT_EQ(image.pixel(text.width(), underline), background);

    int inked = 0;
    int solid = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (x >= text.width() + 2) {
                ASSERT_EQ(pixel, background) << "right of the text at " << x << ", " << y;
            }
            if (y == underline || pixel == background)
                continue;
            // Anti-aliased edges mix blue with the background: blue still leads.
            ASSERT_TRUE(qBlue(pixel) > qRed(pixel) && qBlue(pixel) > qGreen(pixel))
                << x << ", " << y;
            ++inked;
            solid += qRed(pixel) < 40 && qGreen(pixel) < 40 && qBlue(pixel) > 200;
        }
    }
    EXPECT_GT(inked, 50);
    EXPECT_GT(solid, 20);
}

TEST_F(LinkControlTest, ShowsAHandOnlyOverTheText) {
    showOnScreen();
    const QRect box = link.textRect();
    const auto shapeAt = [&](QWidget* widget, QPoint at) {
        QTest::mouseMove(widget, at);
        return link.cursor().shape();
    };
    // Starts off the text: Qt drops a move to where the pointer already is.
    EXPECT_EQ(shapeAt(&link, QPoint(box.right() + 10, 8)), Qt::ArrowCursor);
    EXPECT_EQ(shapeAt(&link, QPoint(6, 7)), Qt::PointingHandCursor);
    EXPECT_EQ(shapeAt(&link, QPoint(box.right() + 1, 7)), Qt::ArrowCursor);
    EXPECT_EQ(shapeAt(&link, box.bottomRight()), Qt::PointingHandCursor);
    // Leaving for the parent, where the link sees no move, brings the arrow back.
    EXPECT_EQ(shapeAt(&window, QPoint(260, 45)), Qt::ArrowCursor);
}

TEST_F(LinkControlTest, OpensTheAddressOnEveryLeftReleaseOverTheTextAndTwiceOnADoubleClick) {
    link.resize(210, 30);
    paint();
    // Off the text, the other button, or a press.
    release(QPoint(text.width(), 5));
    release(QPoint(3, text.height() + 2));
    release(QPoint(3, 5), Qt::RightButton);
    QTest::mousePress(&link, Qt::LeftButton, {}, QPoint(3, 5));
    EXPECT_TRUE(opened.urls().isEmpty());
    release(QPoint(3, 5));
    EXPECT_EQ(opened.urls(), QList<QUrl>{QUrl(kAddress)});
    release(QPoint(text.width() - 1, text.height() + 1)); // the far corner
    QTest::mousePress(&link, Qt::LeftButton, {}, QPoint(text.width() + 20, 5));
    release(QPoint(10, 5)); // pressed off the text
    showOnScreen();
    QTest::mouseDClick(window.windowHandle(), Qt::LeftButton, {}, QPoint(5, 8));
    EXPECT_EQ(opened.urls(), QList<QUrl>(5, QUrl(kAddress)));

    // No text and no size are nothing to open.
    link.setText(QString());
    paint();
    EXPECT_EQ(link.textRect().width(), 0);
    release(QPoint(0, 0));
    link.setText(kAddress);
    link.resize(0, 0);
    QImage target(1, 1, QImage::Format_RGB32);
    link.render(&target);
    release(QPoint(0, 0));
    EXPECT_EQ(opened.urls().size(), 5);
}

} // namespace
