#pragma once

#include <QRect>
#include <QString>
#include <QUrl>

#include <ostream>

// Readable GoogleTest failure messages for the Qt values tests compare.
inline void PrintTo(const QString& value, std::ostream* out) {
    *out << '"' << value.toStdString() << '"';
}
inline void PrintTo(const QUrl& value, std::ostream* out) {
    *out << value.toString().toStdString();
}
inline void PrintTo(const QRect& value, std::ostream* out) {
    *out << value.width() << 'x' << value.height() << '+' << value.x() << '+' << value.y();
}
