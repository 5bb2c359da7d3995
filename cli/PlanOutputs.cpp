#include "cli/PlanOutputs.h"

#include "cli/FindPhotos.h"
#include "pipeline/CaptionJob.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <map>
#include <utility>

namespace {

// A path with its folder's symbolic links and dots resolved, so two names
// of one file compare equal; the file itself need not exist.
QString identity(const QString& path) {
    const QFileInfo info(path);
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    const QString base = folder.isEmpty() ? info.absolutePath() : folder;
    return QDir::cleanPath(base + QLatin1Char('/') + info.fileName());
}

} // namespace

std::vector<PlannedPhoto> planOutputs(const std::vector<QString>& photos,
                                      const CaptionOptions& options) {
    std::map<QString, QString> inputs; // identity -> photo
    for (const QString& photo : photos)
        inputs.emplace(identity(photo), photo);
    std::map<QString, QString> taken; // identity of a copy -> its photo
    std::vector<PlannedPhoto> planned;
    planned.reserve(photos.size());
    for (const QString& photo : photos) {
        const QFileInfo info(photo);
        const QString folder = options.outputFolder.isEmpty() ? info.path() : options.outputFolder;
        PlannedPhoto plan{photo, QDir(folder).filePath(captionedCopyName(photo, options.suffix)),
                          QString()};
        const QString copy = identity(plan.output);
        const QString why = QStringLiteral("Could not caption \"%1\": ").arg(shownPath(photo));
        if (!QFileInfo(folder).isDir()) {
            plan.problem =
                why +
                QStringLiteral("the output folder \"%1\" does not exist.").arg(shownPath(folder));
        } else if (const auto input = inputs.find(copy); input != inputs.end()) {
            plan.problem = why + QStringLiteral("its copy \"%1\" would be written over the photo "
                                                "\"%2\"; choose another --suffix or --out.")
                                     .arg(shownPath(plan.output), shownPath(input->second));
        } else if (const auto first = taken.find(copy); first != taken.end()) {
            plan.problem = why + QStringLiteral("its copy \"%1\" would have the name of the copy "
                                                "of \"%2\"; caption them into different folders.")
                                     .arg(shownPath(plan.output), shownPath(first->second));
        } else if (!options.overwrite && QFileInfo::exists(plan.output)) {
            plan.problem = why + QStringLiteral("\"%1\" exists already (--overwrite replaces it).")
                                     .arg(shownPath(plan.output));
        }
        taken.emplace(copy, photo);
        planned.push_back(std::move(plan));
    }
    return planned;
}

bool matchDataRows(const CaptionDataTable& data, const std::vector<PlannedPhoto>& plan,
                   bool required) {
    const char* kind = required ? "" : "warning: ";
    std::vector<bool> used(data.rows.size(), false);
    int mismatches = 0;
    for (const PlannedPhoto& photo : plan) {
        if (const CaptionDataRow* row = data.rowFor(photo.photo)) {
            used[static_cast<std::size_t>(row - data.rows.data())] = true;
            continue;
        }
        ++mismatches;
        std::fprintf(stderr, "lumora caption: %s\"%s\" has no row in \"%s\"%s\n", kind,
                     shownPath(photo.photo).toLocal8Bit().constData(),
                     shownPath(data.path).toLocal8Bit().constData(),
                     required ? "" : "; its columns are empty");
    }
    for (std::size_t i = 0; i < data.rows.size(); ++i) {
        if (used[i])
            continue;
        ++mismatches;
        std::fprintf(stderr,
                     "lumora caption: %s%s names \"%s\", which is not among the photos given\n",
                     kind, data.where(data.rows[i].line).toLocal8Bit().constData(),
                     data.rows[i].photo.toLocal8Bit().constData());
    }
    if (required && mismatches > 0) {
        std::fprintf(stderr, "lumora caption: nothing was captioned: --data-required and %d %s\n",
                     mismatches, mismatches == 1 ? "mismatch" : "mismatches");
        return false;
    }
    return true;
}
