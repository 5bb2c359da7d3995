#pragma once

#include <QFile>
#include <QString>

#include <filesystem>

namespace testing_support {

// A file system path as the program's functions take it.
inline QString Q(const std::filesystem::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

} // namespace testing_support
