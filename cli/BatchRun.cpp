#include "cli/BatchRun.h"

#include "formats/PictureFormat.h"

#include "captions/CaptionJob.h"
#include "cli/Progress.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <map>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <utility>

namespace {

// Set by Ctrl+C (and SIGTERM): no photo is started after it. Photos being
// worked on are finished, since a copy appears only whole.
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void onInterrupt(int signal) {
    interrupted.store(true);
    // A second Ctrl+C ends the process at once.
    std::signal(signal, SIG_DFL);
}

QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

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
                                     .arg(shown(folder), systemReason(errno)));
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

// A path with its folder's symbolic links and dots resolved, so two names
// of one file compare equal; the file itself need not exist.
QString identity(const QString& path) {
    const QFileInfo info(path);
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    const QString base = folder.isEmpty() ? info.absolutePath() : folder;
    return QDir::cleanPath(base + QLatin1Char('/') + info.fileName());
}

struct Outcome {
    std::size_t index;
    PipelineResult result;
};

} // namespace

FoundPhotos findPhotos(const QStringList& inputs, bool recursive, const QString& suffix) {
    FoundPhotos found;
    for (const QString& input : inputs) {
        struct stat st {};
        if (::stat(QFile::encodeName(input).constData(), &st) != 0) {
            found.failures.push_back(QStringLiteral("Could not open \"%1\": %2.")
                                         .arg(shown(input), systemReason(errno)));
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            QString folder = input;
            while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
                folder.chop(1);
            addFolder(folder, recursive, suffix, found);
        } else {
            found.photos.push_back(input);
        }
    }
    dropRepeats(found.photos);
    return found;
}

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
        const QString why = QStringLiteral("Could not caption \"%1\": ").arg(shown(photo));
        if (!QFileInfo(folder).isDir()) {
            plan.problem =
                why + QStringLiteral("the output folder \"%1\" does not exist.").arg(shown(folder));
        } else if (const auto input = inputs.find(copy); input != inputs.end()) {
            plan.problem = why + QStringLiteral("its copy \"%1\" would be written over the photo "
                                                "\"%2\"; choose another --suffix or --out.")
                                     .arg(shown(plan.output), shown(input->second));
        } else if (const auto first = taken.find(copy); first != taken.end()) {
            plan.problem = why + QStringLiteral("its copy \"%1\" would have the name of the copy "
                                                "of \"%2\"; caption them into different folders.")
                                     .arg(shown(plan.output), shown(first->second));
        } else if (!options.overwrite && QFileInfo::exists(plan.output)) {
            plan.problem = why + QStringLiteral("\"%1\" exists already (--overwrite replaces it).")
                                     .arg(shown(plan.output));
        }
        taken.emplace(copy, photo);
        planned.push_back(std::move(plan));
    }
    return planned;
}

namespace {

// Says which photos have no row and which rows name no photo given: as
// warnings, or as failures with `required`. False when the run must not start.
bool matchRows(const CaptionDataTable& data, const std::vector<PlannedPhoto>& plan, bool required) {
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
                     shown(photo.photo).toLocal8Bit().constData(),
                     shown(data.path).toLocal8Bit().constData(),
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

} // namespace

int runBatch(const CaptionOptions& options, const CaptionList& captions,
             const CaptionDataTable* data) {
    const FoundPhotos found = findPhotos(options.inputs, options.recursive, options.suffix);
    const std::vector<PlannedPhoto> plan = planOutputs(found.photos, options);
    if (found.failures.empty() && plan.empty()) {
        std::fputs("lumora caption: no photos (.jpg, .jpeg, .heic, .heif, .hif, .avif, .png, .tif, "
                   ".tiff, .webp) in the folders given\n",
                   stderr);
        return 1;
    }
    if (data != nullptr && !matchRows(*data, plan, options.dataRequired))
        return 1;

    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);

    Progress progress(stderr, static_cast<int>(found.failures.size() + plan.size()));
    int captioned = 0;
    int failed = 0;
    for (const QString& failure : found.failures) {
        progress.failed(failure);
        ++failed;
    }

    // Each worker holds one photo at a time, so memory stays at `jobs`
    // pictures; finished photos are handed to this thread to report.
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Outcome> outcomes;
    std::atomic<std::size_t> next{0};
    int running =
        static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(std::max(options.jobs, 1)),
                                               std::max<std::size_t>(plan.size(), 1)));
    const auto work = [&] {
        for (;;) {
            if (interrupted.load())
                break;
            const std::size_t index = next.fetch_add(1);
            if (index >= plan.size())
                break;
            const PlannedPhoto& photo = plan[index];
            PipelineResult result;
            if (!photo.problem.isEmpty()) {
                result.message = photo.problem;
            } else {
                CaptionJob job{photo.photo,       photo.output,    options.metadata,
                               options.overwrite, options.quality, {}};
                if (data != nullptr)
                    job.captionData = data->valuesFor(photo.photo);
                result = runCaptionJob(job, captions);
            }
            const std::lock_guard lock(mutex);
            outcomes.push_back({index, std::move(result)});
            changed.notify_one();
        }
        const std::lock_guard lock(mutex);
        --running;
        changed.notify_one();
    };
    std::vector<std::thread> workers;
    workers.reserve(static_cast<std::size_t>(running));
    for (int i = running; i > 0; --i)
        workers.emplace_back(work);

    std::unique_lock lock(mutex);
    for (;;) {
        // Wakes for each photo done, and now and then so the bar's time
        // left moves and an interruption is seen.
        changed.wait_for(lock, std::chrono::milliseconds(250),
                         [&] { return !outcomes.empty() || running == 0; });
        while (!outcomes.empty()) {
            const Outcome outcome = std::move(outcomes.front());
            outcomes.pop_front();
            lock.unlock();
            if (outcome.result.ok) {
                ++captioned;
                progress.print(stdout, plan[outcome.index].output);
                progress.captioned(plan[outcome.index].output);
                if (!outcome.result.note.isEmpty())
                    progress.print(stderr,
                                   QStringLiteral("lumora caption: ") + outcome.result.note);
            } else {
                ++failed;
                progress.failed(outcome.result.message);
            }
            lock.lock();
        }
        if (running == 0)
            break;
        lock.unlock();
        progress.tick();
        lock.lock();
    }
    lock.unlock();
    for (std::thread& worker : workers)
        worker.join();
    progress.finish();

    // Ctrl+C after the last photo had started stopped nothing: the run ends
    // as if it had not come.
    const int notStarted =
        static_cast<int>(found.failures.size() + plan.size()) - captioned - failed;
    if (interrupted.load() && notStarted > 0) {
        std::fprintf(stderr, "lumora caption: stopped: %d captioned, %d failed, %d not started\n",
                     captioned, failed, notStarted);
        return 130;
    }
    std::fprintf(stderr, "%d captioned, %d failed\n", captioned, failed);
    return failed == 0 ? 0 : 1;
}
