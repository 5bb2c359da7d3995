#pragma once

#include "metadata/PhotoFacts.h"

#include <QString>

#include <vector>

// Placeholders in caption text, such as {date} or {camera}, filled in from
// the photo when the caption is drawn and when its text becomes the
// description. "{{" and "}}" stand for literal braces; a name that is not a
// placeholder stays as written, braces included.

// What the placeholders are filled in with.
struct PlaceholderValues {
    PhotoFacts facts;
    QString fileName;    // without the folder
    QString description; // the photo's description
};

// One placeholder, for the caption dialog's list: "{name}" and what it shows.
struct PlaceholderInfo {
    const char* name;
    const char* meaning;
};
const std::vector<PlaceholderInfo>& placeholderList();

QString substitutePlaceholders(const QString& text, const PlaceholderValues& values);
