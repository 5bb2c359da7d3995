#include "app/RecentFiles.h"

#include <QFileInfo>
#include <QSettings>

namespace {
const QString kFilesKey = QStringLiteral("recentFiles");
const QString kFolderKey = QStringLiteral("lastOpenFolder");

void store(const QStringList& list) {
    QSettings().setValue(kFilesKey, list);
}

// Two spellings of the same file count as one entry.
QString absolute(const QString& path) {
    return QFileInfo(path).absoluteFilePath();
}
} // namespace

namespace RecentFiles {

QStringList withFirst(QStringList list, const QString& path) {
    const QString entry = absolute(path);
    list.removeAll(entry);
    list.prepend(entry);
    while (list.size() > kMaxEntries)
        list.removeLast();
    return list;
}

QStringList load() {
    QStringList list = QSettings().value(kFilesKey).toStringList();
    list.removeAll(QString());
    while (list.size() > kMaxEntries)
        list.removeLast();
    return list;
}

void add(const QString& path) {
    store(withFirst(load(), path));
}

void remove(const QString& path) {
    QStringList list = load();
    list.removeAll(absolute(path));
    store(list);
}

QString lastFolder() {
    return QSettings().value(kFolderKey).toString();
}

void setLastFolder(const QString& folder) {
    QSettings().setValue(kFolderKey, folder);
}

} // namespace RecentFiles
