// Saves that keep the photo's own compressed blocks: checked against the
// coefficients libjpeg reads back, djpeg's pixels and jpegtran's turns.
#include "codec/JpegBlocks.h"
#include "codec/JpegErrorManager.h"
#include "codec/JpegSplice.h"
#include "pipeline/CaptionJob.h"
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
    int width = 0, height = 0, maxH = 1, maxV = 1;
    struct Component {
        int h = 1, v = 1;
        unsigned blocksWide = 0, blocksHigh = 0;
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
           {}};
    for (int c = 0; c < cinfo.num_components; ++c) {
        const jpeg_component_info& info = cinfo.comp_info[c];
        Coefficients::Component& comp =
            out.components.emplace_back(Coefficients::Component{info.h_samp_factor,
                                                                info.v_samp_factor,
                                                                info.width_in_blocks,
                                                                info.height_in_blocks,
                                                                {}});
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
        const auto rowOffset = static_cast<unsigned>(photoTop / blockH);
        const auto columnOffset = static_cast<unsigned>(photoLeft / blockW);
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

// A photo of `width` x `height` with detail in every block, as cjpeg writes
// it (4:2:0 unless told otherwise), turned by an EXIF Orientation tag when
// it is not 1.
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
    std::string command =
        "cjpeg " + options + " " + Quote(ppm.string()) + " > " + Quote(jpeg.string());
    if (orientation != 1) {
        command += " && exiftool -q -overwrite_original -n -Orientation#=";
        command += std::to_string(orientation) + " " + Quote(jpeg.string());
    }
    EXPECT_EQ(Shell(command).exitCode, 0);
    return jpeg;
}

} // namespace

// Captioned saves keep every block the captions leave alone, the bands
// being whole MCU rows: the source's coefficients (turned upright exactly
// as jpegtran turns them) and, without fancy upsampling, its pixels. Over
// the corpus's camera photos with three scenes, made-up photos of each
// orientation and layout, and a near-lossless one whose copy shows the whole
// render, ink reaching from the photo into a band included. Photos whose
// blocks cannot be kept are encoded whole, decode cleanly and the note says why.
TEST(KeptBlocks, CaptionedSavesKeepTheUntouchedBlocksOrSayWhyNot) {
    TempDir dir;
    struct Row {
        std::string name;
        fs::path photo;
        std::vector<Caption> captions;
        const char* why = nullptr; // in the note when the blocks cannot be kept
        bool render = false;       // compare the copy with the whole render
        const char* turn = "";     // the jpegtran turn that makes the photo upright
        bool corpus = false;       // a camera photo: turned ones and damaged ones are passed over
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
        rows.push_back({name, MakePhoto(dir, name, 96, 64, orientation), {up}});
        rows.back().turn = turns[orientation - 1];
    }
    // Without its metadata the copy has no Orientation tag to keep (the next test).
    rows.push_back({"no lossless turn, description only",
                    MakePhoto(dir, "odd", 100, 70, 6),
                    {up},
                    "lossless turn"});
    rows.back().metadata = MetadataChoice::DescriptionOnly;
    Caption top = Band(QStringLiteral("Top band"), Disposition::TopBand);
    top.outline.enabled = true;
    Caption reaching = OnPhoto(QStringLiteral("Into the band"), VerticalAlignment::Top);
    reaching.marginTop = -12;
    reaching.shadow.enabled = true;
    const Caption bottom = Band(QStringLiteral("Bottom band"), Disposition::BottomBand);
    const fs::path fine = MakePhoto(dir, "fine", 320, 240, 1, "-quality 100 -sample 1x1");
    rows.push_back({"near-lossless with bands", fine, {top, reaching, bottom}, nullptr, true});
    // Layouts the splice of the coded data must follow.
    for (const auto& [name, options, width, height] :
         {std::tuple{"4:4:4, odd size", "-quality 92 -sample 1x1", 101, 77},
          {"4:2:2", "-quality 75 -sample 2x1", 160, 96},
          {"grey", "-grayscale", 99, 130},
          {"a restart every MCU row", "-restart 1", 200, 150},
          {"a restart every 5 MCUs", "-restart 5B", 133, 150},
          {"optimized tables", "-optimize", 200, 150},
          {"progressive", "-progressive", 120, 90}})
        rows.push_back({name, MakePhoto(dir, name, width, height, 1, options), {top, up, bottom}});
    if (CorpusAvailable()) {
        for (const auto& [name, from, part] :
             {std::tuple{"cut", CorpusDir() / "camera/ies_Canon_40D.jpg", 0.8},
              {"prog", CorpusDir() / "special/jdec_tower_progressive.jpg", 0.6}}) {
            std::vector<std::uint8_t> bytes = ReadBytes(from);
            bytes.resize(static_cast<std::size_t>(static_cast<double>(bytes.size()) * part));
            WriteBytes(dir.file(name), bytes);
            rows.push_back({std::string("cut off: ") + name, dir.file(name), {up}, "incomplete"});
        }
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
            {"a band above and a caption in the middle",
             {Band(QStringLiteral("Festival"), Disposition::TopBand),
              OnPhoto(QStringLiteral("Day one"), VerticalAlignment::Center)}},
        };
        for (const fs::path& photo : photos) {
            for (const auto& [scene, captions] : scenes) {
                rows.push_back({photo.filename().string() + ", " + scene, photo, captions});
                rows.back().corpus = true;
            }
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
        // The command line's road decodes only the rows and columns the
        // captions reach, from a stand-in of those rows: the same copy.
        const fs::path job = dir.file("job.jpg");
        CaptionList captions;
        for (const Caption& caption : row.captions)
            captions.append(caption);
        ASSERT_TRUE(runCaptionJob({Q(row.photo), Q(job), row.metadata, true, {}, {}}, captions).ok);
        EXPECT_TRUE(ReadBytes(job) == ReadBytes(copy)) << "the command line's copy";
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
        EXPECT_GT(corpusRows, 40 * 2);
        EXPECT_GT(compared, 100'000u) << "blocks no caption touched";
    }
}

// Bands above the photo that already fill whole MCU rows get no rows more.
TEST(KeptBlocks, BandsOfWholeMcuRowsAboveThePhotoAreNotPadded) {
    TempDir dir;
    PictureDocument document;
    ASSERT_TRUE(openPicture(document, Q(MakePhoto(dir, "whole", 96, 64, 1))).ok);
    document.captions.append(Band(QStringLiteral("Whole rows"), Disposition::TopBand));
    Caption& band = *document.captions.at(0);
    for (band.sizePercent = 5; canvasBands(document).above % 16 != 0 && band.sizePercent < 40;)
        band.sizePercent += 0.25;
    const int above = canvasBands(document).above;
    ASSERT_EQ(above % 16, 0) << "no band size gave whole MCU rows";
    ASSERT_TRUE(savePicture(document, Q(dir.file("copy.jpg"))).ok);
    Coefficients copied;
    ASSERT_TRUE(ReadCoefficients(dir.file("copy.jpg"), copied));
    EXPECT_EQ(copied.height, above + 64);
}

// A turned photo whose size allows no lossless turn keeps its blocks as
// stored, with its Orientation tag; the band sits where a viewer that turns
// the copy shows it.
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
        }
    }
}

