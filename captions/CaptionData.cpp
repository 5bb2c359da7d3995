#include "captions/CaptionData.h"

#include "captions/DescriptionText.h"
#include "metadata/TextEncoding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <string_view>

namespace {

// The extensions of photos, to tell a first row that names one from a header.
const char* const kPhotoExtensions[] = {".jpg",  ".jpeg", ".heic", ".heif", ".hif",
                                        ".avif", ".png",  ".tif",  ".tiff", ".webp"};

bool namesPhoto(const QString& cell) {
    for (const char* extension : kPhotoExtensions) {
        if (cell.endsWith(QLatin1StringView(extension), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

struct Record {
    int line = 0;
    QStringList cells;
};

// Reads the records of the text; the first problem ends the reading and is
// returned with the line it was found on.
class RecordReader {
public:
    RecordReader(const QString& text, QChar separator) : text_(text), separator_(separator) {}

    QString read(std::vector<Record>& records) {
        while (pos_ < text_.size()) {
            Record record{line_, {}};
            if (QString problem = readRecord(record.cells); !problem.isEmpty())
                return problem;
            if (record.cells.size() == 1 && record.cells[0].trimmed().isEmpty())
                continue; // a blank line, or one of spaces
            // The header and at most the limit of rows.
            if (static_cast<qsizetype>(records.size()) > kMaxCaptionDataRows)
                return QStringLiteral("line %1: the table has more than %2 rows")
                    .arg(record.line)
                    .arg(kMaxCaptionDataRows);
            records.push_back(std::move(record));
        }
        return {};
    }

private:
    bool atEndOfCell() const {
        if (pos_ >= text_.size())
            return true;
        const QChar c = text_.at(pos_);
        return c == separator_ || c == u'\n' || c == u'\r';
    }

    QString readRecord(QStringList& cells) {
        const int start = line_;
        for (;;) {
            QString cell;
            if (pos_ < text_.size() && text_.at(pos_) == u'"') {
                ++pos_;
                for (;;) {
                    if (pos_ >= text_.size())
                        return QStringLiteral("line %1: a quoted cell is not closed "
                                              "(a \" is missing)")
                            .arg(start);
                    const QChar c = text_.at(pos_++);
                    if (c == u'"') {
                        if (pos_ < text_.size() && text_.at(pos_) == u'"') {
                            cell += c;
                            ++pos_;
                            continue;
                        }
                        break;
                    }
                    if (c == u'\n')
                        ++line_;
                    cell += c;
                    if (cell.size() > kMaxCaptionDataCellChars)
                        return tooLong(start);
                }
                if (!atEndOfCell())
                    return QStringLiteral("line %1: text follows the closing \" of a quoted cell "
                                          "(a quote inside a cell is written \"\")")
                        .arg(line_);
            } else {
                while (!atEndOfCell()) {
                    cell += text_.at(pos_++);
                    if (cell.size() > kMaxCaptionDataCellChars)
                        return tooLong(line_);
                }
            }
            cells << cell;
            if (cells.size() > kMaxCaptionDataColumns)
                return QStringLiteral("line %1 has more than %2 cells")
                    .arg(start)
                    .arg(kMaxCaptionDataColumns);
            if (pos_ < text_.size() && text_.at(pos_) == separator_) {
                ++pos_;
                continue;
            }
            // The end of the record: LF, CR LF, a lone CR or the end.
            if (pos_ < text_.size() && text_.at(pos_) == u'\r')
                ++pos_;
            if (pos_ < text_.size() && text_.at(pos_) == u'\n')
                ++pos_;
            ++line_;
            return {};
        }
    }

    static QString tooLong(int line) {
        return QStringLiteral("line %1: a cell is longer than %2 characters")
            .arg(line)
            .arg(kMaxCaptionDataCellChars);
    }

    const QString& text_;
    QChar separator_;
    qsizetype pos_ = 0;
    int line_ = 1;
};

// Tab for .tsv and .tab; otherwise the separator the header line uses:
// a comma, else a tab, else a semicolon (as some spreadsheets write CSV).
QChar separatorOf(const QString& text, const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("tsv") || suffix == QLatin1String("tab"))
        return u'\t';
    const QStringView header = QStringView(text).left(text.indexOf(u'\n'));
    for (const QChar candidate : {u',', u'\t', u';'}) {
        if (header.contains(candidate))
            return candidate;
    }
    return u',';
}

int lineOfByte(const QByteArray& bytes, qsizetype at) {
    return static_cast<int>(std::count(bytes.cbegin(), bytes.cbegin() + at, '\n')) + 1;
}

} // namespace

QString CaptionDataTable::where(int line) const {
    return QStringLiteral("%1, line %2").arg(QDir::toNativeSeparators(path)).arg(line);
}

void CaptionDataTable::buildIndex() {
    byPath_.clear();
    byName_.clear();
    const QDir folder(QFileInfo(path).absolutePath());
    for (qsizetype i = 0; i < static_cast<qsizetype>(rows.size()); ++i) {
        const QString& photo = rows[static_cast<std::size_t>(i)].photo;
        // The first row naming a photo wins, also over another spelling.
        QHash<QString, qsizetype>& index = photo.contains(u'/') ? byPath_ : byName_;
        const QString key =
            photo.contains(u'/') ? QDir::cleanPath(folder.absoluteFilePath(photo)) : photo;
        if (!index.contains(key))
            index.insert(key, i);
    }
}

const CaptionDataRow* CaptionDataTable::rowFor(const QString& photoPath) const {
    const QFileInfo photo(photoPath);
    const qsizetype index = byPath_.value(QDir::cleanPath(photo.absoluteFilePath()),
                                          byName_.value(photo.fileName(), -1));
    return index < 0 ? nullptr : &rows[static_cast<std::size_t>(index)];
}

QHash<QString, QString> CaptionDataTable::valuesFor(const QString& photoPath) const {
    const CaptionDataRow* row = rowFor(photoPath);
    QHash<QString, QString> values;
    for (qsizetype i = 0; i < columns.size(); ++i)
        values.insert(columns[i], row != nullptr ? row->values.value(i) : QString());
    return values;
}

CaptionDataRead parseCaptionData(const QByteArray& bytes, const QString& path) {
    CaptionDataRead result;
    const QString name = QDir::toNativeSeparators(path);
    const auto refuse = [&](const QString& reason) {
        CaptionDataRead refused;
        refused.message =
            QStringLiteral("Could not read the caption data \"%1\": %2.").arg(name, reason);
        return refused;
    };
    if (const qsizetype nul = bytes.indexOf('\0'); nul >= 0)
        return refuse(QStringLiteral("line %1 holds a NUL byte; it is not a text table")
                          .arg(lineOfByte(bytes, nul)));
    QByteArrayView body(bytes);
    if (body.startsWith("\xEF\xBB\xBF"))
        body = body.sliced(3);
    const std::string_view raw(body.data(), static_cast<std::size_t>(body.size()));
    QString text;
    if (isUtf8(raw)) {
        text = QString::fromUtf8(body);
    } else {
        text = decodeDescription(raw);
        result.warnings
            << QStringLiteral("%1 is not UTF-8; it was read as Windows-1252.").arg(name);
    }

    std::vector<Record> records;
    const QChar separator = separatorOf(text, path);
    if (QString problem = RecordReader(text, separator).read(records); !problem.isEmpty())
        return refuse(problem);
    if (records.empty())
        return refuse(QStringLiteral("it is empty; its first line must be a header such as "
                                     "\"photo,Title\""));
    const Record& header = records.front();
    if (namesPhoto(header.cells.front().trimmed()))
        return refuse(QStringLiteral("line 1 names a photo (\"%1\"); the first line must be a "
                                     "header such as \"photo,Title\"")
                          .arg(header.cells.front().trimmed()));
    if (header.cells.size() < 2)
        return refuse(QStringLiteral("line 1, the header, names no column besides the photos'"));

    CaptionDataTable& table = result.table;
    table.path = path;
    for (qsizetype i = 1; i < header.cells.size(); ++i) {
        QString column = header.cells[i].trimmed();
        if (column.size() > 2 && column.startsWith(u'{') && column.endsWith(u'}')) {
            column = column.mid(1, column.size() - 2);
            result.warnings << QStringLiteral("%1: the header \"{%2}\" is taken as {%2}; a header "
                                              "is written without braces.")
                                   .arg(table.where(1), column);
        }
        if (column.isEmpty())
            return refuse(QStringLiteral("line 1: column %1 has no header").arg(i + 1));
        if (column.contains(u'{') || column.contains(u'}'))
            return refuse(QStringLiteral("line 1: the header \"%1\" holds a brace, which no "
                                         "placeholder can name")
                              .arg(column));
        if (table.columns.contains(column))
            return refuse(QStringLiteral("line 1: two columns are named \"%1\"").arg(column));
        table.columns << column;
    }

    QHash<QString, int> firstLine;
    for (std::size_t r = 1; r < records.size(); ++r) {
        const Record& record = records[r];
        if (record.cells.size() != header.cells.size())
            return refuse(QStringLiteral("line %1 has %2 cells where the header has %3")
                              .arg(record.line)
                              .arg(record.cells.size())
                              .arg(header.cells.size()));
        const QString photo = QDir::cleanPath(record.cells.front().trimmed());
        if (record.cells.front().trimmed().isEmpty()) {
            result.warnings << QStringLiteral("%1 names no photo; it was left out.")
                                   .arg(table.where(record.line));
            continue;
        }
        if (const auto first = firstLine.constFind(photo); first != firstLine.constEnd()) {
            result.warnings << QStringLiteral("%1 names \"%2\" again; the row on line %3 is used.")
                                   .arg(table.where(record.line), photo)
                                   .arg(*first);
            continue;
        }
        firstLine.insert(photo, record.line);
        table.rows.push_back({photo, record.line, record.cells.mid(1)});
    }
    table.buildIndex();
    result.ok = true;
    return result;
}

CaptionDataRead readCaptionData(const QString& path) {
    const auto refuse = [&](const QString& reason) {
        CaptionDataRead refused;
        refused.message = QStringLiteral("Could not read the caption data \"%1\": %2.")
                              .arg(QDir::toNativeSeparators(path), reason);
        return refused;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(file.errorString());
    if (file.size() > kMaxCaptionDataFileBytes)
        return refuse(QStringLiteral("it is larger than a caption data table can be (64 MB)"));
    const QByteArray bytes = file.read(kMaxCaptionDataFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return refuse(file.errorString());
    if (bytes.size() > kMaxCaptionDataFileBytes)
        return refuse(QStringLiteral("it is larger than a caption data table can be (64 MB)"));
    return parseCaptionData(bytes, path);
}
