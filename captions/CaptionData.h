#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// Caption data: a CSV or TSV table whose first column names photos and whose
// other columns become placeholders by their header ({Price}, {Model name}).
// UTF-8 with or without a byte order mark; bytes that are not UTF-8 are read
// as Windows-1252. Quoting as RFC 4180: a quoted cell may hold separators,
// line breaks and doubled quotes.

// The limits past which a file is refused rather than read.
constexpr qsizetype kMaxCaptionDataRows = 100000;
constexpr qsizetype kMaxCaptionDataColumns = 1000;
constexpr qsizetype kMaxCaptionDataCellChars = 65536;
constexpr qint64 kMaxCaptionDataFileBytes = 64 << 20;

struct CaptionDataRow {
    QString photo;      // as the table names it: a file name or a path relative to the table
    int line = 0;       // where its record starts, from 1
    QStringList values; // one for each of the table's columns
};

class CaptionDataTable {
public:
    // The file the table came from, for messages, and its folder, for
    // photos named by a relative path.
    QString path;
    // The placeholder names, the headers of columns 2 and on.
    QStringList columns;
    // Rows in file order, without repeats of a photo's name (the first is
    // kept).
    std::vector<CaptionDataRow> rows;

    // The row for a photo: one naming its path (relative to the table's
    // folder) first, else one naming its file name.
    const CaptionDataRow* rowFor(const QString& photoPath) const;
    // The row's values by column header; without a row, every column empty.
    QHash<QString, QString> valuesFor(const QString& photoPath) const;
    // "photos.csv, line 7", for messages.
    QString where(int line) const;
    // Indexes the rows for rowFor(); called once they are in place.
    void buildIndex();

private:
    QHash<QString, qsizetype> byPath_; // absolute, for rows naming a path
    QHash<QString, qsizetype> byName_; // for rows naming a file name
};

// A table read, or why it was refused: `message` names the file, the line
// and the reason, and `table` is then empty. `warnings` are things that were
// skipped or chosen (a repeated photo name, braces around a header); each
// names the file and line.
struct CaptionDataRead {
    bool ok = false;
    QString message;
    QStringList warnings;
    CaptionDataTable table;
};

CaptionDataRead parseCaptionData(const QByteArray& bytes, const QString& path);
CaptionDataRead readCaptionData(const QString& path);
