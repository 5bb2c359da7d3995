// The whole captioning job on a 24-megapixel photograph, and its stages:
// open, paint into the window's view, save. Beside it, in the same run, the
// same input through djpeg | cjpeg (decode and encode and nothing else: the
// floor) and through ImageMagick doing the same job. The ratios printed at
// the end are what to compare: the machine is shared.
#include "bench/CaptionJob.h"
#include "bench/PhotoFixture.h"
#include "bench/RatioReporter.h"

#include "captions/DocumentModel.h"
#include "captions/PicturePipeline.h"
#include "ui/CanvasFit.h"
#include "ui/CaptionDialog.h"
#include "ui/ImageControl.h"

#include <QApplication>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace bs = bench_support;

namespace {
// The view's size in a 900 x 675 window.
constexpr int kViewWidth = 880;
constexpr int kViewHeight = 555;

QString Input() {
    return QString::fromStdString(bs::PhotoJpegPath());
}

// Every output goes here, so that a run leaves nothing behind.
const QTemporaryDir& Scratch() {
    static const QTemporaryDir dir;
    return dir;
}

QString Output(const char* name) {
    return Scratch().filePath(QString::fromLatin1(name));
}

// The photo opened once with the job's captions, for the stage benchmarks.
PictureDocument& CaptionedDocument() {
    static PictureDocument* document = [] {
        auto* d = new PictureDocument;
        if (openPicture(*d, Input()).ok) {
            bs::AddJobCaptions(*d);
        }
        return d;
    }();
    return *document;
}

// Runs a command line through the shell; false unless it exits with 0.
bool Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return status == 0;
}

// Our paths hold no quote, so single quotes are enough for the shell.
std::string Quoted(const QString& path) {
    std::string quoted(1, '\'');
    quoted += path.toStdString();
    quoted += '\'';
    return quoted;
}

void BM_Open(benchmark::State& state) {
    const QString input = Input();
    for (auto _ : state) {
        PictureDocument document;
        const PipelineResult result = openPicture(document, input);
        if (!result.ok) {
            state.SkipWithError(result.message.toUtf8().constData());
            break;
        }
        benchmark::DoNotOptimize(document.picture.constBits());
    }
}

// One whole paint of the window's view: the captions rendered at full
// size, scaled into the view's off-screen buffer and copied out. The copy
// goes into an image the size of the view, as it would into the window.
void BM_Paint(benchmark::State& state) {
    static DocumentModel* model = new DocumentModel;
    static CImageControl* view = [] {
        auto* v = new CImageControl(model);
        v->resize(kViewWidth, kViewHeight);
        if (model->open(Input()).ok) {
            for (const Caption& caption : bs::JobCaptions())
                model->addCaption(caption);
        }
        return v;
    }();
    if (!model->document().hasPicture()) {
        state.SkipWithError("the photo did not open");
        return;
    }
    QImage window(view->size(), QImage::Format_RGB32);
    window.fill(Qt::black);
    view->render(&window);
    // The middle of the view shows the photo, not the workspace colour.
    if (window.pixel(kViewWidth / 2, kViewHeight / 2) ==
        view->palette().color(QPalette::Dark).rgb()) {
        state.SkipWithError("the view painted no picture");
        return;
    }
    for (auto _ : state) {
        view->render(&window);
        benchmark::DoNotOptimize(window.constBits());
    }
}

// What "Add Caption" or "Edit Caption" costs before the person sees the
// dialog: every control built from its template, the caption shown in them,
// and one paint of the whole dialog.
void BM_CaptionDialog(benchmark::State& state) {
    Caption caption;
    caption.text = QStringLiteral("Harbour morning\r\nthe cruise ship at the pier");
    caption.disposition = Disposition::TopBand;
    for (auto _ : state) {
        CCaptionDialog dialog(caption);
        QImage shown(dialog.size(), QImage::Format_RGB32);
        dialog.render(&shown);
        benchmark::DoNotOptimize(shown.constBits());
    }
}

// The floor of a paint: the bare photo scaled into a view-sized image, no
// captions rendered.
void BM_ScaleOnly(benchmark::State& state) {
    const PictureDocument& document = CaptionedDocument();
    if (!document.hasPicture()) {
        state.SkipWithError("the photo did not open");
        return;
    }
    QImage window(kViewWidth, kViewHeight, QImage::Format_RGB32);
    const QRect fitted = fitCanvas(document.width, document.height, kViewWidth, kViewHeight);
    for (auto _ : state) {
        QPainter painter(&window);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(fitted, document.picture);
        painter.end();
        benchmark::DoNotOptimize(window.constBits());
    }
}

