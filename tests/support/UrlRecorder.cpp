#include "tests/support/UrlRecorder.h"

#include <QDesktopServices>

UrlRecorder::UrlRecorder() {
    QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "record");
    QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "record");
}

UrlRecorder::~UrlRecorder() {
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
}

void UrlRecorder::record(const QUrl& url) {
    urls_.append(url);
}
