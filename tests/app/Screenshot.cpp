// Shows the real main window on whatever display Qt finds (Xvfb under
// `make screenshot`), opens a corpus photo through File, Open and its file
// dialog, adds two captions to the document and saves a picture of the
// whole screen. Not a test: a picture for a person to look at.
#include "app/MainFrame.h"
#include "captions/Caption.h"
#include "resources/MainMenu.h"
#include "ui/ImageControl.h"

#include <QApplication>
#include <QFileDialog>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <memory>

namespace {

void AddCaptions(PictureDocument& document) {
    Caption title;
    title.text = QStringLiteral("Harbour morning: the cruise ship at the pier");
    title.disposition = Disposition::TopBand;
    title.horizontalAlignment = HorizontalAlignment::Center;
    title.font.height = -150;
    title.font.weight = 700;
    title.textColor = 0x00FFFFFF;
    title.backgroundColor = 0x00402010; // dark blue
    title.marginTop = 40;
    title.marginBottom = 40;
    document.captions.append(title);

    Caption credit;
    credit.text = QStringLiteral("Photo: HMD Nokia 8.3 5G\r\nLumora test corpus");
    credit.horizontalAlignment = HorizontalAlignment::Right;
    credit.verticalAlignment = VerticalAlignment::Bottom;
    credit.font.height = -110;
    credit.font.italic = 1;
    credit.textColor = 0x0000D7FF; // gold
    credit.marginRight = 120;
    credit.marginBottom = 100;
    document.captions.append(credit);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: lumora_screenshot OUTPUT.png\n");
        return 2;
    }
    QApplication application(argc, argv);
    const QString output = QString::fromLocal8Bit(argv[1]);
    const QString photo = QStringLiteral(LUMORA_CORPUS_DIR "/camera/ies_HMD_Nokia_8.3_5G.jpg");

    CMainFrame frame(static_cast<std::int64_t>(std::time(nullptr)));
    frame.showAtStartingPlace();

    // Answers the open dialog as a person would, once it is up.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible())
            return;
        answer.stop();
        dialog->selectFile(photo);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    int result = 1;
    QTimer::singleShot(0, [&] {
        answer.start(10);
        frame.runCommand(CommandId::Open);
        AddCaptions(frame.imageControl()->document());
        frame.imageControl()->repaint();
        // A moment for the X server to show the last paint.
        QTimer::singleShot(500, [&] {
            const QPixmap shot = frame.screen()->grabWindow(0);
            result = shot.save(output) ? 0 : 1;
            std::printf("%s: %dx%d screen, window at %d,%d %dx%d\n", argv[1], shot.width(),
                        shot.height(), frame.x(), frame.y(), frame.width(), frame.height());
            QApplication::quit();
        });
    });
    QApplication::exec();
    return result;
}
