#pragma once

#include <QString>
#include <QStringList>

// Icon 107, the program's icon, drawn at several sizes (Qt resource paths).
constexpr int kProgramIconId = 107;

inline QStringList programIconFiles() {
    QStringList files;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        files << QStringLiteral(":/icons/lumora-%1.png").arg(size);
    return files;
}
