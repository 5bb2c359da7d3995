// The caption dialog as a person uses it: what it shows for a caption, how
// each control writes into the working caption, the choosers, the
// placeholder menu, the tab order, its size and how it ends.
#include "ui/CaptionDialog.h"
#include "captions/Placeholders.h"
#include "tests/support/CaptionDialogDriver.h"
#include "tests/support/DialogTesting.h"
#include "tests/support/QtPrinters.h"
#include "ui/ColorBox.h"
#include "ui/ColorChooser.h"
#include "ui/FontChoice.h"
#include "ui/NumberText.h"
#include "ui/UpDownControl.h"

#include <QClipboard>
#include <QColorDialog>
#include <QComboBox>
#include <QFontDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTextCursor>
#include <QToolButton>

#include <limits>

namespace {

using namespace ControlId;

// The colour in the middle of a swatch and on its frame.
std::pair<QColor, QColor> Swatch(const QWidget* dialog, int id) {
    const QImage shot = Control<CColorBox>(dialog, id)->grab().toImage();
    return {shot.pixelColor(shot.width() / 2, shot.height() / 2), shot.pixelColor(0, 0)};
}

// A dialog for a new caption and the last caption it announced.
class CaptionDialogTest : public testing::Test {
protected:
    CaptionDialogTest() {
        QObject::connect(&dialog, &CCaptionDialog::captionChanged,
                         [this](const Caption& caption) { lastAnnounced = caption; });
    }
    template <class T = QWidget> T* find(int id) { return Control<T>(&dialog, id); }
    QString text(int id) { return find<QLineEdit>(id)->text(); }
    bool checked(int id) { return find<QAbstractButton>(id)->isChecked(); }
    void click(int id) { Click(&dialog, id); }
    void type(int id, const QString& typed) { Type(&dialog, id, typed); }
    void arrow(int id, bool up) {
        auto* arrows = find<UpDownControl>(id);
        QTest::mouseClick(up ? arrows->upArrow() : arrows->downArrow(), Qt::LeftButton);
    }
    // Moves a list one choice down or up with the keyboard.
    void stepChoice(int id, Qt::Key key) {
        find(id)->setFocus();
        QTest::keyClick(find(id), key);
    }
    QString label() { return find<QLabel>(FontDescription)->text(); }
    void showDialog() {
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    }

