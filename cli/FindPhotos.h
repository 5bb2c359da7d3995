#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// What the inputs name: the photos in order, a message for each input
// that could not be read (a missing file, an unreadable folder), and a
// warning for each folder named that holds no photo to caption. In a
// folder, the copies this command made there with `suffix` are not photos;
// a file named on its own always is. A file named more than once is there
// once, where it first comes.
struct FoundPhotos {
    std::vector<QString> photos;
    std::vector<QString> failures;
    std::vector<QString> warnings;
};
FoundPhotos findPhotos(const QStringList& inputs, bool recursive, const QString& suffix);

// A path as messages show it.
QString shownPath(const QString& path);
