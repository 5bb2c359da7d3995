#pragma once

#include "document/DocumentModel.h"

#include <QFrame>
#include <QTimer>

class QLabel;
class QProgressBar;
class QPushButton;

// What a running open or save shows over the view: what it is doing, how far
// it has come, and a button that cancels it. It follows the model's job
// signals by itself and shows only for a job that lasts longer than a
// moment. A save that is writing its file can no longer be cancelled.
class JobProgress : public QFrame {
    Q_OBJECT

public:
    // `model` must outlive the widget.
    JobProgress(DocumentModel* model, QWidget* parent = nullptr);

    QPushButton* cancelButton() const { return cancel_; }
    QString text() const;
    int value() const;
    // The window waits for the save before it closes, and says so.
    void setClosing(bool closing);
    // Places the widget at the bottom centre of `over` (in the parent's
    // coordinates).
    void placeOver(const QRect& over);

    // How long a job runs before the widget shows.
    static constexpr int kShowAfterMs = 250;

private:
    void started(DocumentJob job, const QString& path);
    void stageChanged(JobStage stage);
    void finished();

    DocumentModel* model_;
    QLabel* label_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QTimer showTimer_;
    QString name_;
    bool closing_ = false;
    QRect over_;
};
