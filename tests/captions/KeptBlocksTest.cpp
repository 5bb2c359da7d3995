// Saves that keep the photo's own compressed blocks: checked against the
// coefficients libjpeg reads back, djpeg's pixels and jpegtran's turns.
#include "codec/JpegBlocks.h"
#include "codec/JpegErrorManager.h"
#include "codec/JpegSplice.h"
#include "image/LxMemFile.h"
#include "pipeline/PicturePipeline.h"
#include "render/CaptionRenderer.h"
#include "tests/support/CollectingSink.h"
#include "tests/support/OutsideReaders.h"
#include "tests/support/PictureCompare.h"
#include "tests/support/QtPaths.h"

#include <gtest/gtest.h>

#include <array>
#include <csetjmp>
#include <functional>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

// A JPEG's quantized coefficients, component by component, row by row.
struct Coefficients {
    int width = 0;
    int height = 0;
    int maxH = 1;
    int maxV = 1;
    unsigned restartInterval = 0;
    struct Component {
        int h = 1;
        int v = 1;
        unsigned blocksWide = 0;
        unsigned blocksHigh = 0;
        std::vector<std::array<JCOEF, DCTSIZE2>> blocks;
        const JCOEF* at(unsigned x, unsigned y) const {
            return blocks[std::size_t{y} * blocksWide + x].data();
        }
    };
    std::vector<Component> components;
};

