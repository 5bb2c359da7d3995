// The About box as the user meets it: what it says, where its controls
// sit, which keys and clicks end it and what the link opens.
#include "resources/VersionBlock.h"
#include "tests/support/DialogTesting.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/UrlRecorder.h"
#include "ui/DlgAbout.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

QString versionValue(const char16_t* name) {
    return VersionBlock::stringValue(QStringView(name)).value_or(QStringLiteral("(missing)"));
}

// A template rectangle in pixels, worked out here from the font's metrics:
// a quarter of the rounded average letter width across, an eighth of the
// line height down, each to the nearest pixel.
QRect pixelsOf(const QFont& font, int x, int y, int width, int height) {
    const QFontMetrics metrics(font);
    const double across = std::lround(metrics.horizontalAdvance(QStringLiteral(
                                          "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                                      52.0);
    const auto h = [&](int units) { return static_cast<int>(std::lround(units * across / 4)); };
    const auto v = [&](int units) {
        return static_cast<int>(std::lround(units * metrics.height() / 8.0));
    };
    return {h(x), v(y), h(width), v(height)};
}

class AboutTest : public testing::Test {
protected:
    QLabel* label(int id) { return about.control<QLabel>(id); }
    QPushButton* ok() { return about.control<QPushButton>(ControlId::Ok); }
    QLabel* link() { return label(ControlId::AboutLink); }
    void showAbout() {
        about.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&about));
    }
    void clickLink() {
        const QPoint firstLetters(4, QFontMetrics(link()->font()).height() / 2);
        QTest::mouseClick(link(), Qt::LeftButton, {}, firstLetters);
    }

    CDlgAbout about;
    UrlRecorder opened;
};

TEST_F(AboutTest, ShowsNameVersionAndCopyrightTopDown) {
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Lumora"));
    QLabel* name = label(ControlId::AboutProductName);
    QLabel* version = label(ControlId::AboutVersion);
    QLabel* copyright = label(ControlId::AboutCopyright);
    ASSERT_TRUE(name && version && copyright);
    EXPECT_EQ(name->text(), QStringLiteral("Lumora"));
    EXPECT_EQ(version->text(), QStringLiteral("Version: ") + versionValue(u"ProductVersion"));
    EXPECT_TRUE(version->text().startsWith(u"Version: 1."));
    EXPECT_EQ(copyright->text(), versionValue(u"LegalCopyright"));
    EXPECT_TRUE(copyright->text().startsWith(u"Copyright"));
    EXPECT_LT(name->y(), version->y());
    EXPECT_LT(version->y(), copyright->y());

    EXPECT_EQ(CDlgAbout::versionLine(QStringLiteral("%s")), QStringLiteral("Version: %s"));
    EXPECT_TRUE(CDlgAbout::versionLine(std::nullopt).isEmpty());
}

TEST_F(AboutTest, PlacesControlsAtTheirDialogUnitsInTheApplicationsFont) {
    const QFont font = about.font();
    EXPECT_EQ(font.family(), QApplication::font().family());
    EXPECT_EQ(font.pointSize(), 8);
    EXPECT_EQ(QRect(QPoint(), about.size()), pixelsOf(font, 0, 0, 200, 94));
    EXPECT_EQ(about.minimumSize(), about.maximumSize());
    EXPECT_EQ(ok()->geometry(), pixelsOf(font, 143, 72, 50, 14));
    EXPECT_EQ(link()->geometry(), pixelsOf(font, 74, 60, 119, 9));
    EXPECT_EQ(label(ControlId::AboutVersion)->geometry(), pixelsOf(font, 46, 25, 146, 8));

    // Controls are named by identifier; the icon has none and shows the
    // program's icon at most as large as its box.
    EXPECT_EQ(about.findChild<QPushButton*>(QStringLiteral("1")), ok());
    EXPECT_EQ(about.findChild<QLabel*>(QStringLiteral("1027")), link());
    QList<QLabel*> pictures = about.findChildren<QLabel*>();
    pictures.removeIf([](QLabel* child) { return child->pixmap().isNull(); });
    ASSERT_EQ(pictures.size(), 1);
    const QRect iconBox = pixelsOf(font, 14, 14, 21, 20);
    EXPECT_EQ(pictures.front()->geometry(), iconBox);
    EXPECT_TRUE(pictures.front()->objectName().isEmpty());
    const QSize shown = pictures.front()->pixmap().deviceIndependentSize().toSize();
    EXPECT_TRUE(iconBox.size().expandedTo(shown) == iconBox.size() && shown.height() > 16);
}

TEST_F(AboutTest, OkIsTheDefaultButtonAndHasTheFocusThenTheLink) {
    EXPECT_TRUE(ok()->isDefault());
    showAbout();
    EXPECT_TRUE(ok()->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_TRUE(link()->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_TRUE(ok()->hasFocus());
}

TEST_F(AboutTest, OkEndsWithOneAndEscapeOrClosingWithTwo) {
    EXPECT_EQ(ExecWith(about, [&] { QTest::mouseClick(ok(), Qt::LeftButton); }), 1);
    EXPECT_EQ(
        ExecWith(about, [&] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); }), 2);
    EXPECT_EQ(
        ExecWith(about, [&] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); }), 1);
    EXPECT_EQ(ExecWith(about, [&] { about.close(); }), 2);
    EXPECT_TRUE(opened.urls().isEmpty());
}

TEST_F(AboutTest, ClickingTheLinkOpensTheMakersAddressWhateverItShows) {
    showAbout();
    clickLink();
    EXPECT_EQ(opened.urls(), QList<QUrl>{QUrl(makerWebAddress())});
    EXPECT_TRUE(about.isVisible());

    about.setControlText(ControlId::AboutLink, QStringLiteral("https://elsewhere.example/"));
    ASSERT_TRUE(link()->text().contains(u"elsewhere"));
    clickLink();
    EXPECT_EQ(opened.urls(), (QList<QUrl>{QUrl(makerWebAddress()), QUrl(makerWebAddress())}));
}

TEST_F(AboutTest, EnterOnTheFocusedLinkDoesNothing) {
    showAbout();
    link()->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(link()->hasFocus());
    QTest::keyClick(link(), Qt::Key_Return);
    QTest::keyClick(link(), Qt::Key_Enter);
    EXPECT_TRUE(opened.urls().isEmpty());
    EXPECT_TRUE(about.isVisible()) << "the default button was not pressed";
    EXPECT_EQ(link()->focusPolicy(), Qt::TabFocus);
}

TEST_F(AboutTest, OpensCentredOverItsOwner) {
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

TEST(TemplateDialogTest, MarksMnemonicsOnlyInLabelsThatAskForIt) {
    CDlgAbout about;
    about.setControlText(ControlId::AboutCopyright, QStringLiteral("Smith && &Sons & Co"));
    EXPECT_EQ(about.control<QLabel>(ControlId::AboutCopyright)->text(),
              QStringLiteral("Smith & Sons & Co"));
    about.setControlText(ControlId::AboutProductName, QStringLiteral("<b>A&&B</b>"));
    EXPECT_EQ(about.control<QLabel>(ControlId::AboutProductName)->text(),
              QStringLiteral("<b>A&&B</b>"));
    EXPECT_EQ(about.control<QLabel>(ControlId::AboutProductName)->textFormat(), Qt::PlainText);

    TemplateDialog unknown(-5);
    EXPECT_TRUE(unknown.findChildren<QWidget*>().isEmpty());
}

} // namespace