void BM_Save(benchmark::State& state) {
    PictureDocument& document = CaptionedDocument();
    const QString output = Output("save.jpg");
    for (auto _ : state) {
        const PipelineResult result = savePicture(document, output);
        if (!result.ok) {
            state.SkipWithError(result.message.toUtf8().constData());
            break;
        }
    }
}

void BM_Job(benchmark::State& state) {
    const QString input = Input();
    const QString output = Output("job.jpg");
    for (auto _ : state) {
        const PipelineResult result = bs::RunCaptionJob(input, output);
        if (!result.ok) {
            state.SkipWithError(result.message.toUtf8().constData());
            break;
        }
    }
}

void BM_DjpegCjpeg(benchmark::State& state) {
    const std::string command = "djpeg " + Quoted(Input()) + " | cjpeg -quality 90 -sample 2x2 > " +
                                Quoted(Output("djpeg-cjpeg.jpg"));
    for (auto _ : state) {
        if (!Shell(command)) {
            state.SkipWithError("djpeg | cjpeg failed");
            break;
        }
    }
}

// The job's two bands and three texts, at the same quality and chroma
// subsampling as our encoder (ImageMagick keeps full chroma from quality 90
// up unless told otherwise).
void BM_ImageMagick(benchmark::State& state) {
    const std::string command =
        "convert " + Quoted(Input()) +
        " -background white -gravity north -splice 0x135"
        " -background '#202030' -gravity south -splice 0x135"
        " -pointsize 120"
        " -font Liberation-Sans-Bold -fill black -gravity north -annotate +0+0"
        " 'Lake Bled at dawn, seen from the castle terrace'"
        " -font Liberation-Sans -fill white -gravity southwest -annotate +0+0"
        " 'Photo: Marta Kovač, 14 May 2024 — all rights reserved'"
        " -fill yellow -gravity southeast -annotate +200+300"
        " 'Morning mist over the island church\\nf/8, 1/250 s'"
        " -quality 90 -sampling-factor 2x2 " +
        Quoted(Output("imagemagick.jpg"));
    for (auto _ : state) {
        if (!Shell(command)) {
            state.SkipWithError("ImageMagick's convert failed");
            break;
        }
    }
}

// The job and its references first and side by side, so that their ratios
// see the same machine load.
BENCHMARK(BM_DjpegCjpeg)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime()->Repetitions(3);
BENCHMARK(BM_Job)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime()->Repetitions(3);
BENCHMARK(BM_ImageMagick)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime()->Repetitions(3);
BENCHMARK(BM_Open)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime()->Repetitions(3);
BENCHMARK(BM_ScaleOnly)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime()->Repetitions(3);
BENCHMARK(BM_Paint)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime()->Repetitions(3);
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime()->Repetitions(3);
BENCHMARK(BM_CaptionDialog)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1)
    ->UseRealTime()
    ->Repetitions(3);
} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bs::PreferOffscreenPlatform();
    QApplication app(argc, argv);
    if (!Scratch().isValid()) {
        std::fprintf(stderr, "cannot make a temporary folder for the outputs\n");
        return 1;
    }
    bs::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\nMedians, same run:\n");
    for (const char* name :
         {"BM_Open", "BM_ScaleOnly", "BM_Paint", "BM_Save", "BM_Job", "BM_CaptionDialog"}) {
        if (const auto ms = reporter.Median(name)) {
            std::printf("%-18s %.1f ms\n", name, *ms);
        }
    }
    std::printf("\nRatios of medians, same run:\n");
    reporter.PrintRatio("BM_Job", "BM_DjpegCjpeg", "of djpeg | cjpeg (goal <= 1.5x)");
    reporter.PrintRatio("BM_ImageMagick", "BM_Job", "of the job (goal >= 4x)");
    reporter.PrintRatio("BM_Paint", "BM_ScaleOnly", "of scaling the bare photo into the view");
    reporter.PrintRatio("BM_CaptionDialog", "BM_Paint", "of one paint of the view");
    std::remove(bs::PhotoJpegPath().c_str());
    benchmark::Shutdown();
    return 0;
}