bool ReadCoefficients(const fs::path& file, Coefficients& out) {
    const std::vector<std::uint8_t> bytes = ReadBytes(file);
    jpeg_decompress_struct cinfo;
    char text[JMSG_LENGTH_MAX] = {};
    JpegErrorManager error;
    cinfo.err = error.Install(text);
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&cinfo);
    out = {static_cast<int>(cinfo.image_width),
           static_cast<int>(cinfo.image_height),
           cinfo.max_h_samp_factor,
           cinfo.max_v_samp_factor,
           cinfo.restart_interval,
           {}};
    out.components.resize(static_cast<std::size_t>(cinfo.num_components));
    for (int c = 0; c < cinfo.num_components; ++c) {
        Coefficients::Component& comp = out.components[static_cast<std::size_t>(c)];
        const jpeg_component_info& info = cinfo.comp_info[c];
        comp = {info.h_samp_factor,
                info.v_samp_factor,
                info.width_in_blocks,
                info.height_in_blocks,
                {}};
        comp.blocks.resize(std::size_t{comp.blocksWide} * comp.blocksHigh);
        for (unsigned y = 0; y < comp.blocksHigh; ++y) {
            JBLOCKARRAY row = (*cinfo.mem->access_virt_barray)(
                reinterpret_cast<j_common_ptr>(&cinfo), arrays[c], y, 1, FALSE);
            std::memcpy(&comp.blocks[std::size_t{y} * comp.blocksWide], row[0],
                        comp.blocksWide * sizeof(JBLOCK));
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

// Compares every block of `photo` with the block `photoTop` rows lower and
// `photoLeft` columns further right in `copy`, except those whose pixels lie
// in `changed` (copy coordinates).
struct BlockComparison {
    std::uint64_t compared = 0;
    std::uint64_t differing = 0;
};
BlockComparison CompareKept(const Coefficients& photo, const Coefficients& copy, int photoTop,
                            const std::function<bool(QRect)>& changed, int photoLeft = 0) {
    BlockComparison result;
    EXPECT_EQ(photo.components.size(), copy.components.size());
    for (std::size_t c = 0; c < std::min(photo.components.size(), copy.components.size()); ++c) {
        const auto& from = photo.components[c];
        const auto& to = copy.components[c];
        const int blockW = 8 * photo.maxH / from.h;
        const int blockH = 8 * photo.maxV / from.v;
        const unsigned rowOffset = static_cast<unsigned>(photoTop / blockH);
        const unsigned columnOffset = static_cast<unsigned>(photoLeft / blockW);
        for (unsigned y = 0; y < from.blocksHigh && y + rowOffset < to.blocksHigh; ++y) {
            for (unsigned x = 0; x < from.blocksWide && x + columnOffset < to.blocksWide; ++x) {
                if (changed(QRect(photoLeft + static_cast<int>(x) * blockW,
                                  photoTop + static_cast<int>(y) * blockH, blockW, blockH)))
                    continue;
                ++result.compared;
                result.differing +=
                    std::memcmp(from.at(x, y), to.at(x + columnOffset, y + rowOffset),
                                sizeof(JBLOCK)) != 0;
            }
        }
    }
    return result;
}

Caption OnPhoto(const QString& text, int vertical) {
    Caption caption;
    caption.text = text;
    caption.verticalAlignment = vertical;
    caption.horizontalAlignment = HorizontalAlignment::Center;
    caption.sizePercent = 6;
    caption.outline.enabled = true;
    return caption;
}

Caption Band(const QString& text, int disposition) {
    Caption caption;
    caption.text = text;
    caption.disposition = disposition;
    caption.backgroundColor = 0x203040;
    caption.textColor = 0xFFFFFF;
    caption.sizePercent = 5;
    return caption;
}

// Where the captions may have put ink in the copy: the on-photo captions'
// reach, and with a band below, everything from the photo's last whole MCU
// row down; `padding` rows were added above the bands.
std::function<bool(QRect)> ChangedArea(const PictureDocument& document, int padding, int photoTop,
                                       int mcuHeight) {
    std::vector<const Caption*> shown = shownCaptions(document, {});
    QRegion ink;
    for (std::size_t i = 0; i < shown.size(); ++i)
        ink += inkReach(document, shown, i).translated(0, padding);
    const int redrawFrom =
        canvasBands(document).below > 0
            ? photoTop + static_cast<int>(document.height()) / mcuHeight * mcuHeight
            : std::numeric_limits<int>::max();
    return [ink, redrawFrom](QRect pixels) {
        return ink.intersects(pixels) || pixels.bottom() >= redrawFrom;
    };
}

} // namespace

namespace {
// A 4:2:0 photo of `width` x `height` with detail in every block, as cjpeg
// writes it, turned by an EXIF Orientation tag when it is not 1.
fs::path MakePhoto(const TempDir& dir, const std::string& name, int width, int height,
                   int orientation, const std::string& options = "-quality 85 -sample 2x2") {
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, qRgb((x * 7 + y) % 256, (y * 5) % 256, (x * y) % 256));
    }
    const fs::path ppm = dir.file(name + ".ppm");
    const fs::path jpeg = dir.file(name + ".jpg");
    EXPECT_TRUE(picture.save(Q(ppm), "PPM"));
    EXPECT_EQ(Shell("cjpeg " + options + " " + Quote(ppm.string()) + " > " + Quote(jpeg.string()))
                  .exitCode,
              0);
    if (orientation != 1) {
        EXPECT_EQ(Shell("exiftool -q -overwrite_original -n -Orientation#=" +
                        std::to_string(orientation) + " " + Quote(jpeg.string()))
                      .exitCode,
                  0);
    }
    return jpeg;
}
} // namespace

