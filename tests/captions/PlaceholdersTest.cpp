// Placeholders in caption text: every name, table columns, missing values,
// literal braces and names that are not placeholders.
#include "captions/Placeholders.h"
#include "render/CaptionRenderer.h"

#include <gtest/gtest.h>

TEST(Placeholders, EveryNameFillsInAndWhatIsNoPlaceholderStaysAsTyped) {
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
    v.facts.title = "Own title";
    v.fileName = QStringLiteral("IMG_0042.JPG");
    v.description = QStringLiteral("Harbour at dawn");
    // A table's column stands before the photo's own value of that name.
    v.columns = {{QStringLiteral("title"), QStringLiteral("Column title")},
                 {QStringLiteral("Model name"), QStringLiteral("Skiff")}};
    v.facts.dateTime = "2009-06-24T09:41:07";
    v.locale = QLocale(QStringLiteral("en_GB"));
    PlaceholderValues german = v;
    german.locale = QLocale(QStringLiteral("de_DE"));
    PlaceholderValues french = v;
    french.locale = QLocale(QStringLiteral("fr_FR"));
    const QString longPattern = QStringLiteral("{date:%1}").arg(QString(10000, u'y'));
    const PlaceholderValues none;
    const struct {
        const PlaceholderValues& values;
        QString text;
        QString filled;
    } rows[] = {
        {v, "{date} {time}|{camera}|{lens}|{exposure} {aperture} {iso} {focal}|{gps}",
         "2024-05-17 06:40|Canon EOS R5|RF24-70mm F2.8 L IS USM|1/250 s f/2.8 ISO 200 50 mm|"
         "48.85837° N, 2.29448° E"},
        {v, "{filename}|{description}", "IMG_0042.JPG|Harbour at dawn"},
        {v, "{title}|{Model name}|{camera}|{Title}", "Column title|Skiff|Canon EOS R5|{Title}"},
        {none, "Taken {date} with {camera}.", "Taken  with ."},
        {v, "{{date}} is {date}", "{date} is 2024-05-17"},
        {v, "{weather} {Date} { date} {date", "{weather} {Date} { date} {date"},
        {v, "a } b {{ c }} {", "a } b { c } {"},
        {v, "{ {iso}}", "{ ISO 200}"},
        {v, "no braces at all", "no braces at all"},
        // Dates and times in a pattern, in the language asked; bad patterns
        // stay as written.
        {v, "{date:d MMMM yyyy}, {date:dddd} {time:HH:mm:ss}", "24 June 2009, Wednesday 09:41:07"},
        {german, "{date:d. MMMM yyyy}, {date:dddd} {time:H 'Uhr' mm}",
         "24. Juni 2009, Mittwoch 9 Uhr 41"},
        {french, "{date:d MMM 'yy}", "{date:d MMM 'yy}"},
        {v, longPattern, longPattern},
        {v, "{date:''}{date:'d'}", "'d"},
        {none, "{date:d MMMM yyyy}", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(substitutePlaceholders(row.text, row.values), row.filled)
            << row.text.left(60).toStdString();

    // A picture with no metadata: its file name only. A caption that shows
    // the description shows it filled in, and braces in it are not read again.
    PictureDocument document;
    document.picture = QImage(64, 48, QImage::Format_RGB32);
    document.fileName = QStringLiteral("plain.jpg");
    Caption caption;
    caption.text = QStringLiteral("[{date}] {{x}} {unknown} {filename}");
    caption.useTextAsDescription = true;
    document.captions.append(caption);
    EXPECT_EQ(savedDescription(document), QStringLiteral("[] {x} {unknown} plain.jpg"));
    document.captions.at(0)->text = QStringLiteral("{{filename}}");
    Caption shows;
    shows.useDescriptionAsText = true;
    EXPECT_EQ(displayedText(shows, savedDescription(document)), QStringLiteral("{filename}"));
}
