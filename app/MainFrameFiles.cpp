// The main window's work with files: File, Open and Save, the recent list,
// photos dropped on the window, and the question before closing with
// unsaved captions.
#include "app/FileDialogs.h"
#include "app/MainFrame.h"
#include "app/MetadataChoiceMenu.h"
#include "app/QualityChoiceMenu.h"
#include "app/RecentFiles.h"
#include "captions/CaptionJob.h"
#include "captions/DocumentModel.h"
#include "formats/PictureFormat.h"
#include "resources/MainMenu.h"
#include "resources/StringTable.h"

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

// Shows the busy cursor while a long open or save runs on the one thread.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

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
    PipelineResult result;
    {
        BusyCursor busy;
        result = model_->open(path);
    }
    if (!result.ok)
        showFailure(result.message);
    else if (!result.note.isEmpty())
        showNote(result.note);
    return result.ok;
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
    PipelineResult result;
    {
        BusyCursor busy;
        result = model_->save(path, {metadataChoice_->choice(), qualityChoice_->choice(), true});
    }
    if (!result.ok)
        showFailure(result.message);
    else if (!result.note.isEmpty())
        showNote(result.note);
    return result.ok;
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
    dragCarriesPhoto_ = !firstPhoto(event->mimeData()).isEmpty();
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
        return saveFile();
    case QMessageBox::Discard:
        return true;
    default:
        return false;
    }
}
