// The caption dialog as a person uses it.
#include "ui/CaptionDialog.h"
#include "tests/support/CaptionDialogDriver.h"
#include "tests/support/DialogTesting.h"
#include "tests/support/QtPrinters.h"
#include "ui/UpDownControl.h"

#include <QClipboard>
#include <QColorDialog>
#include <QFontDialog>
#include <QMenu>
#include <QPushButton>
#include <QTextCursor>
#include <QToolButton>

#include <limits>

namespace {

using namespace ControlId;

// A shown dialog for a new caption and the last caption it announced.
class CaptionDialogTest : public testing::Test {
protected:
    void SetUp() override {
        QObject::connect(&dialog, &CCaptionDialog::captionChanged,
                         [this](const Caption& caption) { lastAnnounced = caption; });
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    }
    template <class T = QWidget> T* find(int id) { return Control<T>(&dialog, id); }
    QString text(int id) { return find<QLineEdit>(id)->text(); }
    void click(int id) { Click(&dialog, id); }
    void type(int id, const QString& typed) { Type(&dialog, id, typed); }
    void arrow(int id, bool up) {
        auto* arrows = find<UpDownControl>(id);
        QTest::mouseClick(up ? arrows->upArrow() : arrows->downArrow(), Qt::LeftButton);
    }
    void stepChoice(int id, Qt::Key key) {
        find(id)->setFocus();
        QTest::keyClick(find(id), key);
    }

