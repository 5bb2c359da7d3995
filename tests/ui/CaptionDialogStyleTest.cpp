// The caption dialog's text size, outline, shadow, box and placeholder
// controls as a person uses them, and the dialog's size on a small screen.
#include "captions/Placeholders.h"
#include "resources/DialogTemplates.h"
#include "tests/support/DialogTesting.h"
#include "tests/support/QtPrinters.h"
#include "tests/ui/CaptionDialogFixture.h"
#include "ui/CaptionDialog.h"
#include "ui/CaptionTextEdit.h"
#include "ui/ColorBox.h"
#include "ui/FontChoice.h"
#include "ui/UpDownControl.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFontDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTextCursor>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

using namespace ControlId;

// Runs `handle` on the next pop-up menu as soon as it shows, from inside
// the menu's own event loop.
template <class F> void WhenMenu(F handle) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, qApp, [timer, handle] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr || !menu->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        handle(menu);
    });
    timer->start();
}

using CaptionDialogStyleTest = CaptionDialogFixture;

TEST_F(CaptionDialogStyleTest, SizeFieldWritesThePercentageOrThePixelsOfItsUnit) {
    showDialog();
    ASSERT_EQ(screenLogicalDpiY(), 96);
    auto* unit = find<QComboBox>(SizeUnitChoice);
    ASSERT_EQ(unit->count(), 2);
    EXPECT_EQ(unit->itemText(0), "% of picture");
    EXPECT_EQ(unit->itemText(1), "pixels");
    EXPECT_EQ(unit->currentIndex(), 0);
    EXPECT_EQ(find<QLineEdit>(SizeValue)->text(), "2.92");

    type(SizeValue, "5.5");
    EXPECT_EQ(dialog.caption().sizePercent, 5.5);
    EXPECT_EQ(label(), "Arial, 5.5% of picture, Regular");
    EXPECT_EQ(lastAnnounced, dialog.caption());
    type(SizeValue, "4,26x");
    EXPECT_EQ(find<QLineEdit>(SizeValue)->text(), "4,26") << "a comma is a point; no letters";
    EXPECT_EQ(dialog.caption().sizePercent, 4.26);
    EXPECT_EQ(label(), "Arial, 4.3% of picture, Regular");
    EXPECT_EQ(dialog.caption().font.height, -14) << "the pixel size is kept meanwhile";

    // Pixels: the field shows the font's own em height, and the label
    // reads as it always has for pixel sizes.
    stepChoice(SizeUnitChoice, Qt::Key_Down);
    EXPECT_EQ(dialog.caption().sizeUnit, SizeUnit::Pixels);
    EXPECT_EQ(find<QLineEdit>(SizeValue)->text(), "14");
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
    EXPECT_EQ(find<QLineEdit>(SizeValue)->text(), "4.26");
    EXPECT_EQ(label(), "Arial, 4.3% of picture, Regular");
    EXPECT_EQ(lastAnnounced, dialog.caption());

    // An emptied field changes nothing until a number is typed.
    const Caption before = dialog.caption();
    find<QLineEdit>(SizeValue)->clear();
    EXPECT_EQ(dialog.caption(), before);
}

TEST_F(CaptionDialogStyleTest, ASizePickedInTheFontChooserSwitchesToPixels) {
    showDialog();
    // The face alone, at the size the chooser started with: still relative.
    WhenModal<QFontDialog>([](QFontDialog* chooser) {
        QFont face(QStringLiteral("DejaVu Serif"));
        face.setPointSize(chooser->currentFont().pointSize());
        chooser->setCurrentFont(face);
        chooser->accept();
    });
    click(ChooseFont);
    EXPECT_EQ(dialog.caption().sizeUnit, SizeUnit::PercentOfPicture);
    // (The chooser picks its own style name for a face's regular style.)
    EXPECT_TRUE(label().startsWith(u"DejaVu Serif, 2.9% of picture, ")) << label().toStdString();
    EXPECT_EQ(find<QLineEdit>(SizeValue)->text(), "2.92");

    WhenModal<QFontDialog>([](QFontDialog* chooser) {
        QFont sized(QStringLiteral("DejaVu Serif"), 20);
        sized.setBold(true);
        chooser->setCurrentFont(sized);
        chooser->accept();
    });
    click(ChooseFont);
    EXPECT_EQ(dialog.caption().sizeUnit, SizeUnit::Pixels);
    EXPECT_EQ(dialog.caption().font.height, -27);
    EXPECT_EQ(find<QComboBox>(SizeUnitChoice)->currentText(), "pixels");
    EXPECT_EQ(find<QLineEdit>(SizeValue)->text(), "27");
    EXPECT_EQ(label(), "DejaVu Serif, 20, Bold");
    EXPECT_EQ(lastAnnounced, dialog.caption());
}

