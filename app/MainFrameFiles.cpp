// The main window's work with files: File, Open and Save, the recent list,
// photos dropped on the window, and the question before closing with
// unsaved captions.
#include "app/FileDialogs.h"
#include "app/MainFrame.h"
#include "app/MetadataChoiceMenu.h"
#include "app/QualityChoiceMenu.h"
#include "app/RecentFiles.h"
#include "document/DocumentModel.h"
#include "formats/PictureFormat.h"
#include "pipeline/CaptionJob.h"
#include "resources/MainMenu.h"
#include "resources/StringTable.h"
#include "ui/ImageControl.h"
#include "ui/JobProgress.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMimeDatabase>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace {

// The first dropped file that is a photo of a format that opens; empty when
// there is none.
QString firstPhoto(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls())
        return {};
    const QMimeDatabase types;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        if (!QFileInfo(path).isFile())
            continue;
        const QMimeType type = types.mimeTypeForFile(path);
        const QStringList photoTypes = pictureMimeTypes();
        if (hasPictureExtension(path) ||
            std::any_of(photoTypes.begin(), photoTypes.end(),
                        [&](const QString& photo) { return type.inherits(photo); }))
            return path;
    }
    return {};
}

} // namespace

void CMainFrame::openFile() {
    // The folder of the last photo, also from an earlier run, or at first
    // the person's pictures.
    QString startIn = RecentFiles::lastFolder();
    if (startIn.isEmpty() || !QFileInfo(startIn).isDir())
        startIn = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    const QString path = chooseOpenPath(this, startIn);
    if (path.isEmpty())
        return;
    rememberedPath_ = QStringList{path};
    openPath(path);
}

bool CMainFrame::openPath(const QString& path) {
    RecentFiles::setLastFolder(QFileInfo(path).absolutePath());
    // The first view is decoded just large enough for the view.
    const QSize view = imageControl_->size() * imageControl_->devicePixelRatioF();
    return model_->startOpen(path, view);
}

void CMainFrame::openAtStart(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QTimer::singleShot(0, this, [this, absolute] { openPath(absolute); });
}

bool CMainFrame::saveFile() {
    // Proposed: "<name>-captioned.jpg" beside the photo, so that a quick
    // Enter never replaces the photo itself.
    const QString photo = model_->path().isEmpty() ? rememberedPath_.value(0) : model_->path();
    const QFileInfo opened(photo);
    const QString proposed =
        photo.isEmpty() ? QString()
                        : captionedCopyName(photo, loadString(StringId::CaptionedNameSuffix));
    const QString path =
        chooseSavePath(this, photo.isEmpty() ? QString() : opened.path(), proposed);
    if (path.isEmpty())
        return false;
    return model_->startSave(path, {metadataChoice_->choice(), qualityChoice_->choice(), true});
}

void CMainFrame::jobStarted() {
    // An open keeps the captions and the history, but nothing may be added
    // or saved until its whole picture is there; a save keeps everything
    // as it is until its file is written.
    const bool saving = model_->runningJob() == DocumentJob::Save;
    std::vector<QObject*> conflicting{actions_.at(CommandId::Save), addButton_, editButton_,
                                      removeButton_};
    if (saving) {
        for (const int command :
             {CommandId::Open, CommandId::LoadCaptionSet, CommandId::Undo, CommandId::Redo})
            conflicting.push_back(actions_.at(command));
        conflicting.push_back(recentMenu_);
    }
    // A later open replaces a running one: the states from before the first stay.
    if (!suspended_.empty())
        return;
    for (QObject* command : conflicting) {
        const bool enabled = command->property("enabled").toBool();
        suspended_.emplace_back(command, enabled);
        command->setProperty("enabled", false);
    }
}

void CMainFrame::jobFinished(const PipelineResult& result, bool cancelled) {
    for (const auto& [command, enabled] : suspended_)
        command->setProperty("enabled", enabled);
    suspended_.clear();
    const bool closing = closeAfterSave_;
    closeAfterSave_ = false;
    if (cancelled)
        return;
    if (!result.ok) {
        showFailure(result.message);
        return;
    }
    if (!result.note.isEmpty())
        showNote(result.note);
    if (closing)
        close();
}

void CMainFrame::showNote(const QString& message) {
    QMessageBox box(QMessageBox::Information, loadString(StringId::ProgramTitle), message,
                    QMessageBox::Ok, this);
    box.exec();
}

void CMainFrame::showFailure(const QString& message) {
    QMessageBox box(QMessageBox::Warning, loadString(StringId::ProgramTitle), message,
                    QMessageBox::Ok, this);
    box.exec();
}

void CMainFrame::updateRecentMenu() {
    recentMenu_->clear();
    const QStringList recent = RecentFiles::load();
    for (qsizetype i = 0; i < recent.size(); ++i) {
        const QString path = recent[i];
        QString shown = QDir::toNativeSeparators(path);
        shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* entry =
            recentMenu_->addAction(loadString(StringId::RecentEntry).arg(i + 1).arg(shown));
        connect(entry, &QAction::triggered, this, [this, path] { openRecent(path); });
    }
    recentMenu_->setEnabled(!recent.isEmpty());
}

void CMainFrame::openRecent(const QString& path) {
    if (!QFileInfo::exists(path)) {
        RecentFiles::remove(path);
        updateRecentMenu();
        showFailure(loadString(StringId::RecentFileMissing).arg(QDir::toNativeSeparators(path)));
        return;
    }
    openPath(path);
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    // No photo is taken while a save runs.
    dragCarriesPhoto_ =
        model_->runningJob() != DocumentJob::Save && !firstPhoto(event->mimeData()).isEmpty();
    dragMoveEvent(event);
}

void CMainFrame::dragMoveEvent(QDragMoveEvent* event) {
    if (!dragCarriesPhoto_) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void CMainFrame::dropEvent(QDropEvent* event) {
    const QString path = firstPhoto(event->mimeData());
    if (path.isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    openPath(path);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // A save is let finish, with its progress showing; the window closes
    // when its file is written.
    if (model_->runningJob() == DocumentJob::Save) {
        closeAfterSave_ = true;
        jobProgress_->setClosing(true);
        event->ignore();
        return;
    }
    // An open is dropped: the photo it was reading was never shown.
    model_->cancelJob();
    if (confirmClose())
        event->accept();
    else
        event->ignore();
}

bool CMainFrame::confirmClose() {
    // Captions without a picture cannot be saved, so there is nothing to ask.
    if (!model_->isModified() || !model_->document().hasPicture())
        return true;
    QMessageBox box(
        QMessageBox::Warning, loadString(StringId::ProgramTitle),
        loadString(StringId::SaveBeforeClosing).arg(QFileInfo(model_->path()).fileName()),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    box.setInformativeText(loadString(StringId::SaveBeforeClosingDetail));
    box.setDefaultButton(QMessageBox::Save);
    switch (box.exec()) {
    case QMessageBox::Save:
        // The window closes when the save has written its file.
        closeAfterSave_ = saveFile();
        if (closeAfterSave_)
            jobProgress_->setClosing(true);
        return false;
    case QMessageBox::Discard:
        return true;
    default:
        return false;
    }
}