    CCaptionDialog dialog;
    Caption lastAnnounced;
};

TEST_F(CaptionDialogTest, ANewCaptionShowsTheDefaultsAndTabVisitsEverySettingInTemplateOrder) {
    ASSERT_EQ(screenLogicalDpiY(), 96);
    EXPECT_EQ(dialog.windowTitle(), "Caption");
    EXPECT_EQ(find<QPushButton>(Ok)->text(), "Add");
    EXPECT_TRUE(find<QPushButton>(Ok)->isDefault());
    // A new caption's size is relative to the picture.
    EXPECT_EQ(label(), "Arial, 2.9% of picture, Regular");
    EXPECT_EQ(text(SizeValue), "2.92");
    // The swatch's frame is black whatever its colour.
    EXPECT_EQ(Swatch(&dialog, BackgroundColorSwatch),
              std::make_pair(QColor(Qt::white), QColor(Qt::black)));
    EXPECT_EQ(dialog.caption(), Caption());
    // Off at first, with their settings disabled.
    for (int id : {OutlineEnabled, ShadowEnabled, BoxEnabled})
        EXPECT_FALSE(checked(id)) << id;
    for (int id : {OutlineWidth, ShadowOffsetX, ShadowBlur, BoxPadding, ChooseBoxColor})
        EXPECT_FALSE(find(id)->isEnabled()) << id;

    showDialog();
    EXPECT_EQ(QApplication::focusWidget(), find(MarginLeft));
    for (int id : {OutlineEnabled, ShadowEnabled, BoxEnabled})
        click(id);
    find(MarginLeft)->setFocus();
    QStringList visited;
    for (int i = 0; i <= 30; ++i) {
        visited << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    // Radio buttons are skipped; the size and its unit follow "Choose
    // font...", each setting its check box, "Shrink to fit one line" the
    // description flags, the placeholder menu the text; then round again.
    EXPECT_EQ(visited.join(u' '), "1000 1001 1002 1003 1020 1031 1032 1022 1023 "
                                  "1033 1034 1035 1036 1038 1039 1041 1043 1044 1046 "
                                  "1048 1049 1051 1053 1017 1018 1056 1019 1055 1 2 1000");
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
    given.fit = TextFit::Shrink;
    given.textColor = 0xFF0000FF;
    given.backgroundColor = 0x00FF0000;
    given.sizePercent = 100.0 / 3.0;
    given.outline = {true, 0.126, SizeUnit::PercentOfPicture, 0x0000FF00};
    given.shadow = {true, -4, 9, 2.5, 0x00123456, 45};
    given.box = {true, 0x00FF0000, 80, 12};
    const CCaptionDialog editing(given);
    EXPECT_EQ(Control<CaptionTextEdit>(&editing, CaptionText)->toPlainText(), "Two\nlines");
    const std::pair<int, const char*> fields[] = {
        {MarginLeft, "12"},    {MarginBottom, "-3"}, {SizeValue, "33.33"}, {OutlineWidth, "0.13"},
        {ShadowOffsetX, "-4"}, {ShadowOffsetY, "9"}, {ShadowBlur, "2.5"},  {ShadowOpacity, "45"},
        {BoxOpacity, "80"},    {BoxPadding, "12"}};
    for (const auto& [id, shown] : fields)
        EXPECT_EQ(Control<QLineEdit>(&editing, id)->text(), shown) << id;
    for (int id : {AlignRight, AlignBottom, BottomBand, TextAsDescription, ShrinkToFit,
                   OutlineEnabled, ShadowEnabled, BoxEnabled, AlignLeft})
        EXPECT_EQ(Control<QAbstractButton>(&editing, id)->isChecked(), id != AlignLeft) << id;
    EXPECT_EQ(Control<QComboBox>(&editing, OutlineWidthUnit)->currentIndex(), 0);
    // Colours are 0x00BBGGRR and the top byte is not drawn.
    EXPECT_EQ(Swatch(&editing, TextColorSwatch).first, QColor(255, 0, 0));
    EXPECT_EQ(Swatch(&editing, BackgroundColorSwatch).first, QColor(0, 0, 255));
    EXPECT_EQ(Control<CColorBox>(&editing, ShadowColorSwatch)->color(), 0x00123456u);
    EXPECT_EQ(Control<QLabel>(&editing, FontDescription)->text(),
              "Arial, 33.3% of picture, Regular");
    // Showing the caption, rounded numbers included, wrote nothing back.
    EXPECT_EQ(editing.caption(), given);
}

TEST_F(CaptionDialogTest, EveryControlWritesIntoTheWorkingCaptionAtOnce) {
    showDialog();
    type(MarginTop, "4x2");
    EXPECT_EQ(text(MarginTop), "42") << "only digits can be typed";
    click(AlignCenter);
    click(AlignBottom);
    click(TopBand);
    EXPECT_FALSE(checked(AlignLeft)) << "each group is one choice";
    EXPECT_TRUE(checked(AlignBottom) && checked(TopBand)) << "groups keep their own checks";
    click(BottomBand);
    // A clicked radio button has the focus, and the arrow keys move the
    // choice within its group.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), "1015");
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
    click(ShrinkToFit);
    EXPECT_EQ(dialog.caption().fit, TextFit::Wrap);

    // Pasted line breaks of any kind are one break each.
    find<CaptionTextEdit>(CaptionText)->clear();
    QGuiApplication::clipboard()->setText(QStringLiteral("a\r\nb\rc\nd"));
    find<CaptionTextEdit>(CaptionText)->paste();
    EXPECT_EQ(dialog.caption().text, "a\r\nb\r\nc\r\nd");
}

TEST_F(CaptionDialogTest, MarginTextBecomesANumberEvenWhenEmptyOrHuge) {
    constexpr int kMax = std::numeric_limits<std::int32_t>::max();
    struct Row {
        const char16_t* typed;
        int number;
    };
    for (const Row& row :
         {Row{u"17", 17}, Row{u"", 0}, Row{u"99999999999999999999", kMax},
          Row{u"  -2147483649", -kMax - 1}, Row{u"\t +25 px", 25}, Row{u"-0", 0}, Row{u"x12", 0},
          Row{u"-", 0}, Row{u"2147483648", kMax}, Row{u"00000000000000000000000000000042", 42}}) {
        const QString typed = QString::fromUtf16(row.typed);
        EXPECT_EQ(numberFromText(typed), row.number) << typed.toStdString();
        find<QLineEdit>(MarginRight)->setText(typed);
        EXPECT_EQ(dialog.caption().marginRight, row.number) << typed.toStdString();
    }
    EXPECT_EQ(dialog.caption().marginLeft, 0);
}

TEST_F(CaptionDialogTest, UpArrowsLowerTheMarginAndDownArrowsRaiseItWithinZeroToHundred) {
    showDialog();
    for (const auto& [spin, field] :
         {std::pair{SpinLeft, MarginLeft}, std::pair{SpinTop, MarginTop},
          std::pair{SpinRight, MarginRight}, std::pair{SpinBottom, MarginBottom}})
        EXPECT_EQ(find<UpDownControl>(spin)->buddy(), find(field)) << spin;
    // The arrows sit inside the edit's right end.
    EXPECT_EQ(find(SpinLeft)->geometry().topLeft(),
              find(MarginLeft)->geometry().topRight() + QPoint(1, 0));

    enum Press { UpArrow, DownArrow, UpKey, DownKey };
    struct Row {
        const char* start;
        Press press;
        int expected;
    };
    // A number outside the range is brought into it first.
    for (const Row& row : {Row{"5", UpArrow, 4}, Row{"5", DownArrow, 6}, Row{"5", UpKey, 4},
                           Row{"5", DownKey, 6}, Row{"0", UpArrow, 0}, Row{"100", DownArrow, 100},
                           Row{"5000", UpArrow, 99}, Row{"", DownArrow, 1}}) {
        auto* left = find<QLineEdit>(MarginLeft);
        left->setText(QString::fromLatin1(row.start));
        left->setFocus();
        if (row.press == UpKey || row.press == DownKey)
            QTest::keyClick(left, row.press == UpKey ? Qt::Key_Up : Qt::Key_Down);
        else
            arrow(SpinLeft, row.press == UpArrow);
        EXPECT_EQ(left->text(), QString::number(row.expected)) << row.start << " " << row.press;
        EXPECT_EQ(dialog.caption().marginLeft, row.expected) << row.start << " " << row.press;
    }
    EXPECT_EQ(dialog.caption().marginTop, 0);
}

TEST_F(CaptionDialogTest, TheTwoDescriptionFlagsClearEachOther) {
    showDialog();
    type(MarginBottom, "8");
    type(CaptionText, "kept");
    click(TextAsDescription);
    EXPECT_TRUE(dialog.caption().useTextAsDescription);
    for (bool on : {true, false}) {
        click(DescriptionAsText);
        EXPECT_EQ(checked(DescriptionAsText), on);
        EXPECT_FALSE(checked(TextAsDescription));
        EXPECT_EQ(dialog.caption().useDescriptionAsText, on);
        EXPECT_FALSE(dialog.caption().useTextAsDescription);
    }
    // The refresh that shows the flags keeps the text and margins typed.
    EXPECT_EQ(dialog.caption().marginBottom, 8);
    EXPECT_EQ(dialog.caption().text, "kept");
    EXPECT_TRUE(find(CaptionText)->isEnabled());
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
                           type(CaptionText, "one line");
                           QTest::keyClick(find(CaptionText), Qt::Key_Return);
                       }),
              1);
    EXPECT_EQ(dialog.caption().text, "one line");
}