// Captioned saves keep every block the captions leave alone, the bands
// being whole MCU rows: the source's coefficients (turned upright exactly
// as jpegtran turns them) and, without fancy upsampling, its pixels. Over
// the corpus's camera photos with three scenes, a made-up photo in each
// orientation, and a near-lossless one whose copy shows the whole render,
// ink reaching from the photo into a band included. Photos whose blocks
// cannot be kept are encoded whole, decode cleanly and the note says why.
TEST(KeptBlocks, CaptionedSavesKeepTheUntouchedBlocksOrSayWhyNot) {
    TempDir dir;
    struct Row {
        std::string name;
        fs::path photo;
        std::vector<Caption> captions;
        const char* turn = "";     // the jpegtran turn that makes the photo upright
        const char* why = nullptr; // in the note when the blocks cannot be kept
        bool corpus = false;       // a camera photo: turned ones and damaged ones are passed over
        bool render = false;       // compare the copy with the whole render
        MetadataChoice metadata = MetadataChoice::KeepAll;
    };
    std::vector<Row> rows;
    Caption up = OnPhoto(QStringLiteral("Up"), VerticalAlignment::Top);
    up.horizontalAlignment = HorizontalAlignment::Left;
    up.sizePercent = 15;
    const char* const turns[] = {"",           "-flip horizontal", "-rotate 180", "-flip vertical",
                                 "-transpose", "-rotate 90",       "-transverse", "-rotate 270"};
    for (int orientation = 1; orientation <= 8; ++orientation) {
        std::string name = "o";
        name += std::to_string(orientation);
        rows.push_back(
            {name, MakePhoto(dir, name, 96, 64, orientation), {up}, turns[orientation - 1]});
    }
    // Without its metadata the copy has no Orientation tag to keep (the next test).
    rows.push_back({"a size no lossless turn allows, saved with the description only",
                    MakePhoto(dir, "odd", 100, 70, 6),
                    {up},
                    "",
                    "lossless turn",
                    false,
                    false,
                    MetadataChoice::DescriptionOnly});
    Caption top = Band(QStringLiteral("Top band"), Disposition::TopBand);
    top.outline.enabled = true;
    Caption reaching = OnPhoto(QStringLiteral("Into the band"), VerticalAlignment::Top);
    reaching.marginTop = -12;
    reaching.shadow.enabled = true;
    rows.push_back({"near-lossless with bands",
                    MakePhoto(dir, "fine", 320, 240, 1, "-quality 100 -sample 1x1"),
                    {top, reaching, Band(QStringLiteral("Bottom band"), Disposition::BottomBand)},
                    "",
                    nullptr,
                    false,
                    true});
    if (CorpusAvailable()) {
        const auto cut = [&](const fs::path& from, const std::string& name, double part) {
            std::vector<std::uint8_t> bytes = ReadBytes(from);
            bytes.resize(static_cast<std::size_t>(static_cast<double>(bytes.size()) * part));
            WriteBytes(dir.file(name), bytes);
            return dir.file(name);
        };
        rows.push_back({"a cut-off file",
                        cut(CorpusDir() / "camera/ies_Canon_40D.jpg", "cut", 0.8),
                        {up},
                        "",
                        "incomplete"});
        rows.push_back({"an incomplete progressive file",
                        cut(CorpusDir() / "special/jdec_tower_progressive.jpg", "prog", 0.6),
                        {up},
                        "",
                        "incomplete"});
        std::vector<fs::path> photos;
        for (const auto& entry : fs::directory_iterator(CorpusDir() / "camera")) {
            if (entry.path().extension() == ".jpg")
                photos.push_back(entry.path());
        }
        std::sort(photos.begin(), photos.end());
        const std::pair<const char*, std::vector<Caption>> scenes[] = {
            {"a band below and a caption on the photo",
             {Band(QStringLiteral("Harbour, 6 May"), Disposition::BottomBand),
              OnPhoto(QStringLiteral("On the quay"), VerticalAlignment::Bottom)}},
            {"a band above and a caption on the photo",
             {Band(QStringLiteral("Festival"), Disposition::TopBand),
              OnPhoto(QStringLiteral("Day one"), VerticalAlignment::Top)}},
            {"a caption in the middle",
             {OnPhoto(QStringLiteral("Middle"), VerticalAlignment::Center)}},
        };
        for (const fs::path& photo : photos) {
            for (const auto& [scene, captions] : scenes)
                rows.push_back(
                    {photo.filename().string() + ", " + scene, photo, captions, "", nullptr, true});
        }
    }
    int corpusRows = 0;
    std::uint64_t compared = 0;
    fs::path readFrom; // the reference photo's coefficients and pixels
    Coefficients source;
    Pnm before;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PictureDocument document;
        ASSERT_TRUE(openPicture(document, Q(row.photo)).ok);
        if (row.corpus && (!document.metadata || document.metadata->orientation != 1))
            continue;
        for (const Caption& caption : row.captions)
            document.captions.append(caption);
        const fs::path copy = dir.file("copy.jpg");
        SaveChoices choices;
        choices.metadata = row.metadata;
        const PipelineResult saved = savePicture(document, Q(copy), choices);
        ASSERT_TRUE(saved.ok) << saved.message.toStdString();
        EXPECT_EQ(DjpegComplaints(copy), "");
        const Pnm after = Djpeg(copy, "-nosmooth");
        // Camera photos may be damaged (the blocks are not kept) or carry
        // damaged metadata (a note of its own); made-up ones are neither.
        const bool notKept = saved.note.contains(QStringLiteral("could not be kept"));
        EXPECT_TRUE(row.why ? notKept && saved.note.contains(QString::fromUtf8(row.why))
                            : row.corpus || saved.note.isEmpty())
            << saved.note.toStdString();
        if (notKept) {
            EXPECT_EQ(after.width, int(document.width()));
            continue;
        }
        if (!row.corpus) {
            const std::string orientation =
                Tag(ExiftoolOf(copy, "-n -IFD0:Orientation"), "Orientation");
            EXPECT_TRUE(orientation.empty() || orientation == "1") << orientation;
        }
        fs::path reference = row.photo;
        if (*row.turn != 0) {
            reference = dir.file("jpegtran.jpg");
            ASSERT_EQ(Shell("jpegtran -perfect -copy none " + std::string(row.turn) + " " +
                            Quote(row.photo.string()) + " > " + Quote(reference.string()))
                          .exitCode,
                      0);
        }
        if (reference != readFrom || *row.turn != 0) { // a photo's scenes follow each other
            readFrom = reference;
            ASSERT_TRUE(ReadCoefficients(reference, source));
            before = Djpeg(reference, "-nosmooth");
        }
        Coefficients copied;
        ASSERT_TRUE(ReadCoefficients(copy, copied));
        ASSERT_EQ(copied.maxH, source.maxH) << "the sampling turns with the picture";
        ASSERT_EQ(copied.width, source.width);
        const CanvasBands bands = canvasBands(document);
        const int photoTop = copied.height - source.height - static_cast<int>(bands.below);
        const int mcuH = 8 * source.maxV;
        EXPECT_EQ(photoTop % mcuH, 0) << "the bands above are whole MCU rows";
        EXPECT_TRUE(photoTop >= bands.above && photoTop - bands.above < mcuH) << photoTop;
        const auto changed = ChangedArea(document, photoTop - bands.above, photoTop, mcuH);
        const BlockComparison blocks = CompareKept(source, copied, photoTop, changed);
        EXPECT_EQ(blocks.differing, 0u) << "of " << blocks.compared << " untouched blocks";
        EXPECT_TRUE(row.corpus || blocks.compared > 20) << blocks.compared;
        compared += blocks.compared;
        corpusRows += row.corpus;

        // Without fancy upsampling a pixel depends on its own blocks only,
        // so every pixel of an untouched MCU is the photo's (which also
        // needs the copy's tables and colour space to be the photo's).
        const int mcuW = 8 * source.maxH;
        const auto pixel = static_cast<std::size_t>(before.channels);
        std::uint64_t differentPixels = 0;
        for (int y = 0; y < before.height; ++y) {
            for (int x = 0; x < before.width; ++x) {
                if (changed(QRect(x / mcuW * mcuW, photoTop + y / mcuH * mcuH, mcuW, mcuH)))
                    continue;
                const std::size_t from = (std::size_t(y) * before.width + x) * pixel;
                const std::size_t to = (std::size_t(photoTop + y) * after.width + x) * pixel;
                differentPixels +=
                    std::memcmp(&before.samples[from], &after.samples[to], pixel) != 0;
            }
        }
        EXPECT_EQ(differentPixels, 0u);
        if (row.render) {
            const QImage whole = renderCaptions(document);
            EXPECT_LE(Compare(whole, after, std::max(0, after.height - whole.height())).worst, 10);
        }
    }
    if (CorpusAvailable()) {
        EXPECT_GT(corpusRows, 40 * 3);
        EXPECT_GT(compared, 100'000u) << "blocks no caption touched";
    }
}

