// Dialog units to pixels, the About box's link and the self-drawn link:
// where it answers and what it opens.
#include "captions/LogFont.h"
#include "resources/VersionBlock.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/UrlRecorder.h"
#include "ui/DialogUnits.h"
#include "ui/DlgAbout.h"
#include "ui/LinkControl.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

namespace {

TEST(DialogUnitsTest, MulDivRoundsHalvesAwayFromZeroIn64Bits) {
    struct Case {
        int number, numerator, denominator, expected;
    };
    for (const Case c :
         {Case{3, 1, 2, 2}, Case{-3, 1, 2, -2}, Case{-3, 1, -2, 2}, Case{94, 13, 8, 153},
          Case{INT_MAX, INT_MAX, INT_MAX, INT_MAX}, Case{5, 3, 0, -1}, Case{INT_MAX, 2, 1, -1}}) {
        EXPECT_EQ(DialogUnits::mulDiv(c.number, c.numerator, c.denominator), c.expected)
            << c.number << " * " << c.numerator << " / " << c.denominator;
    }
}

TEST(DialogUnitsTest, ConvertsWithTheTemplateFontsAverageLetterWidthAndHeight) {
    // The shell dialog face is the application's font; others are themselves.
    EXPECT_EQ(DialogUnits::templateFont(QStringLiteral("MS Shell Dlg"), 8).family(),
              QApplication::font().family());
    for (const QFont& font : {QApplication::font(), QFont(QStringLiteral("DejaVu Serif"), 15)}) {
        const QFontMetrics metrics(font);
        const double across =
            std::lround(metrics.horizontalAdvance(QStringLiteral(
                            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                        52.0);
        const DialogUnits units(font);
        for (int value = 0; value <= 300; ++value) {
            ASSERT_EQ(units.toPixelsX(value), std::lround(value * across / 4)) << value;
            ASSERT_EQ(units.toPixelsY(value), std::lround(value * metrics.height() / 8.0)) << value;
        }
    }
}

TEST(AboutTest, ClickingTheLinkOpensTheMakersAddressWhateverItShows) {
    CDlgAbout about;
    UrlRecorder opened;
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&about));
    about.setControlText(ControlId::AboutLink, QStringLiteral("https://elsewhere.example/"));
    QLabel* link = about.control<QLabel>(ControlId::AboutLink);
    QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(4, QFontMetrics(link->font()).height() / 2));
    EXPECT_EQ(opened.urls(), QList<QUrl>{QUrl(makerWebAddress())});
    EXPECT_TRUE(about.isVisible());
}

TEST(LinkControlTest, MeasuresItsTextInItsOwnFontAndOpensOnLeftReleasesOverIt) {
    const QString address = QStringLiteral("https://example.org/");
    // The text's size in the link's font as the program describes it: 13
    // pixels of cell height, regular Verdana.
    LogFont font;
    font.height = 13;
    font.weight = 400;
    font.faceName = QStringLiteral("Verdana");
    const QSize text =
        QFontMetrics(toQFont(font))
            .boundingRect(QRect(0, 0, 210, 18),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, address)
            .size();
    QWidget window;
    window.setGeometry(100, 100, 300, 60);
    CLinkControl link(&window);
    link.setGeometry(0, 0, 210, 30);
    link.setText(address);
    UrlRecorder opened;
    const auto release = [&link](QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseRelease(&link, button, {}, at);
    };
    EXPECT_TRUE(link.textRect().isEmpty()) << "nothing is measured before the first paint";
    link.setFont(QFont(QStringLiteral("DejaVu Serif"), 30, QFont::Bold)); // not the link's
    link.grab();
    EXPECT_EQ(link.textRect(), QRect(0, 0, text.width(), text.height() + 2));

    // Off the text, the other button, or a press.
    release(QPoint(text.width(), 5));
    release(QPoint(3, text.height() + 2));
    release(QPoint(3, 5), Qt::RightButton);
    QTest::mousePress(&link, Qt::LeftButton, {}, QPoint(3, 5));
    EXPECT_TRUE(opened.urls().isEmpty());
    release(QPoint(3, 5));
    EXPECT_EQ(opened.urls(), QList<QUrl>{QUrl(address)});
    // A double click is two clicks.
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::mouseDClick(window.windowHandle(), Qt::LeftButton, {}, QPoint(5, 8));
    EXPECT_EQ(opened.urls(), QList<QUrl>(3, QUrl(address)));
    // No text is nothing to open.
    link.setText(QString());
    link.grab();
    release(QPoint(0, 0));
    EXPECT_EQ(opened.urls().size(), 3);
}

} // namespace