// The quick first view of a large photo is its blocks' DCs: as bright as
// djpeg's eighth-size decode, and in photographs as coloured.
TEST(KeptBlocks, TheFirstViewFromTheBlocksDcsIsDjpegsEighthSizePicture) {
    TempDir dir;
    std::vector<fs::path> photos = {MakePhoto(dir, "a", 640, 480, 1),
                                    MakePhoto(dir, "b", 333, 251, 1, "-quality 80 -sample 2x1"),
                                    MakePhoto(dir, "c", 300, 301, 1, "-quality 95 -grayscale"),
                                    MakePhoto(dir, "d", 320, 200, 1, "-quality 85 -restart 3B")};
    if (CorpusAvailable()) {
        for (const auto& entry : fs::directory_iterator(CorpusDir() / "camera"))
            photos.push_back(entry.path());
    }
    int viewed = 0;
    for (const fs::path& photo : photos) {
        SCOPED_TRACE(photo.filename().string());
        const std::vector<std::uint8_t> bytes = ReadBytes(photo);
        CollectingSink rows;
        rows.direct = true;
        JpegKeptSegments kept;
        std::string why;
        if (!DecodeJpegDcRows(bytes.data(), bytes.size(), rows, kept, why))
            continue; // progressive, arithmetic, CMYK...: libjpeg's reduced decode serves
        ++viewed;
        const Pnm eighth = Djpeg(photo, "-scale 1/8");
        ASSERT_EQ(QSize(eighth.width, eighth.height), QSize(rows.frame.width, rows.frame.height));
        double brightness = 0, colour = 0;
        const std::size_t count = std::size_t{rows.frame.width} * rows.frame.height;
        const auto channels = static_cast<std::size_t>(eighth.channels);
        for (std::size_t i = 0; i < count; ++i) {
            double luma[2] = {};
            for (std::size_t c = 0; c < 3; ++c) {
                const double ours = rows.pixels[i * 4 + 2 - c];
                const double theirs = eighth.samples[i * channels + (channels == 1 ? 0 : c)];
                colour += std::abs(ours - theirs);
                luma[0] += ours * (c == 0 ? 0.299 : c == 1 ? 0.587 : 0.114);
                luma[1] += theirs * (c == 0 ? 0.299 : c == 1 ? 0.587 : 0.114);
            }
            brightness += std::abs(luma[0] - luma[1]);
        }
        EXPECT_LE(brightness / static_cast<double>(count), 1.0);
        // Photographs' colours change slowly; the made-up pictures' do not.
        if (photo.parent_path() != dir.path()) {
            EXPECT_LE(colour / static_cast<double>(count) / 3, 6.0);
        }
    }
    EXPECT_GE(viewed, 4);
}
