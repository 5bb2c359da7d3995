// The caption dialog as a person uses it: what it shows for a caption, how
// each control writes into the working caption, the choosers, and how it
// ends.
#include "ui/CaptionDialog.h"
#include "resources/DialogTemplates.h"
#include "tests/support/DialogTesting.h"
#include "tests/support/QtPrinters.h"
#include "tests/ui/CaptionDialogFixture.h"
#include "ui/CaptionTextEdit.h"
#include "ui/ColorBox.h"
#include "ui/ColorChooser.h"
#include "ui/FontChoice.h"
#include "ui/NumberText.h"
#include "ui/UpDownControl.h"

#include <QCheckBox>
#include <QClipboard>
#include <QColorDialog>
#include <QComboBox>
#include <QFontDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>
#include <limits>

namespace {

using namespace ControlId;

using CaptionDialogTest = CaptionDialogFixture;

TEST_F(CaptionDialogTest, NewCaptionShowsTheDefaultsWithTheFocusInTheLeftMargin) {
    ASSERT_EQ(screenLogicalDpiY(), 96);
    EXPECT_EQ(dialog.windowTitle(), "Caption");
    EXPECT_EQ(find<QPushButton>(Ok)->text(), "Add");
    EXPECT_TRUE(find<QPushButton>(Ok)->isDefault());
    // A new caption's size is relative to the picture.
    EXPECT_EQ(find<QLabel>(FontDescription)->text(), "Arial, 2.9% of picture, Regular");
    // The swatch's frame is black whatever its colour.
    EXPECT_EQ(swatch(find<CColorBox>(BackgroundColorSwatch)),
              std::make_pair(QColor(Qt::white), QColor(Qt::black)));
    EXPECT_EQ(dialog.caption(), Caption());

    showDialog();
    EXPECT_EQ(QApplication::focusWidget(), edit(MarginLeft));
}

TEST_F(CaptionDialogTest, TabVisitsTheTabStopsInTemplateOrderAndSkipsRadioButtons) {
    showDialog();
    QStringList visited;
    for (int i = 0; i < 19; ++i) {
        visited << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    // The size and its unit follow "Choose font...", the outline, shadow and
    // box check boxes (their settings are off, so disabled) the background
    // colour, "Shrink to fit one line" the description flags, and the
    // placeholder menu the text.
    EXPECT_EQ(visited.join(u' '), "1000 1001 1002 1003 1020 1031 1032 1022 1023 1033 1038 1048 "
                                  "1017 1018 1056 1019 1055 1 2");
    EXPECT_EQ(QApplication::focusWidget()->objectName(), "1000");
}

TEST_F(CaptionDialogTest, StartsFromACopyOfTheGivenCaption) {
    Caption given;
    given.text = QStringLiteral("Two\r\nlines");
    given.marginLeft = 12;
    given.marginBottom = -3;
    given.horizontalAlignment = HorizontalAlignment::Right;
    given.verticalAlignment = VerticalAlignment::Bottom;
    given.disposition = Disposition::BottomBand;
    given.useTextAsDescription = true;
    given.textColor = 0xFF0000FF;
    given.backgroundColor = 0x00FF0000;
    given.sizePercent = 100.0 / 3.0;
    given.outline = {true, 0.126, SizeUnit::PercentOfPicture, 0x0000FF00};
    given.shadow = {true, -4, 9, 2.5, 0x00123456, 45};
    given.box = {true, 0x00FF0000, 80, 12};
    CCaptionDialog editing(given);
    const auto control = [&](int id) { return editing.findChild<QWidget*>(QString::number(id)); };
    const auto text = [&](int id) { return qobject_cast<QLineEdit*>(control(id))->text(); };
    const auto isChecked = [&](int id) {
        return qobject_cast<QAbstractButton*>(control(id))->isChecked();
    };
    EXPECT_EQ(qobject_cast<CaptionTextEdit*>(control(CaptionText))->toPlainText(), "Two\nlines");
    const std::pair<int, const char*> fields[] = {
        {MarginLeft, "12"},    {MarginBottom, "-3"}, {SizeValue, "33.33"}, {OutlineWidth, "0.13"},
        {ShadowOffsetX, "-4"}, {ShadowOffsetY, "9"}, {ShadowBlur, "2.5"},  {ShadowOpacity, "45"},
        {BoxOpacity, "80"},    {BoxPadding, "12"}};
    for (const auto& [id, shown] : fields)
        EXPECT_EQ(text(id), shown) << id;
    for (int id : {AlignRight, AlignBottom, BottomBand, TextAsDescription, OutlineEnabled,
                   ShadowEnabled, BoxEnabled})
        EXPECT_TRUE(isChecked(id)) << id;
    EXPECT_FALSE(isChecked(AlignLeft));
    EXPECT_EQ(qobject_cast<QComboBox*>(control(OutlineWidthUnit))->currentIndex(), 0);
    // Colours are 0x00BBGGRR and the top byte is not drawn.
    EXPECT_EQ(swatch(qobject_cast<CColorBox*>(control(TextColorSwatch))).first, QColor(255, 0, 0));
    EXPECT_EQ(swatch(qobject_cast<CColorBox*>(control(BackgroundColorSwatch))).first,
              QColor(0, 0, 255));
    EXPECT_EQ(qobject_cast<CColorBox*>(control(ShadowColorSwatch))->color(), 0x00123456u);
    EXPECT_EQ(qobject_cast<QLabel*>(control(FontDescription))->text(),
              "Arial, 33.3% of picture, Regular");
    // Showing the caption, rounded numbers included, wrote nothing back.
    EXPECT_EQ(editing.caption(), given);
}

TEST_F(CaptionDialogTest, EveryControlWritesIntoTheWorkingCaptionAtOnce) {
    showDialog();
    QLineEdit* top = edit(MarginTop);
    top->selectAll();
    QTest::keyClicks(top, "4x2");
    EXPECT_EQ(top->text(), "42") << "only digits can be typed";
    EXPECT_EQ(dialog.caption().marginTop, 42);
    EXPECT_EQ(dialog.caption().marginLeft, 0);

    click(AlignCenter);
    click(AlignBottom);
    click(TopBand);
    EXPECT_EQ(dialog.caption().horizontalAlignment, 'c');
    EXPECT_EQ(dialog.caption().verticalAlignment, 'b');
    EXPECT_EQ(dialog.caption().disposition, 'T');
    EXPECT_FALSE(checked(AlignLeft)) << "each group is one choice";
    EXPECT_TRUE(checked(AlignBottom)) << "groups do not take each other's checks";
    EXPECT_TRUE(checked(TopBand));
    click(BottomBand);
    EXPECT_EQ(dialog.caption().disposition, 'B');
    // A clicked radio button has the focus, and the arrow keys move the
    // choice within its group.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
    EXPECT_EQ(dialog.caption().disposition, 'T');
    EXPECT_EQ(QApplication::focusWidget()->objectName(), "1015");
    click(AlignRight);
    EXPECT_EQ(dialog.caption().horizontalAlignment, 'r');

    auto* text = find<CaptionTextEdit>(CaptionText);
    text->setFocus();
    QTest::keyClicks(text, "Harbour");
    QTest::keyClick(text, Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClicks(text, "morning");
    EXPECT_EQ(dialog.caption().text, "Harbour\r\nmorning");
    EXPECT_TRUE(dialog.isVisible());

    // Pasted line breaks of any kind are one break each.
    text->clear();
    QGuiApplication::clipboard()->setText(QStringLiteral("a\r\nb\rc\nd"));
    text->paste();
    EXPECT_EQ(dialog.caption().text, "a\r\nb\r\nc\r\nd");
}

TEST_F(CaptionDialogTest, MarginTextBecomesANumberEvenWhenEmptyOrHuge) {
    QLineEdit* right = edit(MarginRight);
    right->setText(QStringLiteral("17"));
    EXPECT_EQ(dialog.caption().marginRight, 17);
    right->clear();
    EXPECT_EQ(dialog.caption().marginRight, 0);
    right->setText(QStringLiteral("99999999999999999999"));
    EXPECT_EQ(dialog.caption().marginRight, std::numeric_limits<std::int32_t>::max());
    right->setText(QStringLiteral("  -2147483649"));
    EXPECT_EQ(dialog.caption().marginRight, std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(dialog.caption().marginLeft, 0);

    EXPECT_EQ(numberFromText(u"\t +25 px"), 25);
    EXPECT_EQ(numberFromText(u"-0"), 0);
    EXPECT_EQ(numberFromText(u"x12"), 0);
    EXPECT_EQ(numberFromText(u"-"), 0);
    EXPECT_EQ(numberFromText(u"2147483647"), 2147483647);
    EXPECT_EQ(numberFromText(u"2147483648"), 2147483647);
    EXPECT_EQ(numberFromText(u"-2147483648"), -2147483647 - 1);
    EXPECT_EQ(numberFromText(u"00000000000000000000000000000042"), 42);
}

TEST_F(CaptionDialogTest, UpArrowsLowerTheMarginAndDownArrowsRaiseItWithinZeroToHundred) {
    showDialog();
    auto* spin = find<UpDownControl>(SpinLeft);
    QLineEdit* left = edit(MarginLeft);
    EXPECT_EQ(spin->buddy(), left);
    EXPECT_EQ(find<UpDownControl>(SpinTop)->buddy(), edit(MarginTop));
    EXPECT_EQ(find<UpDownControl>(SpinRight)->buddy(), edit(MarginRight));
    EXPECT_EQ(find<UpDownControl>(SpinBottom)->buddy(), edit(MarginBottom));
    // The arrows sit inside the edit's right end.
    EXPECT_EQ(spin->geometry().left(), left->geometry().right() + 1);
    EXPECT_EQ(spin->geometry().top(), left->geometry().top());

    left->setText(QStringLiteral("5"));
    QTest::mouseClick(spin->upArrow(), Qt::LeftButton);
    EXPECT_EQ(left->text(), "4");
    EXPECT_EQ(dialog.caption().marginLeft, 4);
    QTest::mouseClick(spin->downArrow(), Qt::LeftButton);
    QTest::mouseClick(spin->downArrow(), Qt::LeftButton);
    EXPECT_EQ(dialog.caption().marginLeft, 6);
    left->setFocus();
    QTest::keyClick(left, Qt::Key_Up);
    EXPECT_EQ(dialog.caption().marginLeft, 5);
    QTest::keyClick(left, Qt::Key_Down);
    EXPECT_EQ(dialog.caption().marginLeft, 6);

    left->setText(QStringLiteral("0"));
    QTest::mouseClick(spin->upArrow(), Qt::LeftButton);
    EXPECT_EQ(left->text(), "0");
    left->setText(QStringLiteral("100"));
    QTest::mouseClick(spin->downArrow(), Qt::LeftButton);
    EXPECT_EQ(left->text(), "100");
    // A number outside the range is brought into it first.
    left->setText(QStringLiteral("5000"));
    QTest::mouseClick(spin->upArrow(), Qt::LeftButton);
    EXPECT_EQ(dialog.caption().marginLeft, 99);
    left->clear();
    QTest::mouseClick(spin->downArrow(), Qt::LeftButton);
    EXPECT_EQ(dialog.caption().marginLeft, 1);
    EXPECT_EQ(dialog.caption().marginTop, 0);
}

TEST_F(CaptionDialogTest, TheTwoDescriptionFlagsClearEachOther) {
    showDialog();
    click(TextAsDescription);
    EXPECT_TRUE(dialog.caption().useTextAsDescription);
    click(DescriptionAsText);
    EXPECT_TRUE(checked(DescriptionAsText));
    EXPECT_FALSE(checked(TextAsDescription));
    EXPECT_TRUE(dialog.caption().useDescriptionAsText);
    EXPECT_FALSE(dialog.caption().useTextAsDescription);
    click(DescriptionAsText);
    EXPECT_FALSE(checked(DescriptionAsText));
    EXPECT_FALSE(checked(TextAsDescription));
    EXPECT_FALSE(dialog.caption().useDescriptionAsText);
    EXPECT_FALSE(dialog.caption().useTextAsDescription);

    // The refresh that shows the flags keeps the text and margins typed.
    edit(MarginBottom)->setText(QStringLiteral("8"));
    find<CaptionTextEdit>(CaptionText)->setText(QStringLiteral("kept"));
    click(TextAsDescription);
    EXPECT_EQ(dialog.caption().marginBottom, 8);
    EXPECT_EQ(dialog.caption().text, "kept");
    EXPECT_TRUE(find<CaptionTextEdit>(CaptionText)->isEnabled());
}

TEST_F(CaptionDialogTest, AddOrEnterConfirmsAndCancelEscapeOrClosingDiscard) {
    EXPECT_EQ(ExecWith(dialog, [&] { click(Ok); }), 1);
    EXPECT_EQ(ExecWith(dialog, [&] { click(Cancel); }), 2);
    EXPECT_EQ(
        ExecWith(dialog, [&] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); }), 2);
    EXPECT_EQ(ExecWith(dialog, [&] { dialog.close(); }), 2);
    // Enter in the text box is the dialog's: it presses "Add".
    EXPECT_EQ(ExecWith(dialog,
                       [&] {
                           auto* text = find<CaptionTextEdit>(CaptionText);
                           text->setFocus();
                           QTest::keyClicks(text, "one line");
                           QTest::keyClick(text, Qt::Key_Return);
                       }),
              1);
    EXPECT_EQ(dialog.caption().text, "one line");
}

TEST(DescribeFont, NamesFacePointsAndStyleWordsInOrder) {
    LogFont font = defaultCaptionFont();
    EXPECT_EQ(CCaptionDialog::describeFont(font, 96), "Arial, 11, Regular");
    font.setFaceName(QStringLiteral("DejaVu Serif"));
    font.height = -16;
    font.weight = 700;
    font.italic = 1;
    font.underline = 1;
    EXPECT_EQ(CCaptionDialog::describeFont(font, 96), "DejaVu Serif, 12, Bold, Italic, Underline");
    font.strikeOut = 1;
    font.weight = 500;
    font.italic = 0;
    EXPECT_EQ(CCaptionDialog::describeFont(font, 96), "DejaVu Serif, 12, Underline, Strikeout");
    font.weight = 501;
    font.underline = 0;
    EXPECT_EQ(CCaptionDialog::describeFont(font, 96), "DejaVu Serif, 12, Bold, Strikeout");
    // Points follow the screen's DPI, rounded half away from zero; a cell
    // height gives a negative size.
    EXPECT_EQ(CCaptionDialog::describeFont(font, 120).section(u',', 1, 1), " 10");
    font.height = -15;
    EXPECT_EQ(CCaptionDialog::describeFont(font, 96).section(u',', 1, 1), " 11");
    font.height = 16;
    EXPECT_EQ(CCaptionDialog::describeFont(font, 96).section(u',', 1, 1), " -12");
}

TEST_F(CaptionDialogTest, FontChooserStartsFromTheCaptionFontAndItsChoiceComesBackInPixels) {
    showDialog();
    QFont started;
    WhenModal<QFontDialog>([&](QFontDialog* chooser) {
        started = chooser->currentFont();
        QFont chosen(QStringLiteral("DejaVu Serif"));
        chosen.setPointSize(12);
        chosen.setWeight(QFont::Bold);
        chosen.setItalic(true);
        chosen.setUnderline(true);
        chooser->setCurrentFont(chosen);
        chooser->accept();
    });
    click(ChooseFont);
    EXPECT_EQ(started.pointSize(), 11);
    EXPECT_FALSE(started.bold());
    const LogFont& font = dialog.caption().font;
    EXPECT_EQ(font.faceName, "DejaVu Serif");
    EXPECT_EQ(font.height, -16);
    EXPECT_EQ(font.weight, 700);
    EXPECT_EQ(font.italic, 1);
    EXPECT_EQ(font.underline, 1);
    EXPECT_EQ(font.strikeOut, 0);
    EXPECT_EQ(font.charSet, defaultCaptionFont().charSet);
    EXPECT_EQ(find<QLabel>(FontDescription)->text(), "DejaVu Serif, 12, Bold, Italic, Underline");

    // Cancelling keeps everything.
    const Caption before = dialog.caption();
    WhenModal<QFontDialog>([&](QFontDialog* chooser) {
        started = chooser->currentFont();
        chooser->setCurrentFont(QFont(QStringLiteral("DejaVu Sans Mono"), 30));
        chooser->reject();
    });
    click(ChooseFont);
    EXPECT_EQ(started.family(), "DejaVu Serif");
    EXPECT_TRUE(started.italic() && started.underline() && started.bold());
    EXPECT_EQ(dialog.caption(), before);
}

TEST_F(CaptionDialogTest, ColourChoosersSetTheirColourAndShareTheCustomColours) {
    showDialog();
    QColor started;
    WhenModal<QColorDialog>([&](QColorDialog* chooser) {
        started = chooser->currentColor();
        chooser->setCurrentColor(QColor(10, 20, 30));
        // The person adds the colour to the custom colours.
        for (QPushButton* button : chooser->findChildren<QPushButton*>()) {
            if (button->text().contains(u"Custom"))
                button->click();
        }
        chooser->accept();
    });
    click(ChooseTextColor);
    EXPECT_EQ(started, QColor(Qt::black));
    EXPECT_EQ(dialog.caption().textColor, 0x001E140Au);
    EXPECT_EQ(swatch(find<CColorBox>(TextColorSwatch)).first, QColor(10, 20, 30));
    EXPECT_EQ(ColorChooser::customColor(0), QColor(10, 20, 30));

    // Whatever Qt's own table holds meanwhile, the next chooser (for the
    // other colour, even) offers the program's custom colours. Cancelling
    // keeps the background.
    QColorDialog::setCustomColor(0, Qt::red);
    QColor offered;
    WhenModal<QColorDialog>([&](QColorDialog* chooser) {
        started = chooser->currentColor();
        offered = QColorDialog::customColor(0);
        chooser->setCurrentColor(Qt::green);
        chooser->reject();
    });
    click(ChooseBackgroundColor);
    EXPECT_EQ(started, QColor(Qt::white));
    EXPECT_EQ(offered, QColor(10, 20, 30));
    EXPECT_EQ(dialog.caption().backgroundColor, 0xFFFFFFFFu);
    EXPECT_EQ(swatch(find<CColorBox>(BackgroundColorSwatch)).first, QColor(Qt::white));
    for (int i = 1; i < ColorChooser::kCustomColorCount; ++i)
        EXPECT_EQ(ColorChooser::customColor(i), QColor(Qt::white)) << i;
}

} // namespace

TEST_F(CaptionDialogTest, ShrinkToFitSetsTheCaptionsFitAndShowsIt) {
    showDialog();
    click(ShrinkToFit);
    EXPECT_EQ(dialog.caption().fit, TextFit::Shrink);
    click(ShrinkToFit);
    EXPECT_EQ(dialog.caption().fit, TextFit::Wrap);
    Caption given;
    given.fit = TextFit::Shrink;
    CCaptionDialog editing(given);
    EXPECT_TRUE(editing.findChild<QAbstractButton*>("1056")->isChecked());
}
