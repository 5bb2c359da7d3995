#include "ui/JobProgress.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <array>

namespace {

struct StageRow {
    JobStage stage;
    int step;  // how far along the job's bar
    int steps; // of how many
    const char* text;
};

constexpr std::array<StageRow, 5> kStages{{
    {JobStage::Reading, 0, 2, "Reading \"%1\"..."},
    {JobStage::Decoding, 1, 2, "Decoding \"%1\"..."},
    {JobStage::Rendering, 0, 3, "Drawing the captions for \"%1\"..."},
    {JobStage::Encoding, 1, 3, "Encoding \"%1\"..."},
    {JobStage::Writing, 2, 3, "Writing \"%1\"..."},
}};

const StageRow& rowOf(JobStage stage) {
    for (const StageRow& row : kStages) {
        if (row.stage == stage)
            return row;
    }
    return kStages[0];
}

} // namespace

JobProgress::JobProgress(DocumentModel* model, QWidget* parent) : QFrame(parent), model_(model) {
    setObjectName(QStringLiteral("jobProgress"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    label_ = new QLabel(this);
    bar_ = new QProgressBar(this);
    bar_->setTextVisible(false);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setObjectName(QStringLiteral("cancelJob"));
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(label_, 1);
    layout->addWidget(bar_);
    layout->addWidget(cancel_);
    hide();
    showTimer_.setSingleShot(true);
    showTimer_.setInterval(kShowAfterMs);
    connect(&showTimer_, &QTimer::timeout, this, [this] {
        placeOver(over_);
        show();
        raise();
    });
    connect(cancel_, &QPushButton::clicked, model_, &DocumentModel::cancelJob);
    connect(model_, &DocumentModel::jobStarted, this, &JobProgress::started);
    connect(model_, &DocumentModel::jobStageChanged, this, &JobProgress::stageChanged);
    connect(model_, &DocumentModel::jobFinished, this, &JobProgress::finished);
}

QString JobProgress::text() const {
    return label_->text();
}

int JobProgress::value() const {
    return bar_->value();
}

void JobProgress::started(DocumentJob, const QString& path) {
    name_ = QFileInfo(path).fileName();
    closing_ = false;
    stageChanged(model_->jobStage());
    if (!isVisible())
        showTimer_.start();
}

void JobProgress::stageChanged(JobStage stage) {
    const StageRow& row = rowOf(stage);
    QString text = QString::fromUtf8(row.text).arg(name_);
    if (closing_)
        text += QStringLiteral(" The window closes when the save is done.");
    label_->setText(text);
    bar_->setRange(0, row.steps);
    bar_->setValue(row.step);
    // The file is being renamed into place: too late to stop it cleanly.
    cancel_->setEnabled(stage != JobStage::Writing);
}

void JobProgress::finished() {
    showTimer_.stop();
    hide();
    closing_ = false;
}

void JobProgress::setClosing(bool closing) {
    closing_ = closing;
    if (model_->runningJob() != DocumentJob::None)
        stageChanged(model_->jobStage());
}

void JobProgress::placeOver(const QRect& over) {
    over_ = over;
    const int width = std::min(over.width(), 560);
    const int height = sizeHint().height();
    setGeometry(over.left() + (over.width() - width) / 2, over.bottom() - height - 10, width,
                height);
}
