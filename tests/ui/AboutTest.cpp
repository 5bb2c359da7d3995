// Dialog units to pixels, and the About box built from its template: what
// it says, where its controls sit, which keys and clicks end it and what
// the link opens.
#include "resources/VersionBlock.h"
#include "tests/support/DialogTesting.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/UrlRecorder.h"
#include "ui/DialogUnits.h"
#include "ui/DlgAbout.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

namespace {

TEST(DialogUnitsTest, MulDivRoundsHalvesAwayFromZeroIn64Bits) {
    struct Case {
        int number, numerator, denominator, expected;
    };
    for (const Case c : {Case{1, 1, 2, 1}, Case{3, 1, 2, 2}, Case{-1, 1, 2, -1}, Case{-3, 1, 2, -2},
                         Case{1, -3, 2, -2}, Case{-3, 1, -2, 2}, Case{21, 7, 4, 37},
                         Case{5, 1, 4, 1}, Case{94, 13, 8, 153}, Case{4, 13, 8, 7},
                         Case{INT_MAX, INT_MAX, INT_MAX, INT_MAX}, Case{INT_MIN, 2, 2, INT_MIN},
                         Case{5, 3, 0, -1}, Case{INT_MAX, 2, 1, -1}, Case{INT_MIN, 2, 1, -1}}) {
        EXPECT_EQ(DialogUnits::mulDiv(c.number, c.numerator, c.denominator), c.expected)
            << c.number << " * " << c.numerator << " / " << c.denominator;
    }
}

TEST(DialogUnitsTest, ConvertsWithTheTemplateFontsAverageLetterWidthAndHeight) {
    // The shell dialog face is the application's font; others are themselves.
    const QFont shell = DialogUnits::templateFont(QStringLiteral("MS Shell Dlg"), 8);
    const QFont serif = DialogUnits::templateFont(QStringLiteral("DejaVu Serif"), 15);
    EXPECT_EQ(shell.family(), QApplication::font().family());
    EXPECT_EQ(serif.family(), QStringLiteral("DejaVu Serif"));
    EXPECT_EQ(std::pair(shell.pointSize(), serif.pointSize()), std::pair(8, 15));
    for (const QFont& font : {shell, serif}) {
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
        EXPECT_EQ(units.toPixels(QRect(143, 72, 50, 14)),
                  QRect(units.toPixelsX(143), units.toPixelsY(72), units.toPixelsX(50),
                        units.toPixelsY(14)));
    }
}

class AboutTest : public testing::Test {
protected:
    QLabel* label(int id) { return about.control<QLabel>(id); }
    QPushButton* ok() { return about.control<QPushButton>(ControlId::Ok); }
    QLabel* link() { return label(ControlId::AboutLink); }
    void clickLink() {
        QTest::mouseClick(link(), Qt::LeftButton, {},
                          QPoint(4, QFontMetrics(link()->font()).height() / 2));
    }

