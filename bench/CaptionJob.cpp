#include "bench/CaptionJob.h"

#include "captions/Caption.h"
#include "pipeline/CaptionJob.h"

#include <QtGlobal>

namespace bench_support {

void PreferOffscreenPlatform() {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
}

namespace {
Caption jobCaption(const QString& text, std::int32_t disposition, std::int32_t weight) {
    Caption caption;
    caption.text = text;
    caption.sizeUnit = SizeUnit::Pixels;
    caption.font.height = -120;
    caption.font.weight = weight;
    caption.disposition = disposition;
    return caption;
}
} // namespace

std::vector<Caption> JobCaptions() {
    std::vector<Caption> captions;
    Caption title = jobCaption(QStringLiteral("Lake Bled at dawn, seen from the castle terrace"),
                               Disposition::TopBand, 700);
    title.horizontalAlignment = HorizontalAlignment::Center;
    captions.push_back(title);

    Caption credit =
        jobCaption(QStringLiteral("Photo: Marta Kovač, 14 May 2024 \u2014 all rights reserved"),
                   Disposition::BottomBand, 400);
    credit.textColor = 0x00FFFFFF;
    credit.backgroundColor = 0x00302020;
    captions.push_back(credit);

    Caption note = jobCaption(QStringLiteral("Morning mist over the island church\r\nf/8, 1/250 s"),
                              Disposition::OnImage, 400);
    note.textColor = 0x0000FFFF; // yellow
    note.horizontalAlignment = HorizontalAlignment::Right;
    note.verticalAlignment = VerticalAlignment::Bottom;
    note.marginLeft = 200;
    note.marginTop = 200;
    note.marginRight = 200;
    note.marginBottom = 160;
    captions.push_back(note);
    return captions;
}

void AddJobCaptions(PictureDocument& document) {
    for (const Caption& caption : JobCaptions())
        document.captions.append(caption);
}

PipelineResult RunCaptionJob(const QString& input, const QString& output) {
    CaptionList captions;
    for (const Caption& caption : JobCaptions())
        captions.append(caption);
    CaptionJob job;
    job.photo = input;
    job.output = output;
    job.overwrite = true;
    job.quality = PictureQuality{false, 90};
    return runCaptionJob(job, captions);
}

bool RunCaptionJobKeepingMetadata(const QString& input, const QString& output, QString& error) {
    const PipelineResult result = RunCaptionJob(input, output);
    if (!result.ok || !result.note.isEmpty()) {
        error = result.ok ? result.note : result.message;
        return false;
    }
    return true;
}

const QTemporaryDir& Scratch() {
    static const QTemporaryDir dir;
    return dir;
}

QString ScratchPath(const char* name) {
    return Scratch().filePath(QString::fromLatin1(name));
}

} // namespace bench_support
