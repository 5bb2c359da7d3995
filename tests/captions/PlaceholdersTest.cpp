// Placeholders in caption text: every name, missing values, literal braces
// and names that are not placeholders.
#include "captions/Placeholders.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace {
PlaceholderValues Sample() {
    PlaceholderValues v;
    v.facts.date = "2024-05-17";
    v.facts.time = "06:40";
    v.facts.camera = "Canon EOS R5";
    v.facts.lens = "RF24-70mm F2.8 L IS USM";
    v.facts.exposure = "1/250 s";
    v.facts.aperture = "f/2.8";
    v.facts.iso = "ISO 200";
    v.facts.focal = "50 mm";
    v.facts.gps = "48.85837° N, 2.29448° E";
    v.fileName = QStringLiteral("IMG_0042.JPG");
    v.description = QStringLiteral("Harbour at dawn");
    return v;
}
} // namespace

TEST(Placeholders, EveryFactFillsIn) {
    const PlaceholderValues v = Sample();
    EXPECT_EQ(substitutePlaceholders(
                  QStringLiteral("{date} {time}|{camera}|{lens}|{exposure} {aperture} {iso} "
                                 "{focal}|{gps}|{filename}|{description}"),
                  v),
              QStringLiteral("2024-05-17 06:40|Canon EOS R5|RF24-70mm F2.8 L IS USM|1/250 s f/2.8 "
                             "ISO 200 50 mm|48.85837° N, 2.29448° E|IMG_0042.JPG|Harbour at dawn"));
}

TEST(Placeholders, MissingValuesAreEmptyBracesAndUnknownNamesStay) {
    PlaceholderValues none;
    EXPECT_EQ(substitutePlaceholders(QStringLiteral("Taken {date} with {camera}."), none),
              QStringLiteral("Taken  with ."));
    const PlaceholderValues v = Sample();
    EXPECT_EQ(substitutePlaceholders(QStringLiteral("{{date}} is {date}"), v),
              QStringLiteral("{date} is 2024-05-17"));
    EXPECT_EQ(substitutePlaceholders(QStringLiteral("{weather} {Date} { date} {date"), v),
              QStringLiteral("{weather} {Date} { date} {date"));
    EXPECT_EQ(substitutePlaceholders(QStringLiteral("a } b {{ c }} {"), v),
              QStringLiteral("a } b { c } {"));
    EXPECT_EQ(substitutePlaceholders(QStringLiteral("{ {iso}}"), v), QStringLiteral("{ ISO 200}"));
    EXPECT_EQ(substitutePlaceholders(QStringLiteral("no braces at all"), v),
              QStringLiteral("no braces at all"));
}

TEST(Placeholders, ATableColumnStandsBeforeThePhotosOwnValueOfTheSameName) {
    PlaceholderValues v = Sample();
    v.facts.title = "Own title";
    v.columns = {{QStringLiteral("title"), QStringLiteral("Column title")},
                 {QStringLiteral("Model name"), QStringLiteral("Skiff")}};
    EXPECT_EQ(substitutePlaceholders(QStringLiteral("{title}|{Model name}|{camera}|{Title}"), v),
              QStringLiteral("Column title|Skiff|Canon EOS R5|{Title}"));
}