TEST_F(CaptionDialogStyleTest, OutlineShadowAndBoxControlsWriteIntoTheWorkingCaption) {
    showDialog();
    // Off at first, with their settings disabled.
    for (int id : {OutlineEnabled, ShadowEnabled, BoxEnabled})
        EXPECT_FALSE(find<QCheckBox>(id)->isChecked()) << id;
    for (int id : {OutlineWidth, ShadowOffsetX, ShadowBlur, BoxPadding, ChooseBoxColor})
        EXPECT_FALSE(find<QWidget>(id)->isEnabled()) << id;

    click(OutlineEnabled);
    EXPECT_TRUE(dialog.caption().outline.enabled);
    EXPECT_TRUE(find<QWidget>(OutlineWidth)->isEnabled());
    EXPECT_FALSE(find<QWidget>(ShadowBlur)->isEnabled());
    type(OutlineWidth, "1.5");
    stepChoice(OutlineWidthUnit, Qt::Key_Up);
    EXPECT_EQ(dialog.caption().outline.width, 1.5);
    EXPECT_EQ(dialog.caption().outline.widthUnit, SizeUnit::PercentOfPicture);
    EXPECT_EQ(dialog.caption().sizeUnit, SizeUnit::PercentOfPicture);
    WhenModal<QColorDialog>([](QColorDialog* chooser) {
        chooser->setCurrentColor(QColor(200, 100, 50));
        chooser->accept();
    });
    click(ChooseOutlineColor);
    EXPECT_EQ(dialog.caption().outline.color, 0x003264C8u);
    EXPECT_EQ(find<CColorBox>(OutlineColorSwatch)->color(), 0x003264C8u);

    click(ShadowEnabled);
    type(ShadowOffsetX, "-7");
    type(ShadowOffsetY, "12");
    type(ShadowBlur, "2.5");
    type(ShadowOpacity, "250");
    const TextShadow& shadow = dialog.caption().shadow;
    EXPECT_TRUE(shadow.enabled);
    EXPECT_EQ(shadow.offsetX, -7);
    EXPECT_EQ(shadow.offsetY, 12);
    EXPECT_EQ(shadow.blur, 2.5);
    EXPECT_EQ(shadow.opacity, 100) << "an opacity is at most 100%";
    // The arrows raise with up, within their range.
    auto* arrows = find<UpDownControl>(SpinShadowOpacity);
    EXPECT_EQ(arrows->buddy(), find<QLineEdit>(ShadowOpacity));
    QTest::mouseClick(arrows->downArrow(), Qt::LeftButton);
    EXPECT_EQ(dialog.caption().shadow.opacity, 99);
    QTest::mouseClick(find<UpDownControl>(SpinShadowOffsetX)->upArrow(), Qt::LeftButton);
    EXPECT_EQ(dialog.caption().shadow.offsetX, -6);

    click(BoxEnabled);
    type(BoxOpacity, "35");
    type(BoxPadding, "20");
    QTest::mouseClick(find<UpDownControl>(SpinBoxPadding)->upArrow(), Qt::LeftButton);
    EXPECT_TRUE(dialog.caption().box.enabled);
    EXPECT_EQ(dialog.caption().box.opacity, 35);
    EXPECT_EQ(dialog.caption().box.padding, 21);
    EXPECT_EQ(lastAnnounced, dialog.caption());

    // Turning a setting off keeps its values for the next time.
    click(ShadowEnabled);
    EXPECT_FALSE(dialog.caption().shadow.enabled);
    EXPECT_EQ(dialog.caption().shadow.offsetY, 12);
    EXPECT_FALSE(find<QWidget>(ShadowOffsetY)->isEnabled());
}

