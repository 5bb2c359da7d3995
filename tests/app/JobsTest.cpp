// Open and save as jobs off the window's thread: cancelled, replaced or waited for.
#include "resources/MainMenu.h"
#include "tests/app/FrameDriver.h"
#include "tests/support/WhenModal.h"
#include "ui/JobProgress.h"

#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <functional>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

// 4000 x 3000 in two colours: large enough that each stage of a job lasts
// while the test acts on it.
void WriteBigPhoto(const fs::path& path) {
    QImage picture(4000, 3000, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    for (int y = 0; y < picture.height(); ++y)
        std::fill_n(reinterpret_cast<QRgb*>(picture.scanLine(y)), 2000, qRgb(220, 0, 0));
    ASSERT_TRUE(picture.save(Q(path), "JPEG", 80));
}

// The rows' actions reach the window and the folder from outside the test.
class JobsTest : public WindowTest {
public:
    using WindowTest::dir;
    using WindowTest::frame;
    void SetUp() override {
        frame->resize(900, 675);
        WriteBigPhoto(dir.file("big.jpg"));
        WriteJpeg(dir.file("small.jpg"), 64, 48, Qt::darkGreen);
        Caption caption;
        caption.text = QStringLiteral("Kept");
        caption.disposition = Disposition::BottomBand;
        frame->model()->addCaption(caption);
        ASSERT_TRUE(OpenAndWait(*frame, Q(dir.file("small.jpg"))));
    }
    // Runs `act` once the running job reaches `stage` (at once when it is there).
    void atStage(JobStage stage, const std::function<void()>& act) {
        DocumentModel* model = frame->model();
        if (model->jobStage() == stage) {
            act();
            return;
        }
        auto done = std::make_shared<bool>(false);
        QObject::connect(model, &DocumentModel::jobStageChanged, frame.get(),
                         [stage, act, done](JobStage now) {
                             if (now == stage && !*done) {
                                 *done = true;
                                 act();
                             }
                         });
    }
    // Lets every worker end, dropped ones included, and their reports arrive.
    void settle() {
        FinishJob(*frame);
        frame->model()->waitForJobs();
        QCoreApplication::processEvents();
    }
    void escape() { QTest::keyClick(frame.get(), Qt::Key_Escape); }
    void cancelButton() { frame->jobProgress()->cancelButton()->click(); }
};

TEST_F(JobsTest, CancelledOrReplacedOpensKeepOrReplaceTheWholeDocument) {
    struct Row {
        const char* name;
        JobStage stage;
        std::function<void(JobsTest&)> act;
        const char* expectedFile; // the picture the window ends with
    };
    const std::vector<Row> rows = {
        {"Cancel button while reading", JobStage::Reading, [](JobsTest& t) { t.cancelButton(); },
         "small.jpg"},
        {"Escape while decoding", JobStage::Decoding, [](JobsTest& t) { t.escape(); }, "small.jpg"},
        {"a later open while reading", JobStage::Reading,
         [](JobsTest& t) { t.frame->openPath(Q(t.dir.file("other.jpg"))); }, "other.jpg"},
    };
    WriteJpeg(dir.file("other.jpg"), 30, 60, Qt::yellow);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(OpenAndWait(*frame, Q(dir.file("small.jpg"))));
        QSignalSpy opened(frame->model(), &DocumentModel::openFinished);
        ASSERT_TRUE(frame->openPath(Q(dir.file("big.jpg"))));
        atStage(row.stage, [&] { row.act(*this); });
        settle();
        const PictureDocument& document = frame->model()->document();
        EXPECT_EQ(frame->model()->path(), Q(dir.file(row.expectedFile)));
        EXPECT_NE(document.width(), 4000u) << "the dropped open's picture never arrives";
        EXPECT_EQ(document.captions.count(), 1);
        EXPECT_TRUE(frame->addButton()->isEnabled());
        EXPECT_EQ(opened.size(), row.expectedFile == std::string("small.jpg") ? 0 : 1);
    }
}

TEST_F(JobsTest, CancelledOrFailedSavesLeaveTheTargetAsItWas) {
    struct Row {
        const char* name;
        JobStage stage;
        std::function<void(JobsTest&)> act;
        bool written;
        const char* message; // the start of the message shown, if any
    };
    const std::vector<Row> rows = {
        {"Cancel button while drawing", JobStage::Rendering, [](JobsTest& t) { t.cancelButton(); },
         false, nullptr},
        {"Escape while encoding", JobStage::Encoding, [](JobsTest& t) { t.escape(); }, false,
         nullptr},
        {"the folder removed while encoding", JobStage::Encoding,
         [](JobsTest& t) { fs::rename(t.dir.file("out"), t.dir.file("moved")); }, false,
         "Could not save"},
        {"too late to cancel while writing", JobStage::Writing,
         [](JobsTest& t) {
             EXPECT_FALSE(t.frame->jobProgress()->cancelButton()->isEnabled());
             t.escape();
         },
         true, nullptr},
    };
    ASSERT_TRUE(OpenAndWait(*frame, Q(dir.file("big.jpg"))));
    frame->model()->addCaption(*frame->model()->document().captions.at(0));
    const std::vector<std::uint8_t> existing{'o', 'l', 'd'};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(dir.file("moved"));
        fs::create_directory(dir.file("out"));
        const fs::path target = dir.file("out") / "copy.jpg";
        WriteBytes(target, existing);
        const bool modifiedBefore = frame->isWindowModified();
        QString message;
        QPointer<QTimer> answer = WhenModal<QMessageBox>([&message](QMessageBox* box) {
            message = box->text();
            box->accept();
        });
        // Encoded again whole, so that the encoding lasts long enough for a
        // key or click to land in it; a save that keeps the photo's blocks
        // is through it at once.
        SaveChoices slow;
        slow.quality = PictureQuality{false, 90};
        ASSERT_TRUE(frame->model()->startSave(Q(target), slow));
        atStage(row.stage, [&] { row.act(*this); });
        settle();
        delete answer.data();
        EXPECT_TRUE(row.message ? message.startsWith(row.message) : message.isEmpty())
            << message.toStdString();
        if (fs::exists(target)) {
            EXPECT_EQ(ReadBytes(target) != existing, row.written);
        } else {
            EXPECT_TRUE(row.message != nullptr) << "the file went away";
        }
        // Nothing but the target in the folder: no temporary file left.
        const fs::path folder = fs::exists(dir.file("out")) ? dir.file("out") : dir.file("moved");
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
        EXPECT_EQ(frame->isWindowModified(), !row.written && modifiedBefore);
        fs::remove_all(dir.file("out"));
    }
}

TEST_F(JobsTest, ClosingDuringASaveWaitsForTheFileAndThenCloses) {
    ASSERT_TRUE(OpenAndWait(*frame, Q(dir.file("big.jpg"))));
    ASSERT_TRUE(frame->model()->startSave(Q(dir.file("copy.jpg"))));
    EXPECT_FALSE(frame->close());
    EXPECT_TRUE(frame->isVisible());
    FinishJob(*frame);
    EXPECT_FALSE(frame->isVisible());
    EXPECT_EQ(
        testing_support::Run("djpeg -pnm " + Quote(dir.file("copy.jpg").string()) + " | head -c 7")
            .output,
        "P6\n4000");
}

} // namespace
