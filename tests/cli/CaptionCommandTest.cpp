// `lumora caption` as the real program: its copies are the window's save.
#include "cli/CaptionCommand.h"
#include "pipeline/CaptionJob.h"
#include "tests/cli/CaptionRun.h"

#include <gtest/gtest.h>

using testing_support::Listing;
using namespace caption_run;

// Misuse is refused (exit 2, before any photo); "--" ends the options.
TEST(CaptionCommand, MisusedArgumentsAreRefusedAndCopiesAreNamedAfterThePhoto) {
    const CaptionOptions options =
        parseCaptionArguments({"--set=s.json", "--jobs", "3", "a.jpg", "--", "--odd.jpg"});
    EXPECT_EQ(options.action, CaptionOptions::Action::Run) << options.error.toStdString();
    EXPECT_TRUE(options.set == "s.json" && options.jobs == 3);
    EXPECT_EQ(options.inputs, QStringList({"a.jpg", "--odd.jpg"}));
    for (const char* wrong :
         {"a.jpg", "--set s.json", "--set", "--set s --jobs 0 a", "--set s --jobs=x a",
          "--set s --metadata all a", "--set s --quality 0 a", "--set s --quality=101 a",
          "--set s --quality best a", "--set s --frob a", "--set s --overwrite=1 a",
          "--set s --suffix a/b a"})
        EXPECT_EQ(parseCaptionArguments(QString(wrong).split(' ')).action,
                  CaptionOptions::Action::UsageError)
            << wrong;
    EXPECT_EQ(captionedCopyName("/a.b/quay.2024.jpg", "-x"), "quay.2024-x.jpg");
}

TEST(CaptionCommand, CopiesDecodeAndAreTheWindowsSaveWhateverTheFormatAndChoices) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    Workspace work;
    // Camera photos with their EXIF, and other formats named in any case.
    const std::pair<const char*, const char*> photos[] = {
        {"camera/ies_Canon_40D.jpg", "ies_Canon_40D.jpg"},
        {"camera/ies_Nikon_D70.jpg", "ies_Nikon_D70.jpg"},
        {"camera/exv2_exiv2-canon-eos-300d.jpg", "exv2_exiv2-canon-eos-300d.jpg"},
        {"camera/exifr_img_1771.jpg", "exifr_img_1771.jpg"},
        {"camera/exv2_FurnaceCreekInn.jpg", "exv2_FurnaceCreekInn.jpg"},
        {"formats/mei_IMG_2927.HEIC", "IMG_2927.HEIC"},
        {"formats/pil_rot1mir0.avif", "turned.Avif"},
        {"formats/pil_exif.png", "exif.PNG"},
        {"formats/etool_ExifTool.tif", "scan.tiff"},
        {"formats/pil_flower.webp", "flower.webp"}};
    std::vector<fs::path> copies;
    for (const auto& [from, to] : photos) {
        fs::copy_file(CorpusDir() / from, work.in() / to);
        copies.push_back(work.out() / (fs::path(to).stem().string() + "-captioned.jpg"));
    }
    const Ran ran =
        work.Caption("--set " + Q8(work.set()) + " --out " + Q8(work.out()) + " " + Q8(work.in()));
    ASSERT_EQ(ran.status, 0) << ran.err;
    EXPECT_TRUE(Contains(ran.err, "10 captioned, 0 failed")) << ran.err;
    EXPECT_EQ(Listing(work.out()).size(), std::size(photos));
    for (std::size_t i = 0; i < copies.size(); ++i) {
        const fs::path photo = work.in() / photos[i].second;
        SCOPED_TRACE(photo.filename().string());
        EXPECT_TRUE(Contains(ran.out, copies[i].string() + "\n")) << "printed on standard output";
        EXPECT_TRUE(Decodes(copies[i]));
        EXPECT_EQ(ReadBytes(copies[i]), WindowSave(photo, work.set(), work.file("window.jpg")));
    }

    // Encoded again at a quality, without the location.
    const fs::path located = work.in() / "exv2_FurnaceCreekInn.jpg";
    fs::create_directory(work.file("again"));
    const Ran again =
        work.Caption("--set " + Q8(work.set()) + " --metadata no-location --quality 90 --out " +
                     Q8(work.file("again")) + " " + Q8(located));
    ASSERT_EQ(again.status, 0) << again.err;
    const fs::path copy = work.file("again") / "exv2_FurnaceCreekInn-captioned.jpg";
    EXPECT_TRUE(Decodes(copy));
    EXPECT_EQ(ReadBytes(copy), WindowSave(located, work.set(), work.file("window.jpg"),
                                          {MetadataChoice::KeepAllButLocation, {false, 90}, true}));
}