    CDlgAbout about;
    UrlRecorder opened;
};

TEST_F(AboutTest, ShowsNameVersionAndCopyrightTopDownAtTheirDialogUnits) {
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Lumora"));
    QLabel* name = label(ControlId::AboutProductName);
    QLabel* version = label(ControlId::AboutVersion);
    QLabel* copyright = label(ControlId::AboutCopyright);
    ASSERT_TRUE(name && version && copyright);
    EXPECT_EQ(name->text(), QStringLiteral("Lumora"));
    EXPECT_EQ(version->text(),
              "Version: " + VersionBlock::stringValue(u"ProductVersion").value_or("?"));
    EXPECT_TRUE(version->text().startsWith(u"Version: 1."));
    EXPECT_EQ(copyright->text(), VersionBlock::stringValue(u"LegalCopyright").value_or("?"));
    EXPECT_TRUE(copyright->text().startsWith(u"Copyright"));
    EXPECT_LT(name->y(), version->y());
    EXPECT_LT(version->y(), copyright->y());
    EXPECT_EQ(CDlgAbout::versionLine(QStringLiteral("%s")), QStringLiteral("Version: %s"));
    EXPECT_TRUE(CDlgAbout::versionLine(std::nullopt).isEmpty());

    // Laid out in the application's font at 8 points, a fixed size.
    EXPECT_EQ(about.font().family(), QApplication::font().family());
    EXPECT_EQ(about.font().pointSize(), 8);
    const DialogUnits units(about.font());
    EXPECT_EQ(QRect(QPoint(), about.size()), units.toPixels(QRect(0, 0, 200, 94)));
    EXPECT_EQ(about.minimumSize(), about.maximumSize());
    EXPECT_EQ(ok()->geometry(), units.toPixels(QRect(143, 72, 50, 14)));
    EXPECT_EQ(link()->geometry(), units.toPixels(QRect(74, 60, 119, 9)));
    EXPECT_EQ(version->geometry(), units.toPixels(QRect(46, 25, 146, 8)));
    // Controls are named by identifier; the icon has none and shows the
    // program's icon at most as large as its box.
    EXPECT_EQ(about.findChild<QPushButton*>(QStringLiteral("1")), ok());
    EXPECT_EQ(about.findChild<QLabel*>(QStringLiteral("1027")), link());
    QList<QLabel*> pictures = about.findChildren<QLabel*>();
    pictures.removeIf([](QLabel* child) { return child->pixmap().isNull(); });
    ASSERT_EQ(pictures.size(), 1);
    const QRect iconBox = units.toPixels(QRect(14, 14, 21, 20));
    EXPECT_EQ(pictures.front()->geometry(), iconBox);
    EXPECT_TRUE(pictures.front()->objectName().isEmpty());
    const QSize shown = pictures.front()->pixmap().deviceIndependentSize().toSize();
    EXPECT_TRUE(iconBox.size().expandedTo(shown) == iconBox.size() && shown.height() > 16);

    // Only labels that ask for it mark mnemonics.
    about.setControlText(ControlId::AboutCopyright, QStringLiteral("Smith && &Sons & Co"));
    EXPECT_EQ(copyright->text(), QStringLiteral("Smith & Sons & Co"));
    about.setControlText(ControlId::AboutProductName, QStringLiteral("<b>A&&B</b>"));
    EXPECT_EQ(name->text(), QStringLiteral("<b>A&&B</b>"));
    EXPECT_EQ(name->textFormat(), Qt::PlainText);
    EXPECT_TRUE(TemplateDialog(-5).findChildren<QWidget*>().isEmpty()) << "an unknown template";
}

TEST_F(AboutTest, OkHasTheFocusThenTheLinkAndOnlyOkOrEnterEndWithOne) {
    EXPECT_TRUE(ok()->isDefault());
    EXPECT_EQ(ExecWith(about,
                       [&] {
                           EXPECT_TRUE(ok()->hasFocus());
                           QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                           EXPECT_TRUE(link()->hasFocus());
                           // Enter on the focused link neither opens it nor
                           // presses the default button.
                           QTest::keyClick(link(), Qt::Key_Return);
                           QTest::keyClick(link(), Qt::Key_Enter);
                           EXPECT_TRUE(about.isVisible());
                           QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                           EXPECT_TRUE(ok()->hasFocus());
                           QTest::mouseClick(ok(), Qt::LeftButton);
                       }),
              1);
    EXPECT_EQ(
        ExecWith(about, [&] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); }), 2);
    EXPECT_EQ(
        ExecWith(about, [&] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); }), 1);
    EXPECT_EQ(ExecWith(about, [&] { about.close(); }), 2);
    EXPECT_TRUE(opened.urls().isEmpty());
    EXPECT_EQ(link()->focusPolicy(), Qt::TabFocus);
}

TEST_F(AboutTest, ClickingTheLinkOpensTheMakersAddressWhateverItShows) {
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&about));
    clickLink();
    EXPECT_EQ(opened.urls(), QList<QUrl>{QUrl(makerWebAddress())});
    EXPECT_TRUE(about.isVisible());
    about.setControlText(ControlId::AboutLink, QStringLiteral("https://elsewhere.example/"));
    ASSERT_TRUE(link()->text().contains(u"elsewhere"));
    clickLink();
    EXPECT_EQ(opened.urls(), (QList<QUrl>{QUrl(makerWebAddress()), QUrl(makerWebAddress())}));
}

TEST(AboutOwned, OpensCentredOverItsOwner) {
    QWidget owner;
    owner.setGeometry(40, 60, 600, 450);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    CDlgAbout owned(&owner);
    owned.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owned));
    EXPECT_LE((owned.frameGeometry().center() - owner.frameGeometry().center()).manhattanLength(),
              2);
}

} // namespace
