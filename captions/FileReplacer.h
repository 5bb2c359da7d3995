#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdio>

// Writes a new file over a target path without ever leaving the target half
// written. The bytes go into a temporary file in the target's folder (an
// unnamed one where the file system allows it, so that even a killed process
// leaves nothing behind); commit() flushes it to disk and renames it over the
// target in one step. Until then, and after any failure, the target is as it
// was and the temporary file is gone.
class FileReplacer {
public:
    enum class Temporary {
        // Unnamed until commit, falling back to a named one where the file
        // system (or a missing /proc) does not allow it.
        PreferUnnamed,
        // Always a named temporary file, removed again on failure.
        Named,
    };

    explicit FileReplacer(const QString& target, Temporary kind = Temporary::PreferUnnamed);
    ~FileReplacer();
    FileReplacer(const FileReplacer&) = delete;
    FileReplacer& operator=(const FileReplacer&) = delete;

    // Each returns false once something failed; errorText() says what.
    bool open();
    // Writes all of the bytes, in pieces of at most kPieceBytes.
    bool write(const void* data, std::size_t size);
    bool commit();
    // Starts writing what was written so far to disk without waiting for
    // it, so that commit() has less left to wait for.
    bool startWriteback();
    // Drops what was written, to write the file again from its start.
    bool rewind();
    // Makes commit() refuse, with EEXIST's reason, when a file already has
    // the target's name, instead of replacing it; the check and the naming
    // are one step, so a file appearing meanwhile is not replaced either.
    void keepExisting() { keepExisting_ = true; }

    // What went wrong, for a person to read ("Permission denied").
    QString errorText() const { return error_; }

    static constexpr std::size_t kPieceBytes = 0x8000;

private:
    bool fail(const QString& reason);
    bool failWithErrno(int code);
    // Gives the unnamed file a temporary name in the folder.
    bool linkUnnamed();
    bool renameKeepingExisting();
    void discard();

    QByteArray target_;
    QByteArray folder_;
    QByteArray baseName_; // the target's file name, for temporary names
    Temporary kind_;
    QByteArray tempName_; // empty while the file has no name
    std::FILE* file_ = nullptr;
    bool failed_ = false;
    bool keepExisting_ = false;
    QString error_;
};
