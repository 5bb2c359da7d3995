#pragma once

#include "metadata/PhotoFacts.h"

#include <QHash>
#include <QLocale>
#include <QSize>
#include <QString>

#include <vector>

// Placeholders in caption text, such as {date} or {camera}, filled in from
// the photo when the caption is drawn and when its text becomes the
// description. "{{" and "}}" stand for literal braces; a name that is not a
// placeholder stays as written, braces included. {date:FORMAT} and
// {time:FORMAT} give the date taken in Qt's date and time patterns, month
// and day names in `locale`'s language.

// What the placeholders are filled in with.
struct PlaceholderValues {
    PhotoFacts facts;
    QString fileName;    // without the folder
    QString description; // the photo's description
    QSize size;          // the opened picture, upright
    // The photo's row of a caption data table: column header -> value. A
    // column stands before a placeholder of the same name.
    QHash<QString, QString> columns;
    QLocale locale; // the system's language unless set otherwise
};

// One placeholder, for the caption dialog's list: "{name}" and what it shows.
struct PlaceholderInfo {
    const char* name;
    const char* meaning;
};
const std::vector<PlaceholderInfo>& placeholderList();

QString substitutePlaceholders(const QString& text, const PlaceholderValues& values);
