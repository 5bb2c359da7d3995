// The JPEG decoders against real-world files and djpeg's pixels. (The EXIF
// description of the same files: PipelineTest.)
#include "codec/LxImageJPG.h"
#include "tests/support/CollectingSink.h"
#include "tests/support/OutsideReaders.h"

#include <gtest/gtest.h>

namespace ts = testing_support;
using Bytes = std::vector<std::uint8_t>;

namespace {
// The block's pixels as blue, green, red, 0xFF rows, top first.
Bytes AsBgrx(const LxImage& image) {
    const Bytes rgb = ts::TopDownSamples(image);
    const std::size_t n = std::size_t(image.GetWidth()) * image.GetHeight();
    const std::size_t step = rgb.size() == n ? 1 : 3;
    Bytes out;
    for (std::size_t i = 0; i < n; ++i)
        out.insert(out.end(),
                   {rgb[i * step + step - 1], rgb[i * step + step / 2], rgb[i * step], 0xFF});
    return out;
}
} // namespace

// Every corpus file: what djpeg rejects fails with a reason, the rest decode to
// djpeg's pixels, in rows filled directly, handed over, or wanted among skipped.
TEST(Corpus, DecodingAgreesWithDjpegPixelForPixel) {
    LUMORA_SKIP_WITHOUT_CORPUS();
    int compared = 0, failed = 0;
    for (const auto& row : ts::ReadManifest()) {
        const auto path = ts::CorpusDir() / row.at("file");
        SCOPED_TRACE(row.at("file"));
        const std::string& verdict = row.at("djpeg_libjpeg_turbo_2.1.5");
        LxImageJPG image;
        const bool decoded = ts::DecodeFile(path, image);
        if (!decoded) {
            EXPECT_STRNE(image.lastError(), "") << "a failure always says why";
            ++failed;
        }
        if (verdict != "ok" && verdict.rfind("warning", 0) != 0) {
            EXPECT_FALSE(decoded) << "djpeg says: " << verdict;
        } else if (!LxImage::FitsMemoryLimit(std::stoul(row.at("width")),
                                             std::stoul(row.at("height")), 24)) {
            // djpeg writes whatever it gets; the block refuses pictures over its limit first.
            EXPECT_TRUE(!decoded &&
                        std::string(image.lastError()) == "LXIMAGE_MAX_MEMORY exceeded");
            continue;
        } else if (decoded) {
            EXPECT_EQ(std::to_string(image.GetWidth()) + "x" + std::to_string(image.GetHeight()),
                      row.at("width") + "x" + row.at("height"));
            const ts::Pnm pnm = ts::Djpeg(path);
            const Bytes ours = ts::TopDownSamples(image);
            EXPECT_EQ(ours.size(), pnm.samples.size()) << "grey stays grey, colour stays colour";
            ts::CollectingSink header;
            header.accept = false;
            JpegKeptSegments kept;
            std::string error;
            ts::DecodeRowsOf(path, header, kept, error);
            if (ours.size() == pnm.samples.size() && header.frame.components == 4) {
                // djpeg rounds c x k / 255 where we truncate: ours is the same or one less.
                std::size_t off = 0;
                for (std::size_t i = 0; i < ours.size(); ++i)
                    off += pnm.samples[i] - ours[i] != 0 && pnm.samples[i] - ours[i] != 1;
                EXPECT_EQ(off, 0u) << "inverted CMYK, truncated";
            } else {
                EXPECT_TRUE(ours == pnm.samples);
            }
            ++compared;
        } else {
            ADD_FAILURE() << image.lastError();
        }
        if (row.at("file").rfind("camera/mei_", 0) == 0)
            continue; // large camera photos add time and no new kind of file
        for (const int pass : {0, 1, 2}) {
            ts::CollectingSink sink;
            sink.direct = pass == 1;
            sink.skipping = pass == 2;
            JpegKeptSegments kept;
            std::string error;
            const bool rowsDecoded = ts::DecodeRowsOf(path, sink, kept, error);
            if (!decoded && sink.skipping)
                continue; // skipping may pass over a fault in rows nobody wants
            ASSERT_EQ(rowsDecoded, decoded) << error << " / " << image.lastError();
            if (!decoded)
                continue;
            Bytes expected = AsBgrx(image);
            const std::size_t rowBytes = std::size_t{sink.frame.width} * 4;
            for (std::uint32_t y = 0; y < sink.frame.height; ++y)
                if (!sink.wants(y))
                    std::fill_n(expected.begin() + static_cast<std::ptrdiff_t>(y * rowBytes),
                                rowBytes, 0);
            EXPECT_TRUE(sink.pixels == expected) << "pass " << pass;
            EXPECT_TRUE(pass == 2 || (sink.handOvers > 0) == (pass == 0)) << "pass " << pass;
        }
    }
    EXPECT_GT(compared, 140);
    EXPECT_GT(failed, 40);
}
