#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

// Stands in for the desktop's browser while it lives: every http or https
// address the program asks QDesktopServices to open is recorded here
// instead of being opened.
class UrlRecorder : public QObject {
    Q_OBJECT

public:
    UrlRecorder();
    ~UrlRecorder() override;

    const QList<QUrl>& urls() const { return urls_; }

public slots:
    void record(const QUrl& url);

private:
    QList<QUrl> urls_;
};