// A turned photo whose size allows no lossless turn keeps its blocks as
// stored, with its Orientation tag; the band is drawn upright and sits
// where a viewer that turns the copy shows it.
// Bands above the photo that already fill whole MCU rows get no rows more.
TEST(KeptBlocks, BandsOfWholeMcuRowsAboveThePhotoAreNotPadded) {
    TempDir dir;
    const fs::path photo = MakePhoto(dir, "whole", 96, 64, 1);
    PictureDocument document;
    ASSERT_TRUE(openPicture(document, Q(photo)).ok);
    document.captions.append(Band(QStringLiteral("Whole rows"), Disposition::TopBand));
    Caption& band = *document.captions.at(0);
    for (band.sizePercent = 5; canvasBands(document).above % 16 != 0 && band.sizePercent < 40;)
        band.sizePercent += 0.25;
    const int above = canvasBands(document).above;
    ASSERT_EQ(above % 16, 0) << "no band size gave whole MCU rows";
    const fs::path copy = dir.file("copy.jpg");
    ASSERT_TRUE(savePicture(document, Q(copy)).ok);
    Coefficients copied;
    ASSERT_TRUE(ReadCoefficients(copy, copied));
    EXPECT_EQ(copied.height, above + 64);
}

TEST(KeptBlocks, TurnedPhotosNoTurnFitsKeepTheirStoredBlocksAndOrientation) {
    TempDir dir;
    // 5 (a transpose) moves no edge, so it always turns losslessly.
    for (const int orientation : {2, 3, 4, 6, 7, 8}) {
        for (const int disposition : {Disposition::TopBand, Disposition::BottomBand}) {
            std::string name = "o";
            name += std::to_string(orientation);
            name += disposition == Disposition::TopBand ? "-top" : "-bottom";
            SCOPED_TRACE(name);
            // 100 x 70 in 4:2:0: neither edge is whole 16-pixel MCUs.
            const fs::path photo = MakePhoto(dir, name, 100, 70, orientation);
            const fs::path copy = dir.file(name + "-copy.jpg");
            PictureDocument document;
            ASSERT_TRUE(openPicture(document, Q(photo)).ok);
            document.captions.append(Band(QStringLiteral("Harbour"), disposition));
            const QImage upright = renderCaptions(document);
            const PipelineResult saved = savePicture(document, Q(copy));
            ASSERT_TRUE(saved.ok) << saved.message.toStdString();
            EXPECT_TRUE(saved.note.contains(QStringLiteral("Orientation tag")))
                << saved.note.toStdString();
            EXPECT_EQ(Tag(ExiftoolOf(copy, "-n -IFD0:Orientation"), "Orientation"),
                      std::to_string(orientation));

            Coefficients source;
            Coefficients copied;
            ASSERT_TRUE(ReadCoefficients(photo, source));
            ASSERT_TRUE(ReadCoefficients(copy, copied));
            ASSERT_EQ(copied.maxH, 2) << "the stored sampling stays";
            const bool sideways = orientation >= 5;
            const bool topFirst = orientation == 2 || orientation == 5 || orientation == 6;
            const bool bandFirst = (disposition == Disposition::TopBand) == topFirst;
            const int grown = sideways ? copied.width - 100 : copied.height - 70;
            const int bandHeight = upright.height() - static_cast<int>(document.height());
            EXPECT_EQ(sideways ? copied.height : copied.width, sideways ? 70 : 100);
            EXPECT_TRUE(grown >= bandHeight && grown < bandHeight + 16) << grown;
            // Blocks before a band after the photo are all kept but its last,
            // partial MCU column or row; a band before it moves them intact.
            const int left = sideways && bandFirst ? grown : 0;
            const int top = !sideways && bandFirst ? grown : 0;
            EXPECT_EQ((left + top) % 16, 0);
            const QRect kept = bandFirst ? QRect(left, top, 100, 70)
                                         : QRect(0, 0, sideways ? 96 : 100, sideways ? 70 : 64);
            const BlockComparison blocks = CompareKept(
                source, copied, top, [&](QRect pixels) { return !kept.contains(pixels); }, left);
            EXPECT_EQ(blocks.differing, 0u) << "of " << blocks.compared;
            EXPECT_GE(blocks.compared, 60u);

            // Opened again (turned upright by its tag), the copy shows the
            // band where the captions put it, with at most 15 rows more.
            PictureDocument reopened;
            ASSERT_TRUE(openPicture(reopened, Q(copy)).ok);
            const int extra = reopened.picture.height() - upright.height();
            ASSERT_EQ(reopened.picture.width(), upright.width());
            ASSERT_TRUE(extra >= 0 && extra < 16) << extra;
            const QImage shown =
                reopened.picture.copy(0, disposition == Disposition::TopBand ? extra : 0,
                                      upright.width(), upright.height());
            double difference = 0;
            for (int y = 0; y < upright.height(); ++y) {
                for (int x = 0; x < upright.width(); ++x) {
                    const QRgb a = upright.pixel(x, y);
                    const QRgb b = shown.pixel(x, y);
                    difference += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                                  std::abs(qBlue(a) - qBlue(b));
                }
            }
            EXPECT_LT(difference / (upright.width() * upright.height()), 12.0);
        }
    }
}

