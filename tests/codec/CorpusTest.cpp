// The codec against real-world files and outside readers: djpeg for pixels,
// exiftool for EXIF values.
#include "codec/LxImageJPG.h"
#include "tests/support/TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <setjmp.h>

namespace ts = testing_support;

namespace {
bool DjpegDecodes(const ts::ManifestRow& row) {
    const std::string& verdict = row.at("djpeg_libjpeg_turbo_2.1.5");
    return verdict == "ok" || verdict.rfind("warning", 0) == 0;
}

struct QuietError {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

// The file's component count as libjpeg reads it from the frame header.
int ComponentCount(const std::filesystem::path& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        return 0;
    }
    jpeg_decompress_struct cinfo;
    QuietError err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = [](j_common_ptr c) {
        longjmp(reinterpret_cast<QuietError*>(c->err)->jump, 1);
    };
    err.pub.output_message = [](j_common_ptr) {};
    int count = 0;
    if (setjmp(err.jump) == 0) {
        jpeg_create_decompress(&cinfo);
        jpeg_stdio_src(&cinfo, file);
        jpeg_read_header(&cinfo, TRUE);
        count = cinfo.num_components;
    }
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
    return count;
}

} // namespace

TEST(Corpus, DecodingAgreesWithDjpegPixelForPixel) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    ts::TempDir dir;
    const auto reference = dir.file("djpeg.pnm");
    int compared = 0;
    for (const auto& row : ts::ReadManifest()) {
        if (!DjpegDecodes(row)) {
            continue;
        }
        const auto path = ts::CorpusDir() / row.at("file");
        SCOPED_TRACE(row.at("file"));
        LxImageJPG image;
        const bool decoded = ts::DecodeFile(path, image);
        if (!LxImage::FitsMemoryLimit(std::stoul(row.at("width")), std::stoul(row.at("height")),
                                      24)) {
            // djpeg writes whatever it gets; we refuse pictures over our limit first.
            EXPECT_FALSE(decoded);
            EXPECT_STREQ(image.lastError(), "LXIMAGE_MAX_MEMORY exceeded");
            continue;
        }
        EXPECT_TRUE(decoded) << image.lastError();
        if (!decoded) {
            continue;
        }
        EXPECT_EQ(std::to_string(image.GetWidth()), row.at("width"));
        EXPECT_EQ(std::to_string(image.GetHeight()), row.at("height"));

        ts::Pnm pnm;
        const auto djpeg =
            ts::Run("djpeg -outfile " + ts::Quote(reference) + " " + ts::Quote(path));
        EXPECT_TRUE(djpeg.exitCode == 0 || djpeg.exitCode == 2) << "2: decoded with warnings";
        EXPECT_TRUE(ts::ParsePnm(ts::ReadBytes(reference), pnm));
        const auto ours = ts::TopDownSamples(image);
        EXPECT_EQ(pnm.width, image.GetWidth());
        EXPECT_EQ(pnm.height, image.GetHeight());
        EXPECT_EQ(ours.size(), pnm.samples.size()) << "grey stays grey, colour stays colour";
        if (ours.size() != pnm.samples.size()) {
            continue;
        }
        if (ComponentCount(path) == 4) {
            // djpeg rounds c x k / 255 where we truncate: ours is the same or one less.
            std::size_t off = 0;
            for (std::size_t i = 0; i < ours.size(); ++i) {
                const int d = pnm.samples[i] - ours[i];
                off += (d != 0 && d != 1);
            }
            EXPECT_EQ(off, 0u) << "inverted CMYK, truncated";
        } else {
            EXPECT_TRUE(ours == pnm.samples);
        }
        ++compared;
    }
    EXPECT_GT(compared, 140);
}

TEST(Corpus, FilesDjpegRejectsAndDamagedFilesFailCleanly) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    int failed = 0;
    for (const auto& row : ts::ReadManifest()) {
        const auto path = ts::CorpusDir() / row.at("file");
        SCOPED_TRACE(row.at("file"));
        LxImageJPG image;
        const bool ok = ts::DecodeFile(path, image);
        if (!DjpegDecodes(row)) {
            EXPECT_FALSE(ok) << "djpeg says: " << row.at("djpeg_libjpeg_turbo_2.1.5");
        }
        if (ok) {
            EXPECT_GT(image.GetWidth(), 0);
            EXPECT_GT(image.GetHeight(), 0);
        } else {
            EXPECT_STRNE(image.lastError(), "") << "a failure always says why";
            ++failed;
        }
    }
    EXPECT_GT(failed, 40);
}

