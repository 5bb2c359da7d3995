// Shows the real main window on whatever display Qt finds (Xvfb under
// `make screenshot`), opens a corpus photo through File, Open, adds three
// captions through the caption dialog as a person would (a title band, a
// credit on the photo with an outline and a shadow, and a description), and
// saves two pictures of the screen: the caption dialog while the credit is
// set up, beside the window showing the credit in its live preview, and the
// window with all three captions. Not a test: pictures for a person to look
// at.
#include "app/MainFrame.h"
#include "document/DocumentModel.h"
#include "resources/DialogTemplates.h"
#include "resources/MainMenu.h"
#include "tests/support/WhenModal.h"
#include "ui/CaptionDialog.h"
#include "ui/CaptionTextEdit.h"
#include "ui/ImageControl.h"

#include <QColorDialog>
#include <QEventLoop>
#include <QFileDialog>
#include <QFontDialog>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <functional>

namespace {

void click(QWidget* dialog, int id) {
    dialog->findChild<QAbstractButton*>(QString::number(id))->click();
}

void type(QWidget* dialog, int id, const QString& text) {
    if (auto* edit = dialog->findChild<QLineEdit*>(QString::number(id)))
        edit->setText(text);
    else
        dialog->findChild<CaptionTextEdit*>(QString::number(id))->setText(text);
}

void chooseFont(QWidget* dialog, const QFont& font) {
    WhenModal<QFontDialog>([font](QFontDialog* chooser) {
        chooser->setCurrentFont(font);
        chooser->accept();
    });
    click(dialog, ControlId::ChooseFont);
}

void chooseColor(QWidget* dialog, int button, const QColor& color) {
    WhenModal<QColorDialog>([color](QColorDialog* chooser) {
        chooser->setCurrentColor(color);
        chooser->accept();
    });
    click(dialog, button);
}

bool grabScreen(const QWidget& on, const QString& path) {
    const QPixmap shot = on.screen()->grabWindow(0);
    std::printf("%s: %dx%d screen\n", qPrintable(path), shot.width(), shot.height());
    return shot.save(path);
}

// Sets up the next caption dialog with `fill`, then presses "Add"; with a
// `shot` path, first moves the dialog to the upper left corner of the
// screen (it is nearly as wide as the screen), clear of the credit (lower
// right of the photo), so that the window behind it shows the live preview
// of the caption being set up, waits for the screen to show both and grabs
// it.
void addCaption(CMainFrame& frame, std::function<void(CCaptionDialog*)> fill,
                const QString& shot = {}, bool* grabbed = nullptr) {
    WhenModal<CCaptionDialog>([fill, shot, grabbed](CCaptionDialog* dialog) {
        fill(dialog);
        if (shot.isEmpty()) {
            click(dialog, ControlId::Ok);
            return;
        }
        const QRect screen = dialog->screen()->availableGeometry();
        dialog->move(screen.topLeft());
        QTimer::singleShot(500, dialog, [dialog, shot, grabbed] {
            *grabbed = grabScreen(*dialog, shot);
            click(dialog, ControlId::Ok);
        });
    });
    frame.addButton()->click();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: lumora_screenshot WINDOW.png DIALOG.png [ACTUAL-SIZE.png]\n");
        return 2;
    }
    QApplication application(argc, argv);
    const QString windowShot = QString::fromLocal8Bit(argv[1]);
    const QString dialogShot = QString::fromLocal8Bit(argv[2]);
    const QString actualSizeShot = argc == 4 ? QString::fromLocal8Bit(argv[3]) : QString();
    const QString photo = QStringLiteral(LUMORA_CORPUS_DIR "/camera/ies_HMD_Nokia_8.3_5G.jpg");

    CMainFrame frame(static_cast<std::int64_t>(std::time(nullptr)));
    frame.showAtStartingPlace();

    bool dialogGrabbed = false;
    int result = 1;
    QTimer::singleShot(0, [&] {
        WhenModal<QFileDialog>([&](QFileDialog* dialog) {
            dialog->selectFile(photo);
            QMetaObject::invokeMethod(dialog, "accept");
        });
        frame.runCommand(CommandId::Open);
        if (frame.model()->runningJob() != DocumentJob::None) {
            QEventLoop opened;
            QObject::connect(frame.model(), &DocumentModel::jobFinished, &opened,
                             &QEventLoop::quit);
            opened.exec();
        }

        addCaption(frame, [](CCaptionDialog* dialog) {
            type(dialog, ControlId::CaptionText,
                 QStringLiteral("Harbour morning: the cruise ship at the pier"));
            click(dialog, ControlId::TopBand);
            click(dialog, ControlId::AlignCenter);
            type(dialog, ControlId::MarginTop, QStringLiteral("40"));
            type(dialog, ControlId::MarginBottom, QStringLiteral("40"));
            chooseFont(dialog, QFont(QStringLiteral("DejaVu Sans"), 112, QFont::Bold));
            chooseColor(dialog, ControlId::ChooseTextColor, Qt::white);
            chooseColor(dialog, ControlId::ChooseBackgroundColor, QColor(0x10, 0x20, 0x40));
        });
        addCaption(
            frame,
            [](CCaptionDialog* dialog) {
                type(dialog, ControlId::CaptionText,
                     QStringLiteral("Photo: HMD Nokia 8.3 5G\r\nLumora test corpus"));
                click(dialog, ControlId::AlignRight);
                click(dialog, ControlId::AlignBottom);
                type(dialog, ControlId::MarginRight, QStringLiteral("120"));
                type(dialog, ControlId::MarginBottom, QStringLiteral("100"));
                QFont italic(QStringLiteral("DejaVu Sans"), 82);
                italic.setItalic(true);
                chooseFont(dialog, italic);
                chooseColor(dialog, ControlId::ChooseTextColor, QColor(0xFF, 0xD7, 0x00));
                // A dark outline and a soft shadow keep it legible on the
                // busy harbour.
                click(dialog, ControlId::OutlineEnabled);
                type(dialog, ControlId::OutlineWidth, QStringLiteral("3"));
                chooseColor(dialog, ControlId::ChooseOutlineColor, QColor(0x20, 0x20, 0x20));
                click(dialog, ControlId::ShadowEnabled);
                type(dialog, ControlId::ShadowBlur, QStringLiteral("6"));
            },
            dialogShot, &dialogGrabbed);
        addCaption(frame, [](CCaptionDialog* dialog) {
            type(dialog, ControlId::CaptionText,
                 QStringLiteral("Cruise ship at the harbour pier, early morning"));
            click(dialog, ControlId::TextAsDescription);
        });

        frame.imageControl()->repaint();
        // A moment for the X server to show the last paint.
        QTimer::singleShot(500, [&] {
            result = grabScreen(frame, windowShot) && dialogGrabbed ? 0 : 1;
            std::printf("window at %d,%d %dx%d, %d captions\n", frame.x(), frame.y(), frame.width(),
                        frame.height(), frame.model()->document().captions.count());
            if (actualSizeShot.isEmpty()) {
                // Leaves without the question about the unsaved captions.
                QCoreApplication::exit(0);
                return;
            }
            // The caption in the bottom right corner at 100%, as a person
            // checks whether it is sharp.
            frame.runCommand(CommandId::ZoomActual);
            frame.imageControl()->scrollTo(QPoint(1 << 20, 1 << 20));
            frame.imageControl()->repaint();
            QTimer::singleShot(500, [&] {
                if (!grabScreen(frame, actualSizeShot))
                    result = 1;
                QCoreApplication::exit(0);
            });
        });
    });
    QApplication::exec();
    return result;
}