namespace {
// The photo with a patch painted on it, between bands of one colour: rows
// [0, top) and from top + the photo's height on.
class PaintedCanvas : public JpegCanvas {
public:
    PaintedCanvas(const QImage& photo, QRect patch, std::uint32_t top)
        : photo_(photo), painted_(photo.copy()), top_(top),
          band_(static_cast<std::size_t>(photo.width()), qRgb(30, 60, 90)) {
        for (int y = patch.top(); y <= patch.bottom(); ++y) {
            for (int x = patch.left(); x <= patch.right(); ++x)
                painted_.setPixel(x, y, qRgb(250, (x * 13) % 256, 10));
        }
    }
    const std::uint8_t* row(std::uint32_t y) override {
        if (y < top_ || y - top_ >= static_cast<std::uint32_t>(photo_.height()))
            return reinterpret_cast<const std::uint8_t*>(band_.data());
        return painted_.constScanLine(static_cast<int>(y - top_));
    }
    bool changed(std::uint32_t cellX, std::uint32_t cellY) override {
        const QRect cell(static_cast<int>(cellX) * 8,
                         static_cast<int>(cellY) * 8 - static_cast<int>(top_), 8, 8);
        const QRect inside = cell & photo_.rect();
        if (inside.isEmpty())
            return true;
        return photo_.copy(inside) != painted_.copy(inside);
    }

private:
    QImage photo_;
    QImage painted_;
    std::uint32_t top_;
    std::vector<QRgb> band_;
};

std::vector<std::uint8_t> WriteCopy(const std::vector<std::uint8_t>& source, JpegBlockCopy copy,
                                    JpegCanvas& canvas, bool splice, JpegBlockCounts& counts) {
    copy.source = source.data();
    copy.sourceSize = source.size();
    copy.splice = splice;
    LxOwnedMemFile out;
    std::string error;
    EXPECT_TRUE(WriteJpegBlockCopy(&out, copy, canvas, counts, error)) << error;
    const auto* bytes = out.GetBufferPointer(false);
    return {bytes, bytes + out.Size()};
}

} // namespace

