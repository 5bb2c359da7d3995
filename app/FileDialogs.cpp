#include "app/FileDialogs.h"

#include "captions/CaptionSetFile.h"
#include "formats/PictureFormat.h"
#include "resources/StringTable.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>

QString qtNameFilters(const QString& pipeSeparatedFilter) {
    const QStringList parts = pipeSeparatedFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts[i];
        if (name.isEmpty())
            break; // the "||" that ends the list
        // The name repeats its patterns in brackets; Qt reads the patterns
        // from those brackets, so they are written afresh in its form.
        const qsizetype bracket = name.indexOf(QLatin1Char('('));
        if (bracket >= 0)
            name = name.left(bracket).trimmed();
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& pattern : patterns) {
            if (pattern == QLatin1String("*.*"))
                pattern = QStringLiteral("*");
        }
        filters << QStringLiteral("%1 (%2)").arg(name, patterns.join(QLatin1Char(' ')));
    }
    return filters.join(QStringLiteral(";;"));
}

namespace {

// `first` is a filter shown before those of the string table, if any.
QString runDialog(QFileDialog& dialog, const QString& directory, int filter = StringId::FileFilter,
                  const QString& first = QString()) {
    const QString filters = qtNameFilters(loadString(filter));
    dialog.setNameFilter(first.isEmpty() ? filters : first + QStringLiteral(";;") + filters);
    if (filter == StringId::FileFilter)
        dialog.setDefaultSuffix(loadString(StringId::DefaultExtension));
    if (!directory.isEmpty() && QFileInfo(directory).isDir())
        dialog.setDirectory(directory);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace

QString chooseOpenPath(QWidget* owner, const QString& directory) {
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // Every format that opens comes first; copies are saved as JPEG only.
    const QString photos =
        QStringLiteral("Photos (%1)").arg(pictureNamePatterns().join(QLatin1Char(' ')));
    return runDialog(dialog, directory, StringId::FileFilter, photos);
}

QString chooseSavePath(QWidget* owner, const QString& directory, const QString& proposedName) {
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // Asking before replacing a file is Qt's default for save dialogs; kept
    // explicit because losing a photo to a slip of the mouse is the worst
    // thing this program could do.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (!directory.isEmpty() && QFileInfo(directory).isDir())
        dialog.setDirectory(directory);
    dialog.selectFile(proposedName);
    return runDialog(dialog, QString());
}

QString chooseCaptionSetOpenPath(QWidget* owner, const QString& directory) {
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return runDialog(dialog, directory, StringId::CaptionSetFilter);
}

QString chooseCaptionDataPath(QWidget* owner, const QString& directory) {
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return runDialog(dialog, directory, StringId::CaptionDataFilter);
}

QString chooseCaptionSetSavePath(QWidget* owner, const QString& directory) {
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.selectFile(QStringLiteral("captions") + QLatin1String(kCaptionSetSuffix));
    QString path = runDialog(dialog, directory, StringId::CaptionSetFilter);
    // The suffix has two dots, which a default suffix cannot add. The dialog
    // asked about replacing the name as typed; a name with the suffix added
    // can be another file, so it is asked about here.
    if (path.isEmpty() || path.endsWith(QLatin1String(".json"), Qt::CaseInsensitive))
        return path;
    path += QLatin1String(kCaptionSetSuffix);
    if (QFileInfo::exists(path)) {
        const QMessageBox::StandardButton answer = QMessageBox::question(
            owner, loadString(StringId::ProgramTitle),
            loadString(StringId::ReplaceCaptionSet).arg(QFileInfo(path).fileName()),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return {};
    }
    return path;
}