    CCaptionDialog dialog;
    Caption lastAnnounced;
};

TEST(CaptionDialog, ShowsTheGivenCaptionAndWritesNothingBack) {
    Caption given;
    given.text = QStringLiteral("Two\r\nlines");
    given.marginLeft = 12;
    given.marginBottom = -3;
    given.horizontalAlignment = HorizontalAlignment::Right;
    given.disposition = Disposition::BottomBand;
    given.useTextAsDescription = true;
    given.fit = TextFit::Shrink;
    given.sizePercent = 100.0 / 3.0;
    given.outline = {true, 0.126, SizeUnit::PercentOfPicture, 0x0000FF00};
    given.shadow = {true, -4, 9, 2.5, 0x00123456, 45};
    given.box = {true, 0x00FF0000, 80, 12};
    const CCaptionDialog editing(given);
    EXPECT_EQ(Control<CaptionTextEdit>(&editing, CaptionText)->toPlainText(), "Two\nlines");
    for (const auto& [id, shown] : {std::pair{MarginBottom, "-3"}, std::pair{SizeValue, "33.33"},
                                    std::pair{OutlineWidth, "0.13"}, std::pair{ShadowBlur, "2.5"}})
        EXPECT_EQ(Control<QLineEdit>(&editing, id)->text(), shown) << id;
    for (int id : {AlignRight, BottomBand, TextAsDescription, ShrinkToFit, BoxEnabled, AlignLeft})
        EXPECT_EQ(Control<QAbstractButton>(&editing, id)->isChecked(), id != AlignLeft) << id;
    // Showing the caption, rounded numbers included, wrote nothing back.
    EXPECT_EQ(editing.caption(), given);
}

TEST_F(CaptionDialogTest, EveryControlWritesIntoTheWorkingCaptionAtOnce) {
    type(MarginTop, "4x2");
    EXPECT_EQ(text(MarginTop), "42") << "only digits can be typed";
    click(AlignCenter);
    click(AlignBottom);
    click(TopBand);
    click(ShrinkToFit);
    type(CaptionText, "Harbour\nmorning");
    EXPECT_TRUE(dialog.isVisible()) << "Ctrl+Enter is a new line";
    Caption expected;
    expected.marginTop = 42;
    expected.horizontalAlignment = HorizontalAlignment::Center;
    expected.verticalAlignment = VerticalAlignment::Bottom;
    expected.disposition = Disposition::TopBand;
    expected.fit = TextFit::Shrink;
    expected.text = QStringLiteral("Harbour\r\nmorning");
    EXPECT_EQ(dialog.caption(), expected);
    EXPECT_EQ(lastAnnounced, expected);

    // Pasted line breaks of any kind are one break each.
    find<CaptionTextEdit>(CaptionText)->clear();
    QGuiApplication::clipboard()->setText(QStringLiteral("a\r\nb\rc\nd"));
    find<CaptionTextEdit>(CaptionText)->paste();
    EXPECT_EQ(dialog.caption().text, "a\r\nb\r\nc\r\nd");
}

TEST_F(CaptionDialogTest, MarginTextBecomesANumberEvenWhenEmptyOrHuge) {
    constexpr int kMax = std::numeric_limits<std::int32_t>::max();
    for (const auto& [typed, number] :
         {std::pair{u"", 0}, std::pair{u"99999999999999999999", kMax},
          std::pair{u"  -2147483649", -kMax - 1}, std::pair{u"\t +25 px", 25}, std::pair{u"x12", 0},
          std::pair{u"2147483648", kMax}}) {
        find<QLineEdit>(MarginRight)->setText(QString::fromUtf16(typed));
        EXPECT_EQ(dialog.caption().marginRight, number) << QString::fromUtf16(typed).toStdString();
    }
}

TEST_F(CaptionDialogTest, UpArrowsLowerTheMarginAndDownArrowsRaiseItWithinZeroToHundred) {
    struct Row {
        const char* start;
        bool up;
        int expected;
    };
    // A number outside the range is brought into it first.
    for (const Row& row : {Row{"5", true, 4}, Row{"5", false, 6}, Row{"0", true, 0},
                           Row{"100", false, 100}, Row{"5000", true, 99}}) {
        find<QLineEdit>(MarginLeft)->setText(QString::fromLatin1(row.start));
        arrow(SpinLeft, row.up);
        EXPECT_EQ(dialog.caption().marginLeft, row.expected) << row.start << " " << row.up;
    }
    // The keyboard's arrows step the same way.
    find(MarginLeft)->setFocus();
    QTest::keyClick(find(MarginLeft), Qt::Key_Up);
    EXPECT_EQ(dialog.caption().marginLeft, 98);
}

TEST_F(CaptionDialogTest, TheTwoDescriptionFlagsClearEachOther) {
    type(CaptionText, "kept");
    click(TextAsDescription);
    for (bool on : {true, false}) {
        click(DescriptionAsText);
        EXPECT_EQ(dialog.caption().useDescriptionAsText, on);
        EXPECT_FALSE(dialog.caption().useTextAsDescription);
        EXPECT_FALSE(find<QAbstractButton>(TextAsDescription)->isChecked());
    }
    EXPECT_EQ(dialog.caption().text, "kept");
}

TEST_F(CaptionDialogTest, EnterInTheTextConfirms) {
    dialog.hide();
    EXPECT_EQ(ExecWith(dialog,
                       [&] {
                           type(CaptionText, "one line");
                           QTest::keyClick(find(CaptionText), Qt::Key_Return);
                       }),
              1);
    EXPECT_EQ(dialog.caption().text, "one line");
}

TEST_F(CaptionDialogTest, TheFontChooserStartsFromTheCaptionsFontAndASizePickedThereIsInPixels) {
    // The face alone, at the size the chooser started with, stays relative.
    WhenModal<QFontDialog>([](QFontDialog* chooser) {
        chooser->setCurrentFont(QFont(QStringLiteral("DejaVu Serif"), 11));
        chooser->accept();
    });
    click(ChooseFont);
    EXPECT_EQ(dialog.caption().sizeUnit, SizeUnit::PercentOfPicture);
    EXPECT_EQ(dialog.caption().font.faceName, "DejaVu Serif");

    WhenModal<QFontDialog>([](QFontDialog* chooser) {
        QFont chosen(QStringLiteral("DejaVu Serif"), 12, QFont::Bold, true);
        chosen.setUnderline(true);
        chooser->setCurrentFont(chosen);
        chooser->accept();
    });
    click(ChooseFont);
    LogFont expected = defaultCaptionFont();
    expected.setFaceName(QStringLiteral("DejaVu Serif"));
    expected.height = -16;
    expected.weight = 700;
    expected.italic = 1;
    expected.underline = 1;
    EXPECT_EQ(dialog.caption().font, expected);
    EXPECT_EQ(dialog.caption().sizeUnit, SizeUnit::Pixels);
    EXPECT_EQ(text(SizeValue), "16");

    // The chooser starts from the caption's font; cancelling keeps everything.
    const Caption before = dialog.caption();
    QFont started;
    WhenModal<QFontDialog>([&started](QFontDialog* chooser) {
        started = chooser->currentFont();
        chooser->setCurrentFont(QFont(QStringLiteral("DejaVu Sans Mono"), 30));
        chooser->reject();
    });
    click(ChooseFont);
    EXPECT_TRUE(started.family() == "DejaVu Serif" && started.italic() && started.bold());
    EXPECT_EQ(dialog.caption(), before);
}

TEST_F(CaptionDialogTest, SizeFieldWritesThePercentageOrThePixelsOfItsUnit) {
    type(SizeValue, "4,26x");
    EXPECT_EQ(text(SizeValue), "4,26") << "a comma is a point; no letters";
    EXPECT_EQ(dialog.caption().sizePercent, 4.26);
    EXPECT_EQ(dialog.caption().font.height, -14) << "the pixel size is kept meanwhile";

    // Pixels: the field shows the font's own em height.
    stepChoice(SizeUnitChoice, Qt::Key_Down);
    EXPECT_EQ(dialog.caption().sizeUnit, SizeUnit::Pixels);
    EXPECT_EQ(text(SizeValue), "14");
    type(SizeValue, "0");
    EXPECT_EQ(dialog.caption().font.height, -1) << "at least one pixel";

    // Back to the percentage, which kept its value.
    stepChoice(SizeUnitChoice, Qt::Key_Up);
    EXPECT_EQ(dialog.caption().sizeUnit, SizeUnit::PercentOfPicture);
    EXPECT_EQ(text(SizeValue), "4.26");
    // An emptied field changes nothing until a number is typed.
    const Caption before = dialog.caption();
    find<QLineEdit>(SizeValue)->clear();
    EXPECT_EQ(dialog.caption(), before);
}

TEST_F(CaptionDialogTest, AColourChosenIsTheCaptionsAndCancellingKeepsIt) {
    WhenModal<QColorDialog>([](QColorDialog* chooser) {
        chooser->setCurrentColor(QColor(10, 20, 30));
        chooser->accept();
    });
    click(ChooseTextColor);
    EXPECT_EQ(dialog.caption().textColor, 0x001E140Au);
    WhenModal<QColorDialog>([](QColorDialog* chooser) { chooser->reject(); });
    click(ChooseBackgroundColor);
    EXPECT_EQ(dialog.caption().backgroundColor, 0xFFFFFFFFu);
}

TEST_F(CaptionDialogTest, OutlineShadowAndBoxControlsWriteIntoTheWorkingCaption) {
    click(OutlineEnabled);
    type(OutlineWidth, "1.5");
    stepChoice(OutlineWidthUnit, Qt::Key_Up);
    WhenModal<QColorDialog>([](QColorDialog* chooser) {
        chooser->setCurrentColor(QColor(200, 100, 50));
        chooser->accept();
    });
    click(ChooseOutlineColor);
    EXPECT_EQ(dialog.caption().outline,
              (TextOutline{true, 1.5, SizeUnit::PercentOfPicture, 0x003264C8}));

    click(ShadowEnabled);
    type(ShadowOffsetX, "-7");
    type(ShadowOffsetY, "12");
    type(ShadowBlur, "2.5");
    type(ShadowOpacity, "250"); // an opacity is at most 100%
    // The arrows raise with up, within their range.
    arrow(SpinShadowOpacity, false);
    arrow(SpinShadowOffsetX, true);
    EXPECT_EQ(dialog.caption().shadow, (TextShadow{true, -6, 12, 2.5, Caption().shadow.color, 99}));

    click(BoxEnabled);
    type(BoxOpacity, "35");
    type(BoxPadding, "20");
    arrow(SpinBoxPadding, true);
    EXPECT_EQ(dialog.caption().box, (TextBox{true, Caption().box.color, 35, 21}));
    EXPECT_EQ(lastAnnounced, dialog.caption());
    // Turning a setting off keeps its values for the next time.
    click(ShadowEnabled);
    EXPECT_EQ(dialog.caption().shadow,
              (TextShadow{false, -6, 12, 2.5, Caption().shadow.color, 99}));
}

TEST_F(CaptionDialogTest, ThePlaceholderMenuInsertsAtTheTextCursorOrOverTheSelection) {
    auto* text = find<CaptionTextEdit>(CaptionText);
    type(CaptionText, "Taken  here");
    QTextCursor cursor = text->textCursor();
    cursor.setPosition(6);
    text->setTextCursor(cursor);
    find<QPushButton>(InsertPlaceholder)->menu()->actions().at(1)->trigger();
    EXPECT_EQ(lastAnnounced.text, "Taken {time} here");
    cursor.setPosition(13);
    cursor.setPosition(17, QTextCursor::KeepAnchor);
    text->setTextCursor(cursor);
    dialog.insertPlaceholder(QStringLiteral("gps"));
    EXPECT_EQ(dialog.caption().text, "Taken {time} {gps}");
}

} // namespace