// The copy spliced from the source's coded data holds exactly the
// coefficients of the copy libjpeg writes from the coefficients, for every
// layout of a one-scan Huffman file, and keeps its restart interval.
TEST(KeptBlocks, SplicedCopiesEqualTheCoefficientRoad) {
    TempDir dir;
    struct Source {
        const char* name;
        const char* options;
        int width;
        int height;
        bool spliced;
    };
    const Source sources[] = {
        {"4:2:0", "-quality 85 -sample 2x2", 200, 150, true},
        {"4:4:4, odd size", "-quality 92 -sample 1x1", 101, 77, true},
        {"4:2:2", "-quality 75 -sample 2x1", 160, 96, true},
        {"grey", "-quality 80 -grayscale", 99, 130, true},
        {"a restart every MCU row", "-quality 85 -restart 1", 200, 150, true},
        {"a restart every 5 MCUs", "-quality 85 -restart 5B", 133, 150, true},
        {"optimized tables, with room for new codes", "-quality 85 -optimize", 200, 150, true},
        {"progressive: the coefficient road only", "-quality 85 -progressive", 120, 90, false},
    };
    struct Layout {
        const char* name;
        QRect patch;
        std::uint32_t top;   // MCU rows of band above
        std::uint32_t below; // band rows below
    };
    const Layout layouts[] = {
        {"a patch in the middle", QRect(40, 40, 30, 20), 0, 0},
        {"a band above and a patch at the top", QRect(0, 0, 50, 9), 2, 0},
        {"a band below and a patch at the left edge", QRect(0, 60, 5, 5), 0, 23},
    };
    for (const Source& source : sources) {
        const fs::path photo =
            MakePhoto(dir, "splice", source.width, source.height, 1, source.options);
        const std::vector<std::uint8_t> bytes = ReadBytes(photo);
        PictureDocument document;
        ASSERT_TRUE(openPicture(document, Q(photo)).ok);
        Coefficients original;
        ASSERT_TRUE(ReadCoefficients(photo, original));
        const std::uint32_t mcuHeight = 8u * static_cast<std::uint32_t>(original.maxV);
        for (const Layout& layout : layouts) {
            SCOPED_TRACE(std::string(source.name) + ", " + layout.name);
            const std::uint32_t top = layout.top * mcuHeight;
            PaintedCanvas canvas(document.picture, layout.patch, top);
            JpegBlockCopy copy;
            copy.topRows = top;
            copy.height = top + document.height() + layout.below;
            copy.redrawFrom =
                layout.below > 0 ? top + document.height() / mcuHeight * mcuHeight : copy.height;
            JpegBlockCounts spliced;
            JpegBlockCounts written;
            WriteBytes(dir.file("fast.jpg"), WriteCopy(bytes, copy, canvas, true, spliced));
            WriteBytes(dir.file("slow.jpg"), WriteCopy(bytes, copy, canvas, false, written));
            EXPECT_EQ(spliced.spliced, source.spliced);
            EXPECT_FALSE(written.spliced);
            EXPECT_EQ(spliced.kept, written.kept);
            EXPECT_GT(spliced.kept, 0u);
            EXPECT_GT(spliced.encoded, 0u);
            EXPECT_EQ(DjpegComplaints(dir.file("fast.jpg")), "");
            Coefficients a;
            Coefficients b;
            ASSERT_TRUE(ReadCoefficients(dir.file("fast.jpg"), a));
            ASSERT_TRUE(ReadCoefficients(dir.file("slow.jpg"), b));
            EXPECT_EQ(a.restartInterval, original.restartInterval);
            ASSERT_EQ(a.components.size(), b.components.size());
            for (std::size_t c = 0; c < a.components.size(); ++c)
                EXPECT_TRUE(a.components[c].blocks == b.components[c].blocks) << "component " << c;
            const QRect patch =
                layout.patch.translated(0, static_cast<int>(top)).adjusted(-16, -16, 16, 16);
            const BlockComparison kept =
                CompareKept(original, a, static_cast<int>(top), [&](QRect pixels) {
                    return pixels.intersects(patch) ||
                           (layout.below > 0 &&
                            pixels.bottom() >= static_cast<int>(copy.redrawFrom));
                });
            EXPECT_EQ(kept.differing, 0u) << "of " << kept.compared;
        }
    }
}

