#include "ui/OpenAddress.h"

#include <QDesktopServices>
#include <QUrl>

void openAddress(const QString& address) {
    QDesktopServices::openUrl(QUrl(address));
}
