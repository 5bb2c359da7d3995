#pragma once

#include <QString>
#include <QStringList>

// The photos opened last, newest first, and the folder the open dialog
// starts in, kept in the program's QSettings so they outlast the run.
namespace RecentFiles {

constexpr int kMaxEntries = 8;

// `list` with `path` put first: an earlier entry of the same file goes,
// and the list keeps at most kMaxEntries.
QStringList withFirst(QStringList list, const QString& path);

QStringList load();
// Puts `path` first in the stored list.
void add(const QString& path);
void remove(const QString& path);

// The folder of the last photo opened; empty before the first.
QString lastFolder();
void setLastFolder(const QString& folder);

} // namespace RecentFiles
