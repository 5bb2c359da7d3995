#include "ui/ProgramIcon.h"

#include "resources/Icons.h"

QIcon programIcon() {
    QIcon icon;
    for (const QString& file : programIconFiles())
        icon.addFile(file);
    return icon;
}