// Over made-up photos of every sampling and the corpus's camera photos:
// - the coded data walked in two halves gives the walk in one, wherever the
//   second half starts; a stand-in holding only some MCU rows decodes (by
//   djpeg, with its smooth upsampling) to the photo's pixels in every row
//   whose neighbours it holds too;
// - the quick look read from the blocks' DCs looks like libjpeg's own 1/8
//   decode: the same brightness, and for photographs nearly the same colours.
TEST(KeptBlocks, WalksThinnedStandInsAndTheDcViewAgreeWithDjpeg) {
    TempDir dir;
    std::vector<std::pair<std::string, fs::path>> photos = {
        {"4:2:0", MakePhoto(dir, "a", 640, 480, 1, "-quality 90 -sample 2x2")},
        {"4:2:2, odd size", MakePhoto(dir, "b", 333, 251, 1, "-quality 80 -sample 2x1")},
        {"4:4:4", MakePhoto(dir, "c", 200, 120, 1, "-quality 80 -sample 1x1")},
        {"grey", MakePhoto(dir, "d", 300, 301, 1, "-quality 95 -grayscale")},
        {"optimized", MakePhoto(dir, "e", 500, 200, 1, "-quality 70 -optimize")},
        {"restarts", MakePhoto(dir, "f", 320, 200, 1, "-quality 85 -restart 3B")},
    };
    if (CorpusAvailable()) {
        for (const auto& entry : fs::directory_iterator(CorpusDir() / "camera"))
            photos.emplace_back(entry.path().filename().string(), entry.path());
    }
    int walked = 0;
    int viewed = 0;
    for (const auto& [name, photo] : photos) {
        SCOPED_TRACE(name);
        const std::vector<std::uint8_t> bytes = ReadBytes(photo);
        std::string why;
        if (const auto whole = IndexJpegCodedData(bytes.data(), bytes.size(), why, nullptr, 0)) {
            ++walked;
            const unsigned mcuHeight = IndexedJpegMcuHeight(*whole);
            const Pnm full = Djpeg(photo);
            std::vector<std::uint8_t> keep((full.height + mcuHeight - 1) / mcuHeight, 0);
            for (std::size_t r = 0; r < keep.size(); ++r)
                keep[r] = r % 5 < 3 ? 1 : 0;
            std::vector<std::uint8_t> thinned;
            if (!ThinJpegRows(*whole, keep, thinned, why)) {
                // Tables without an end of block: the rows come from the photo.
                EXPECT_EQ(why, "its Huffman tables have no code for an empty block");
            } else {
                EXPECT_LT(thinned.size(), bytes.size());
                for (const double at : {0.05, 0.5, 0.93}) {
                    const auto halves = IndexJpegCodedData(
                        bytes.data(), bytes.size(), why, nullptr,
                        static_cast<std::size_t>(static_cast<double>(bytes.size()) * at));
                    ASSERT_TRUE(halves) << why;
                    std::vector<std::uint8_t> again;
                    ASSERT_TRUE(ThinJpegRows(*halves, keep, again, why)) << why;
                    EXPECT_TRUE(again == thinned) << "split at " << at;
                }
                WriteBytes(dir.file("thin.jpg"), thinned);
                const Pnm thin = Djpeg(dir.file("thin.jpg"));
                ASSERT_EQ(QSize(thin.width, thin.height), QSize(full.width, full.height));
                const std::size_t rowBytes = static_cast<std::size_t>(full.width) * full.channels;
                int differing = 0;
                for (int y = 0; y < full.height; ++y) {
                    const auto at = static_cast<std::ptrdiff_t>(rowBytes * std::size_t(y));
                    differing += y / static_cast<int>(mcuHeight) % 5 == 1 &&
                                 !std::equal(full.samples.begin() + at,
                                             full.samples.begin() + at +
                                                 static_cast<std::ptrdiff_t>(rowBytes),
                                             thin.samples.begin() + at);
                }
                EXPECT_EQ(differing, 0);
            }
        }

        CollectingSink rows;
        rows.direct = true;
        JpegKeptSegments kept;
        if (!DecodeJpegDcRows(bytes.data(), bytes.size(), rows, kept, why))
            continue;
        ++viewed;
        const Pnm eighth = Djpeg(photo, "-scale 1/8");
        ASSERT_EQ(QSize(eighth.width, eighth.height),
                  QSize(int(rows.frame.width), int(rows.frame.height)));
        // The brightness is the blocks' DCs in both; the colour differs
        // where libjpeg reads a little more of the chroma blocks than their DC.
        double brightness = 0;
        double colour = 0;
        const std::size_t count = std::size_t{rows.frame.width} * rows.frame.height;
        const auto channels = static_cast<std::size_t>(eighth.channels);
        for (std::size_t i = 0; i < count; ++i) {
            std::array<double, 3> ours{};
            std::array<double, 3> theirs{};
            for (std::size_t c = 0; c < 3; ++c) {
                ours[c] = rows.pixels[i * 4 + 2 - c];
                theirs[c] = eighth.samples[i * channels + (channels == 1 ? 0 : c)];
                colour += std::abs(ours[c] - theirs[c]);
            }
            const auto luma = [](const std::array<double, 3>& p) {
                return 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2];
            };
            brightness += std::abs(luma(ours) - luma(theirs));
        }
        const auto n = static_cast<double>(count);
        EXPECT_LE(brightness / n, 1.0);
        // Photographs' colours change slowly; the made-up pictures' do not.
        if (photo.parent_path() != dir.path()) {
            EXPECT_LE(colour / n / 3, 6.0);
        }
    }
    EXPECT_GE(walked, 6);
    EXPECT_GE(viewed, 4);
}
