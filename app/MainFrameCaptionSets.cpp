// The main window's File, Load Caption Set and Save Caption Set.
#include "app/FileDialogs.h"
#include "app/MainFrame.h"
#include "app/RecentFiles.h"
#include "captions/CaptionSetFile.h"
#include "captions/DocumentModel.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace {
// Sets are looked for where photos were last opened, else in the documents.
QString setFolder() {
    const QString last = RecentFiles::lastFolder();
    if (!last.isEmpty() && QFileInfo(last).isDir())
        return last;
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}
} // namespace

void CMainFrame::loadCaptionSet() {
    const QString path = chooseCaptionSetOpenPath(this, setFolder());
    if (path.isEmpty())
        return;
    const CaptionSetRead set = readCaptionSet(path);
    if (!set.ok) {
        showFailure(set.message);
        return;
    }
    model_->replaceCaptions(set.captions);
}

bool CMainFrame::saveCaptionSet() {
    const QString path = chooseCaptionSetSavePath(this, setFolder());
    if (path.isEmpty())
        return false;
    const QString failure = writeCaptionSet(model_->document().captions, path);
    if (!failure.isEmpty())
        showFailure(failure);
    return failure.isEmpty();
}