TEST_F(CaptionDialogStyleTest, TheBoxIsOfferedOnlyForTextOnTheImage) {
    showDialog();
    click(BoxEnabled);
    EXPECT_TRUE(find<QWidget>(BoxPadding)->isEnabled());
    click(TopBand);
    EXPECT_FALSE(find<QWidget>(BoxEnabled)->isEnabled());
    EXPECT_FALSE(find<QWidget>(BoxPadding)->isEnabled());
    EXPECT_TRUE(dialog.caption().box.enabled) << "kept for when the text goes back";
    click(BottomBand);
    EXPECT_FALSE(find<QWidget>(BoxEnabled)->isEnabled());
    click(OnImage);
    EXPECT_TRUE(find<QWidget>(BoxEnabled)->isEnabled());
    EXPECT_TRUE(find<QWidget>(BoxPadding)->isEnabled());
}

TEST_F(CaptionDialogStyleTest, ThePlaceholderMenuInsertsAtTheTextCursor) {
    showDialog();
    auto* button = find<QPushButton>(InsertPlaceholder);
    EXPECT_EQ(button->text(), "Placeholders");
    ASSERT_NE(button->menu(), nullptr);
    const QList<QAction*> entries = button->menu()->actions();
    ASSERT_EQ(entries.size(), static_cast<qsizetype>(placeholderList().size()));
    EXPECT_EQ(entries.front()->text(), u"{date} \u2013 date taken, YYYY-MM-DD");
    EXPECT_EQ(entries.back()->text(), u"{time:HH:mm} \u2013 time taken, in a pattern of your own");

    auto* text = find<CaptionTextEdit>(CaptionText);
    text->setFocus();
    QTest::keyClicks(text, "Taken  here");
    QTextCursor cursor = text->textCursor();
    cursor.setPosition(6);
    text->setTextCursor(cursor);
    // The second entry, picked with the keyboard from the button's menu.
    WhenMenu([](QMenu* menu) {
        QTest::keyClick(menu, Qt::Key_Down);
        QTest::keyClick(menu, Qt::Key_Down);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    click(InsertPlaceholder);
    EXPECT_EQ(dialog.caption().text, "Taken {time} here");
    // The text is the dialog's focus again once the menu has gone.
    EXPECT_EQ(dialog.focusWidget(), text);
    EXPECT_EQ(lastAnnounced.text, "Taken {time} here");

    // A selection is replaced.
    cursor = text->textCursor();
    cursor.setPosition(13);
    cursor.setPosition(17, QTextCursor::KeepAnchor);
    text->setTextCursor(cursor);
    dialog.insertPlaceholder(QStringLiteral("gps"));
    EXPECT_EQ(dialog.caption().text, "Taken {time} {gps}");
}

TEST_F(CaptionDialogStyleTest, TabReachesEverySettingOnceItIsOn) {
    showDialog();
    for (int id : {OutlineEnabled, ShadowEnabled, BoxEnabled})
        click(id);
    find<QWidget>(MarginLeft)->setFocus();
    QStringList visited;
    for (int i = 0; i < 30; ++i) {
        visited << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(visited.join(u' '), "1000 1001 1002 1003 1020 1031 1032 1022 1023 "
                                  "1033 1034 1035 1036 1038 1039 1041 1043 1044 1046 "
                                  "1048 1049 1051 1053 1017 1018 1056 1019 1055 1 2");
    EXPECT_EQ(QApplication::focusWidget()->objectName(), "1000");
}

TEST_F(CaptionDialogStyleTest, FitsA1280By800ScreenWithNoControlsOverlapping) {
    showDialog();
    // The offscreen platform draws no title bar; keep room for one and for
    // a desktop panel.
    const QRect frame = dialog.frameGeometry();
    EXPECT_LE(frame.width(), 1280);
    EXPECT_LE(frame.height(), 800 - 80);
    const QRect inside = dialog.rect();
    QList<QWidget*> placed;
    for (QWidget* child : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!child->isVisible())
            continue;
        EXPECT_TRUE(inside.contains(child->geometry()))
            << child->objectName().toStdString() << " leaves the dialog";
        if (qobject_cast<QGroupBox*>(child) == nullptr)
            placed << child;
    }
    EXPECT_GT(placed.size(), 70);
    for (qsizetype i = 0; i < placed.size(); ++i) {
        for (qsizetype j = i + 1; j < placed.size(); ++j) {
            EXPECT_FALSE(placed[i]->geometry().intersects(placed[j]->geometry()))
                << placed[i]->objectName().toStdString() << " "
                << placed[i]->metaObject()->className() << " and "
                << placed[j]->objectName().toStdString() << " "
                << placed[j]->metaObject()->className();
        }
    }
}

} // namespace
