#pragma once

// What outside programs read from a file: djpeg's pixels and complaints,
// exiftool's tags. For test programs that link Qt Core (its JSON reader).
#include "tests/support/TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace testing_support {

// Run under a name a test's body can call (gtest's Test::Run hides it).
inline CommandResult Shell(const std::string& command) {
    return Run(command);
}

// djpeg's picture of a file, decoded with `options`; empty when it fails.
inline Pnm Djpeg(const std::filesystem::path& file, const std::string& options = "") {
    std::string command = "djpeg -pnm ";
    const CommandResult run = Run(command.append(options).append(" ").append(Quote(file.string())));
    Pnm pnm;
    ParsePnm(std::vector<std::uint8_t>(run.output.begin(), run.output.end()), pnm);
    return pnm;
}

// What djpeg says on its standard error while decoding a file, and whether
// it failed: "" for a clean decode. (Run discards the standard error of the
// whole command, so the decode's own goes to the output inside a group.)
inline std::string DjpegComplaints(const std::filesystem::path& file) {
    std::string command = "(djpeg ", failed = "exit ";
    const CommandResult run = Run(command.append(Quote(file.string())).append(" 2>&1 >/dev/null)"));
    return run.exitCode == 0 ? run.output
                             : failed.append(std::to_string(run.exitCode)) + run.output;
}

// exiftool's tags of every file given (read with `options`), by file name.
inline std::map<std::string, QJsonObject>
Exiftool(const std::string& options, const std::vector<std::filesystem::path>& files) {
    std::string command = "exiftool -j -q -q " + options;
    for (const std::filesystem::path& file : files) {
        command += ' ';
        command += Quote(file.string());
    }
    const CommandResult run = Run(command);
    std::map<std::string, QJsonObject> tags;
    for (const QJsonValue& v :
         QJsonDocument::fromJson(QByteArray::fromStdString(run.output)).array())
        tags[v.toObject().value("SourceFile").toString().toStdString()] = v.toObject();
    return tags;
}

inline QJsonObject ExiftoolOf(const std::filesystem::path& file, const std::string& options) {
    const auto tags = Exiftool(options, {file});
    const auto found = tags.find(file.string());
    return found == tags.end() ? QJsonObject() : found->second;
}

// A tag's value as text ("" when it is missing).
inline std::string Tag(const QJsonObject& tags, const char* name) {
    return tags.value(name).toVariant().toString().toStdString();
}

} // namespace testing_support
