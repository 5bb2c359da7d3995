// The preview canvas drawn again only where the working caption reaches
// gives, change after change, exactly the canvas a whole render gives.
#include "ui/PreviewCanvas.h"
#include "captions/PictureDocument.h"

#include <QImage>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

PictureDocument Document() {
    PictureDocument document;
    document.picture = QImage(480, 320, QImage::Format_RGB32);
    // A gradient, so that a pixel put back from the wrong place shows.
    for (int y = 0; y < 320; ++y) {
        for (int x = 0; x < 480; ++x)
            document.picture.setPixel(x, y, qRgb(x / 2, y * 3 / 4, (x + y) % 256));
    }
    document.description = QStringLiteral("From the camera");
    return document;
}

Caption OnImage(const QString& text, int em = -36) {
    Caption caption;
    caption.text = text;
    caption.sizeUnit = SizeUnit::Pixels;
    caption.font.height = em;
    caption.textColor = 0x0000FFFF;
    return caption;
}

// Steps a person takes in the caption dialog, each a change of the working
// caption; the outline, the shadow and the box turned on, moved about and
// off again: what a caption reaches grows with each.
std::vector<std::function<void(Caption&)>> Steps() {
    return {
        [](Caption& c) { c.text = QStringLiteral("W"); },
        [](Caption& c) { c.text += QStringLiteral("ide caption, wrapping over lines"); },
        [](Caption& c) { c.marginLeft = 60; },
        [](Caption& c) { c.horizontalAlignment = HorizontalAlignment::Right; },
        [](Caption& c) { c.verticalAlignment = VerticalAlignment::Bottom; },
        [](Caption& c) { c.font.height = -60; },
        [](Caption& c) { c.marginTop = -40; }, // reaching into the top band
        [](Caption& c) { c.useDescriptionAsText = true; },
        [](Caption& c) { c.disposition = Disposition::BottomBand; }, // a whole render
        [](Caption& c) { c.disposition = Disposition::OnImage; },
        [](Caption& c) { c.useTextAsDescription = true; }, // a whole render
        [](Caption& c) { c.useTextAsDescription = false, c.text.chop(10); },
        [](Caption& c) { c.text.clear(); },
        [](Caption& c) { c.text = QStringLiteral("Styled caption, wrapping over lines"); },
        [](Caption& c) { c.outline.enabled = true, c.outline.width = 6; },
        [](Caption& c) { c.shadow = {true, 14, 11, 9, c.shadow.color, c.shadow.opacity}; },
        // Reaching into the top band, which clips it.
        [](Caption& c) { c.shadow.offsetX = -25, c.shadow.offsetY = -30; },
        [](Caption& c) { c.box.enabled = true, c.box.padding = 30; },
        [](Caption& c) {
            c.outline = {true, 1.5, SizeUnit::PercentOfPicture, c.outline.color};
        },
        [](Caption& c) { c.sizeUnit = SizeUnit::PercentOfPicture; },
        [](Caption& c) { c.shadow.enabled = false, c.box.enabled = false; },
        [](Caption& c) { c.outline.enabled = false; },
    };
}

class PreviewCanvasTest : public testing::Test {
protected:
    void SetUp() override {
        Caption band;
        band.text = QStringLiteral("Top band");
        band.disposition = Disposition::TopBand;
        band.sizeUnit = SizeUnit::Pixels;
        band.font.height = -30;
        band.backgroundColor = 0x00303030;
        document.captions.append(band);
        document.captions.append(OnImage(QStringLiteral("Listed one"), -48));
        Caption shows = OnImage(QString(), -28);
        shows.useDescriptionAsText = true;
        shows.verticalAlignment = VerticalAlignment::Center;
        document.captions.append(shows);
    }
    PictureDocument document = Document();
    QImage documentCanvas;
    std::function<const QImage&()> base = [this]() -> const QImage& {
        if (documentCanvas.isNull())
            documentCanvas = renderCaptions(document);
        return documentCanvas;
    };
    PreviewCanvas preview;
};

TEST_F(PreviewCanvasTest, AnAddedOrEditedCaptionMatchesAWholeRenderAfterEveryChange) {
    struct Row {
        const char* name;
        std::int32_t replaces;
        bool laterOneStyled;
    };
    // The edited caption (1) lies under the one that shows the description.
    // Each row starts afresh from the last: another caption edited, then
    // the document changed.
    const auto steps = Steps();
    for (const Row& row : {Row{"added", -1, false}, Row{"edited", 1, false},
                           Row{"edited, under a styled one", 1, true}}) {
        SCOPED_TRACE(row.name);
        if (row.laterOneStyled) {
            Caption* later = document.captions.at(2);
            later->outline.enabled = later->shadow.enabled = later->box.enabled = true;
            documentCanvas = QImage();
            preview.invalidate();
        }
        Caption working = row.replaces < 0 ? OnImage(QString()) : *document.captions.at(1);
        for (std::size_t step = 0; step < steps.size(); ++step) {
            steps[step](working);
            const WorkingCaption shown{&working, row.replaces};
            ASSERT_EQ(preview.update(document, shown, base), renderCaptions(document, shown))
                << "after step " << step;
        }
    }
    EXPECT_EQ(document.captions.count(), 3);
}

TEST_F(PreviewCanvasTest,
       TypingInABandCaptionDrawsOnlyItsStripEvenAsItGrowsAndMatchesAWholeRender) {
    // An on-image caption that reaches into the top band, as another
    // caption's ink the strip must take in again.
    document.captions.at(1)->marginTop = -20;
    Caption band = *document.captions.at(0);
    band.outline.enabled = true;
    band.outline.width = 2;
    const WorkingCaption shown{&band, 0};
    const QImage photo = document.picture;
    QImage white = photo;
    white.fill(Qt::white);
    // The last ones add a line and take it away: the strip grows and
    // shrinks, and the photo below it moves without being drawn again.
    for (const char* typed : {"Top band!", "Top band!!", "Top bend!!", "Top bend!!\nTwo",
                              "Top bend!!\nTwo lines", "Top bend!"}) {
        SCOPED_TRACE(typed);
        band.text = QString::fromUtf8(typed);
        const QImage previewed = preview.update(document, shown, base);
        // Compared with a whole render of the photo the preview began with.
        document.picture = photo;
        ASSERT_EQ(previewed, renderCaptions(document, shown));
        // The photo changes behind the preview's back: were it drawn again
        // at the next keystroke, it would show white.
        document.picture = white;
    }
    document.picture = photo;
}

} // namespace
