// The main window's File, Load Caption Set, Save Caption Set and Caption Data.
#include "app/FileDialogs.h"
#include "app/MainFrame.h"
#include "app/RecentFiles.h"
#include "captions/CaptionData.h"
#include "captions/CaptionSetFile.h"
#include "document/DocumentModel.h"
#include "resources/StringTable.h"

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

void CMainFrame::loadCaptionData() {
    const QString path = chooseCaptionDataPath(this, setFolder());
    if (path.isEmpty())
        return;
    CaptionDataRead read = readCaptionData(path);
    if (!read.ok) {
        showFailure(read.message);
        return;
    }
    auto table = std::make_shared<const CaptionDataTable>(std::move(read.table));
    model_->setCaptionData(table);
    QStringList warnings = read.warnings;
    if (!model_->path().isEmpty() && table->rowFor(model_->path()) == nullptr)
        warnings << loadString(StringId::CaptionDataNoRow)
                        .arg(QFileInfo(model_->path()).fileName(), QFileInfo(path).fileName());
    if (!warnings.isEmpty())
        showNote(warnings.join(QLatin1Char('\n')));
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