TEST(DescribeFont, NamesFacePointsAndStyleWordsInOrder) {
    // Bold is a weight above 500. Points follow the screen's DPI, rounded
    // half away from zero; a cell height gives a negative size.
    LogFont font = defaultCaptionFont();
    EXPECT_EQ(CCaptionDialog::describeFont(font, 96), "Arial, 11, Regular");
    font.setFaceName(QStringLiteral("DejaVu Serif"));
    font.height = -16;
    font.weight = 500;
    font.underline = 1;
    font.strikeOut = 1;
    EXPECT_EQ(CCaptionDialog::describeFont(font, 120), "DejaVu Serif, 10, Underline, Strikeout");
    font.height = 16;
    font.weight = 501;
    font.italic = 1;
    EXPECT_EQ(CCaptionDialog::describeFont(font, 96),
              "DejaVu Serif, -12, Bold, Italic, Underline, Strikeout");
}

TEST_F(CaptionDialogTest, TheFontChooserStartsFromTheCaptionsFontAndASizePickedThereIsInPixels) {
    showDialog();
    // The face alone, at the size the chooser started with: still relative.
    QFont started;
    WhenModal<QFontDialog>([&](QFontDialog* chooser) {
        started = chooser->currentFont();
        QFont face(QStringLiteral("DejaVu Serif"));
        face.setPointSize(started.pointSize());
        chooser->setCurrentFont(face);
        chooser->accept();
    });
    click(ChooseFont);
    EXPECT_EQ(started.pointSize(), 11);
    EXPECT_FALSE(started.bold());
    EXPECT_EQ(dialog.caption().sizeUnit, SizeUnit::PercentOfPicture);
    // (The chooser picks its own style name for a face's regular style.)
    EXPECT_TRUE(label().startsWith(u"DejaVu Serif, 2.9% of picture, ")) << label().toStdString();
    EXPECT_EQ(text(SizeValue), "2.92");

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
    EXPECT_EQ(find<QComboBox>(SizeUnitChoice)->currentText(), "pixels");
    EXPECT_EQ(text(SizeValue), "16");
    EXPECT_EQ(label(), "DejaVu Serif, 12, Bold, Italic, Underline");
    EXPECT_EQ(lastAnnounced, dialog.caption());

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

TEST_F(CaptionDialogTest, SizeFieldWritesThePercentageOrThePixelsOfItsUnit) {
    showDialog();
    auto* unit = find<QComboBox>(SizeUnitChoice);
    ASSERT_EQ(unit->count(), 2);
    EXPECT_EQ(unit->itemText(0) + "|" + unit->itemText(1), "% of picture|pixels");
    type(SizeValue, "5.5");
    EXPECT_EQ(dialog.caption().sizePercent, 5.5);
    EXPECT_EQ(label(), "Arial, 5.5% of picture, Regular");
    type(SizeValue, "4,26x");
    EXPECT_EQ(text(SizeValue), "4,26") << "a comma is a point; no letters";
    EXPECT_EQ(dialog.caption().sizePercent, 4.26);
    EXPECT_EQ(label(), "Arial, 4.3% of picture, Regular");
    EXPECT_EQ(dialog.caption().font.height, -14) << "the pixel size is kept meanwhile";
    EXPECT_EQ(lastAnnounced, dialog.caption());

    // Pixels: the field shows the font's own em height, and the label
    // reads as it always has for pixel sizes.
    stepChoice(SizeUnitChoice, Qt::Key_Down);
    EXPECT_EQ(dialog.caption().sizeUnit, SizeUnit::Pixels);
    EXPECT_EQ(text(SizeValue), "14");
    EXPECT_EQ(label(), "Arial, 11, Regular");
    type(SizeValue, "30");
    EXPECT_EQ(dialog.caption().font.height, -30);
    EXPECT_EQ(label(), "Arial, 23, Regular");
    EXPECT_EQ(dialog.caption().sizePercent, 4.26);
    type(SizeValue, "0");
    EXPECT_EQ(dialog.caption().font.height, -1) << "at least one pixel";

    // Back to the percentage, which kept its value.
    stepChoice(SizeUnitChoice, Qt::Key_Up);
    EXPECT_EQ(dialog.caption().sizeUnit, SizeUnit::PercentOfPicture);
    EXPECT_EQ(text(SizeValue), "4.26");
    EXPECT_EQ(label(), "Arial, 4.3% of picture, Regular");
    EXPECT_EQ(lastAnnounced, dialog.caption());

    // An emptied field changes nothing until a number is typed.
    const Caption before = dialog.caption();
    find<QLineEdit>(SizeValue)->clear();
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
    EXPECT_EQ(Swatch(&dialog, TextColorSwatch).first, QColor(10, 20, 30));
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
    EXPECT_EQ(Swatch(&dialog, BackgroundColorSwatch).first, QColor(Qt::white));
    for (int i = 1; i < ColorChooser::kCustomColorCount; ++i)
        EXPECT_EQ(ColorChooser::customColor(i), QColor(Qt::white)) << i;
}

TEST_F(CaptionDialogTest, OutlineShadowAndBoxControlsWriteIntoTheWorkingCaption) {
    showDialog();
    click(OutlineEnabled);
    EXPECT_TRUE(find(OutlineWidth)->isEnabled());
    EXPECT_FALSE(find(ShadowBlur)->isEnabled());
    type(OutlineWidth, "1.5");
    stepChoice(OutlineWidthUnit, Qt::Key_Up);
    WhenModal<QColorDialog>([](QColorDialog* chooser) {
        chooser->setCurrentColor(QColor(200, 100, 50));
        chooser->accept();
    });
    click(ChooseOutlineColor);
    EXPECT_EQ(dialog.caption().outline,
              (TextOutline{true, 1.5, SizeUnit::PercentOfPicture, 0x003264C8}));
    EXPECT_EQ(find<CColorBox>(OutlineColorSwatch)->color(), 0x003264C8u);
    EXPECT_EQ(dialog.caption().sizeUnit, SizeUnit::PercentOfPicture);

    click(ShadowEnabled);
    type(ShadowOffsetX, "-7");
    type(ShadowOffsetY, "12");
    type(ShadowBlur, "2.5");
    type(ShadowOpacity, "250");
    EXPECT_EQ(dialog.caption().shadow.opacity, 100) << "an opacity is at most 100%";
    // The arrows raise with up, within their range.
    EXPECT_EQ(find<UpDownControl>(SpinShadowOpacity)->buddy(), find(ShadowOpacity));
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
    EXPECT_FALSE(dialog.caption().shadow.enabled);
    EXPECT_EQ(dialog.caption().shadow.offsetY, 12);
    EXPECT_FALSE(find(ShadowOffsetY)->isEnabled());

    // The box is offered only for text on the image, and kept for when
    // the text goes back.
    for (const auto& [place, offered] :
         {std::pair{TopBand, false}, std::pair{BottomBand, false}, std::pair{OnImage, true}}) {
        click(place);
        EXPECT_EQ(find(BoxEnabled)->isEnabled(), offered) << place;
        EXPECT_EQ(find(BoxPadding)->isEnabled(), offered) << place;
        EXPECT_TRUE(dialog.caption().box.enabled);
    }
}

TEST_F(CaptionDialogTest, ThePlaceholderMenuInsertsAtTheTextCursor) {
    showDialog();
    auto* button = find<QPushButton>(InsertPlaceholder);
    EXPECT_EQ(button->text(), "Placeholders");
    ASSERT_NE(button->menu(), nullptr);
    const QList<QAction*> entries = button->menu()->actions();
    ASSERT_EQ(entries.size(), static_cast<qsizetype>(placeholderList().size()));
    EXPECT_EQ(entries.front()->text(), u"{date} \u2013 date taken, YYYY-MM-DD");
    EXPECT_EQ(entries.back()->text(), u"{time:HH:mm} \u2013 time taken, in a pattern of your own");

    auto* text = find<CaptionTextEdit>(CaptionText);
    type(CaptionText, "Taken  here");
    QTextCursor cursor = text->textCursor();
    cursor.setPosition(6);
    text->setTextCursor(cursor);
    // The second entry, picked with the keyboard from the button's menu
    // once it shows, from inside its own event loop.
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, qApp, [timer] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr || !menu->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        for (Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Return})
            QTest::keyClick(menu, key);
    });
    timer->start(0);
    click(InsertPlaceholder);
    EXPECT_EQ(lastAnnounced.text, "Taken {time} here");
    // The text is the dialog's focus again once the menu has gone.
    EXPECT_EQ(dialog.focusWidget(), text);

    // A selection is replaced.
    cursor.setPosition(13);
    cursor.setPosition(17, QTextCursor::KeepAnchor);
    text->setTextCursor(cursor);
    dialog.insertPlaceholder(QStringLiteral("gps"));
    EXPECT_EQ(dialog.caption().text, "Taken {time} {gps}");
}

TEST_F(CaptionDialogTest, FitsA1280By800ScreenWithNoControlsOverlapping) {
    showDialog();
    // The offscreen platform draws no title bar; keep room for one and for
    // a desktop panel.
    EXPECT_LE(dialog.frameGeometry().width(), 1280);
    EXPECT_LE(dialog.frameGeometry().height(), 800 - 80);
    QList<QWidget*> placed;
    for (QWidget* child : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!child->isVisible())
            continue;
        EXPECT_TRUE(dialog.rect().contains(child->geometry()))
            << child->objectName().toStdString() << " leaves the dialog";
        if (qobject_cast<QGroupBox*>(child) == nullptr)
            placed << child;
    }
    EXPECT_GT(placed.size(), 70);
    for (qsizetype i = 0; i < placed.size(); ++i) {
        for (qsizetype j = i + 1; j < placed.size(); ++j) {
            EXPECT_FALSE(placed[i]->geometry().intersects(placed[j]->geometry()))
                << placed[i]->objectName().toStdString() << " and "
                << placed[j]->objectName().toStdString();
        }
    }
}

} // namespace
