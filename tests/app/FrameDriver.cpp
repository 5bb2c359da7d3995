#include "tests/app/FrameDriver.h"

#include "app/MainFrame.h"
#include "document/DocumentModel.h"
#include "tests/support/TestPhotos.h"
#include "tests/support/WhenModal.h"

#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using testing_support::WriteBytes;

void WriteJpeg(const fs::path& path, int w, int h, QColor colour) {
    QImage picture(w, h, QImage::Format_RGB32);
    picture.fill(colour);
    WriteBytes(path, testing_support::JpegOf(picture));
}

void AnswerFileDialog(const QString& path, FileDialogSeen* seen) {
    WhenModal<QFileDialog>([path, seen](QFileDialog* dialog) {
        if (seen != nullptr)
            *seen = {dialog->selectedFiles().value(0), dialog->directory().absolutePath()};
        if (path.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->selectFile(path);
        QMetaObject::invokeMethod(dialog, "accept");
    });
}

void AnswerMessageBox(QString* text, QMessageBox::StandardButton button) {
    WhenModal<QMessageBox>([text, button](QMessageBox* box) {
        *text = box->text();
        box->button(button)->click();
    });
}

void Press(QWidget* window, const char* keys) {
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    const QKeyCombination combination = QKeySequence(QString::fromLatin1(keys))[0];
    QTest::keyClick(window, combination.key(), combination.keyboardModifiers());
}

void FinishJob(CMainFrame& frame) {
    EXPECT_TRUE(QTest::qWaitFor(
        [&frame] { return frame.model()->runningJob() == DocumentJob::None; }, 60000))
        << "the job did not end";
}

bool OpenAndWait(CMainFrame& frame, const QString& path) {
    QSignalSpy finished(frame.model(), &DocumentModel::openFinished);
    if (!frame.openPath(path))
        return false;
    FinishJob(frame);
    return !finished.isEmpty() && finished.last().at(0).toBool();
}

WindowTest::WindowTest() {
    // Each window starts without recent photos or a last folder.
    QSettings().clear();
    frame = std::make_unique<CMainFrame>(0x5F5E1234);
    frame->setAttribute(Qt::WA_DeleteOnClose, false);
    frame->show();
    // A dialog still up at two looks five seconds apart is one nobody answers.
    watchdog_.callOnTimeout([this] {
        auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (modal != nullptr && modal == lastModal_) {
            ADD_FAILURE() << "a dialog left open: " << modal->windowTitle().toStdString();
            modal->reject();
        }
        lastModal_ = modal;
    });
    watchdog_.start(5000);
}

void WindowTest::TearDown() {
    // WhenModal's answers wait on qApp for their dialog.
    for (QTimer* answer : qApp->findChildren<QTimer*>(Qt::FindDirectChildrenOnly)) {
        if (answer->isActive() && answer->interval() == 0) {
            ADD_FAILURE() << "an answered dialog never showed";
            delete answer;
        }
    }
}