namespace {
// The factor our reader keeps for a ResolutionUnit value, or -1 for none.
double UnitFactor(double unit) {
    switch (static_cast<int>(unit)) {
    case 1:
    case 2:
        return 1.0;
    case 3:
        return 0.3937008f;
    case 4:
        return 0.03937008f;
    case 5:
        return 0.0000393700793f;
    default:
        return -1;
    }
}

// Values of the thumbnail directory (IFD1) are read after IFD0's and replace
// them, so where IFD1 has the tag, that is the value we keep.
QJsonValue LastWritten(const QJsonObject& tags, const QString& name) {
    const QJsonValue second = tags.value("IFD1:" + name);
    return second.isUndefined() ? tags.value("IFD0:" + name) : second;
}

std::string TrimRight(std::string text) {
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    return text;
}

} // namespace

TEST(Corpus, ExifValuesAgreeWithExiftool) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    const auto camera = ts::CorpusDir() / "camera";
    const auto run = ts::Run("exiftool -j -n -G1 -a -charset exif=latin -IFD0:ImageDescription "
                             "-IFD0:Make -IFD0:Model -IFD0:Orientation -IFD0:XResolution "
                             "-IFD0:YResolution -IFD0:ResolutionUnit -IFD1:Orientation "
                             "-IFD1:XResolution -IFD1:YResolution -IFD1:ResolutionUnit " +
                             ts::Quote(camera.string()));
    const QJsonArray files = QJsonDocument::fromJson(QByteArray::fromStdString(run.output)).array();
    ASSERT_GT(files.size(), 60);
    for (const QJsonValue& entry : files) {
        const QJsonObject tags = entry.toObject();
        const std::string name = tags.value("SourceFile").toString().toStdString();
        SCOPED_TRACE(name);
        LxImageJPG image;
        ASSERT_TRUE(ts::DecodeFile(name, image)) << image.lastError();
        const ExifInfo& info = image.exifInfo;
        ASSERT_TRUE(info.isExif);

        const QString description = tags.value("IFD0:ImageDescription").toVariant().toString();
        EXPECT_EQ(QString::fromLatin1(info.imageDescription), description);
        // exiftool drops the trailing spaces of Make and Model; we keep the bytes.
        EXPECT_EQ(
            TrimRight(info.cameraMake),
            TrimRight(tags.value("IFD0:Make").toVariant().toString().toStdString().substr(0, 31)));
        EXPECT_EQ(
            TrimRight(info.cameraModel),
            TrimRight(tags.value("IFD0:Model").toVariant().toString().toStdString().substr(0, 39)));
        const int orientation = LastWritten(tags, "Orientation").toInt(0);
        EXPECT_EQ(info.orientation, orientation >= 1 && orientation <= 8 ? orientation : 0);
        const double x = LastWritten(tags, "XResolution").toDouble(0);
        const double y = LastWritten(tags, "YResolution").toDouble(0);
        EXPECT_NEAR(info.xResolution, x, 1e-3);
        EXPECT_NEAR(info.yResolution, y, 1e-3);
        const double unit = UnitFactor(LastWritten(tags, "ResolutionUnit").toDouble(0));
        EXPECT_EQ(info.resolutionUnit, unit < 0 ? 0.0f : static_cast<float>(unit));

        // The decoder's dots per inch follow from those three values.
        const auto dpi = [&](double value) {
            if (value == 0 || unit <= 0) {
                return 96;
            }
            const int v = static_cast<int>(static_cast<float>(value) / static_cast<float>(unit));
            return v <= 0 ? 96 : v;
        };
        EXPECT_EQ(image.GetXResolution(), dpi(x));
        EXPECT_EQ(image.GetYResolution(), dpi(y));
    }
}
