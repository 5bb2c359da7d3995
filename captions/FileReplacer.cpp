#include "captions/FileReplacer.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// The process's file creation mask. Read from /proc where it can be, since
// setting it to read it back would race with other threads creating files.
mode_t currentUmask() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok) {
                    return static_cast<mode_t>(mask);
                }
            }
        }
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// Permission bits of a new file: what fopen would give, or the old file's.
mode_t modeFor(const QByteArray& target) {
    struct stat st {};
    if (::stat(target.constData(), &st) == 0 && S_ISREG(st.st_mode)) {
        return st.st_mode & 07777;
    }
    return 0666 & ~currentUmask();
}

QByteArray randomTempName(const QByteArray& folder, const QByteArray& base) {
    const quint64 tag = QRandomGenerator::global()->generate64();
    return folder + "/." + base + ".lumora-" + QByteArray::number(tag, 36);
}
} // namespace

FileReplacer::FileReplacer(const QString& target, Temporary kind) : kind_(kind) {
    QFileInfo info(target);
    // Writing through a link replaces the file it names, not the link.
    if (info.isSymLink() && info.exists()) {
        info = QFileInfo(info.canonicalFilePath());
    }
    target_ = QFile::encodeName(info.absoluteFilePath());
    folder_ = QFile::encodeName(info.absolutePath());
    baseName_ = QFile::encodeName(info.fileName());
}

FileReplacer::~FileReplacer() {
    discard();
}

bool FileReplacer::fail(const QString& reason) {
    if (!failed_) {
        failed_ = true;
        error_ = reason;
    }
    discard();
    return false;
}

bool FileReplacer::failWithErrno(int code) {
    return fail(QString::fromLocal8Bit(std::strerror(code)));
}

void FileReplacer::discard() {
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!tempName_.isEmpty()) {
        ::unlink(tempName_.constData());
        tempName_.clear();
    }
}

bool FileReplacer::open() {
    if (failed_ || file_) {
        return !failed_;
    }
    struct stat st {};
    if (::stat(target_.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            return fail(QStringLiteral("it is a folder"));
        }
        if (::access(target_.constData(), W_OK) != 0) {
            return failWithErrno(errno);
        }
    }
    const mode_t mode = modeFor(target_);
    // An unnamed file is given its name through /proc at commit.
    const bool unnamed = kind_ == Temporary::PreferUnnamed && ::access("/proc/self/fd", X_OK) == 0;
    int fd = unnamed ? ::open(folder_.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600) : -1;
    if (fd < 0 && (!unnamed || errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        // No unnamed files here: use a named one and remove it on failure.
        for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
            const QByteArray name = randomTempName(folder_, baseName_);
            fd = ::open(name.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
            if (fd >= 0) {
                tempName_ = name;
            } else if (errno != EEXIST) {
                break;
            }
        }
    }
    if (fd < 0) {
        return failWithErrno(errno);
    }
    // Best effort: some file systems (FAT on a memory card) have no
    // permission bits to set, and the save must still work there.
    (void)::fchmod(fd, mode);
    file_ = ::fdopen(fd, "wb");
    if (!file_) {
        const int code = errno;
        ::close(fd);
        return failWithErrno(code);
    }
    return true;
}

bool FileReplacer::write(const void* data, std::size_t size) {
    if (failed_ || !file_) {
        return fail(QStringLiteral("the file is not open"));
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const std::size_t piece = size < kPieceBytes ? size : kPieceBytes;
        const std::size_t written = std::fwrite(bytes, 1, piece, file_);
        if (written == 0) {
            return failWithErrno(errno != 0 ? errno : EIO);
        }
        bytes += written;
        size -= written;
    }
    return true;
}

bool FileReplacer::startWriteback() {
    if (failed_ || !file_) {
        return fail(QStringLiteral("the file is not open"));
    }
    if (std::fflush(file_) != 0) {
        return failWithErrno(errno);
    }
    // Only a hint: where the kernel does not take it, commit() still waits
    // for everything.
    ::sync_file_range(::fileno(file_), 0, 0, SYNC_FILE_RANGE_WRITE);
    return true;
}

bool FileReplacer::rewind() {
    if (failed_ || !file_) {
        return fail(QStringLiteral("the file is not open"));
    }
    if (std::fflush(file_) != 0 || ::ftruncate(::fileno(file_), 0) != 0 ||
        std::fseek(file_, 0, SEEK_SET) != 0) {
        return failWithErrno(errno);
    }
    return true;
}

bool FileReplacer::linkUnnamed() {
    const QByteArray procPath = "/proc/self/fd/" + QByteArray::number(::fileno(file_));
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QByteArray name = randomTempName(folder_, baseName_);
        if (::linkat(AT_FDCWD, procPath.constData(), AT_FDCWD, name.constData(),
                     AT_SYMLINK_FOLLOW) == 0) {
            tempName_ = name;
            return true;
        }
        if (errno != EEXIST) {
            return failWithErrno(errno);
        }
    }
    return failWithErrno(EEXIST);
}

// Gives the temporary file the target's name unless that name is taken,
// with errno set on failure. A rename that refuses to replace is atomic; on
// a file system without it, link() is (it fails when the name is taken); on
// one with neither, such as FAT on a memory card before Linux 4.9, the name
// is checked and then renamed, which a file made in between could lose to.
bool FileReplacer::renameKeepingExisting() {
    if (::renameat2(AT_FDCWD, tempName_.constData(), AT_FDCWD, target_.constData(),
                    RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    if (::link(tempName_.constData(), target_.constData()) == 0) {
        ::unlink(tempName_.constData());
        return true;
    }
    if (errno != EPERM && errno != EOPNOTSUPP) {
        return false;
    }
    struct stat existing {};
    if (::lstat(target_.constData(), &existing) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(tempName_.constData(), target_.constData()) == 0;
}

bool FileReplacer::commit() {
    if (failed_ || !file_) {
        return fail(QStringLiteral("the file is not open"));
    }
    if (std::fflush(file_) != 0 || ::fsync(::fileno(file_)) != 0) {
        return failWithErrno(errno);
    }
    if (tempName_.isEmpty() && !linkUnnamed()) {
        return false;
    }
    const int closed = std::fclose(file_);
    file_ = nullptr;
    if (closed != 0) {
        return failWithErrno(errno);
    }
    if (keepExisting_) {
        if (!renameKeepingExisting()) {
            return failWithErrno(errno);
        }
    } else if (::rename(tempName_.constData(), target_.constData()) != 0) {
        return failWithErrno(errno);
    }
    tempName_.clear();
    // Make the new name itself durable.
    const int folder = ::open(folder_.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}
