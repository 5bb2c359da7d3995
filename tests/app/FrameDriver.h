#pragma once

// Helpers that drive the main window as a person would: files to open,
// answers to the file dialogs and message boxes it opens, and keys.
#include "app/MainFrame.h"
#include "document/DocumentModel.h"
#include "tests/support/QtPaths.h"
#include "tests/support/TestSupport.h"

#include <QAction>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

using testing_support::Q;

// Writes a JPEG of a flat colour through the program's own encoder.
void WriteJpeg(const std::filesystem::path& path, int w, int h, QColor colour);

// What a file dialog offered: the name it proposed and the folder it showed.
struct FileDialogSeen {
    QString proposed;
    QString directory;
};

// Answers the next file dialog with `path` (or cancels it when empty) and
// records what it offered.
void AnswerFileDialog(const QString& path, FileDialogSeen* seen = nullptr);

// Answers the next message box with `button`, keeping its text.
void AnswerMessageBox(QString* text, QMessageBox::StandardButton button = QMessageBox::Ok);

// Lets the window's running open or save end, answering its message with
// whatever the caller set up; fails the test after 60 s.
void FinishJob(CMainFrame& frame);
// Opens `path` as File, Open does and lets the open end; whether it opened.
bool OpenAndWait(CMainFrame& frame, const QString& path);

// Presses `keys` in `window`, made active first (after a dialog the
// shortcuts reach the active window only).
void Press(QWidget* window, const char* keys);

// A test with a temporary folder and a window of its own. A dialog left
// open, or an answer to one that never showed, fails the test instead of
// holding it until CTest's timeout or acting in the next test.
class WindowTest : public testing::Test {
protected:
    WindowTest();
    void TearDown() override;
    // Runs a command answering its file dialog with `path` (cancelling it
    // when empty) and lets the job it starts end.
    void viaDialog(int command, const std::filesystem::path& path, FileDialogSeen* seen = nullptr) {
        AnswerFileDialog(path.empty() ? QString() : Q(path), seen);
        frame->menuAction(command)->trigger();
        FinishJob(*frame);
    }
    const PictureDocument& document() const { return frame->model()->document(); }
    QStringList texts() const {
        QStringList all;
        for (std::int32_t i = 0; i < document().captions.count(); ++i)
            all << document().captions.at(i)->text;
        return all;
    }

    testing_support::TempDir dir;
    std::unique_ptr<CMainFrame> frame;

private:
    QTimer watchdog_;
    QPointer<QWidget> lastModal_;
};
