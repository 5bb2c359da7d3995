#include "cli/FindPhotos.h"

#include "formats/PictureFormat.h"
#include "pipeline/CaptionJob.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <set>
#include <sys/stat.h>
#include <utility>

namespace {

QString systemReason(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

// The names of the copies this command writes beside the photos `names`
// of one folder with `suffix`. None with an empty suffix: then a copy's
// name could be that of another photo ("a.JPG" gives "a.jpg"), which must
// still be taken and refused as an input that would be written over.
QSet<QString> ownCopyNames(const QStringList& names, const QString& suffix) {
    QSet<QString> copies;
    if (suffix.isEmpty())
        return copies;
    for (const QString& name : names)
        copies.insert(captionedCopyName(name, suffix));
    return copies;
}

// The photos of a folder in name order, and those of its subfolders after
// them when `recursive`; a folder that cannot be read is a failure. A file
// named as this command's copy of a photo beside it is left out, so that a
// second run over a folder the first wrote into does not caption the
// copies again.
void addFolder(const QString& folder, bool recursive, const QString& suffix, FoundPhotos& found) {
    DIR* directory = ::opendir(QFile::encodeName(folder).constData());
    if (directory == nullptr) {
        found.failures.push_back(QStringLiteral("Could not read the folder \"%1\": %2.")
                                     .arg(shownPath(folder), systemReason(errno)));
        return;
    }
    QStringList names;
    QStringList folders;
    while (const dirent* entry = ::readdir(directory)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (name == QLatin1String(".") || name == QLatin1String(".."))
            continue;
        const QString path = folder + QLatin1Char('/') + name;
        struct stat st {};
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
            continue;
        // Links to folders are not followed, so a loop cannot be walked.
        if (S_ISDIR(st.st_mode))
            folders << path;
        else if (hasPictureExtension(name))
            names << name;
    }
    ::closedir(directory);
    names.sort();
    folders.sort();
    const QSet<QString> copies = ownCopyNames(names, suffix);
    for (const QString& name : names) {
        if (!copies.contains(name))
            found.photos.push_back(folder + QLatin1Char('/') + name);
    }
    if (recursive) {
        for (const QString& sub : folders)
            addFolder(sub, recursive, suffix, found);
    }
}

// Keeps the first of the photos that are one file (the same device and
// inode): a folder and a photo in it, or one photo named in two ways, are
// worked on once.
void dropRepeats(std::vector<QString>& photos) {
    std::set<std::pair<dev_t, ino_t>> seen;
    std::vector<QString> kept;
    kept.reserve(photos.size());
    for (QString& photo : photos) {
        struct stat st {};
        if (::stat(QFile::encodeName(photo).constData(), &st) == 0 &&
            !seen.insert({st.st_dev, st.st_ino}).second)
            continue;
        kept.push_back(std::move(photo));
    }
    photos = std::move(kept);
}

} // namespace

QString shownPath(const QString& path) {
    return QDir::toNativeSeparators(path);
}

FoundPhotos findPhotos(const QStringList& inputs, bool recursive, const QString& suffix) {
    FoundPhotos found;
    for (const QString& input : inputs) {
        struct stat st {};
        if (::stat(QFile::encodeName(input).constData(), &st) != 0) {
            found.failures.push_back(QStringLiteral("Could not open \"%1\": %2.")
                                         .arg(shownPath(input), systemReason(errno)));
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            QString folder = input;
            while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
                folder.chop(1);
            const std::size_t photos = found.photos.size();
            const std::size_t failures = found.failures.size();
            addFolder(folder, recursive, suffix, found);
            if (found.photos.size() == photos && found.failures.size() == failures) {
                const QString hint = recursive
                                         ? QString()
                                         : QStringLiteral(" (--recursive looks in its subfolders)");
                found.warnings.push_back(
                    QStringLiteral("the folder \"%1\" has no photos to caption%2")
                        .arg(shownPath(folder), hint));
            }
        } else {
            found.photos.push_back(input);
        }
    }
    dropRepeats(found.photos);
    return found;
}
