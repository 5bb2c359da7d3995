#include "captions/Placeholders.h"

#include <string>

namespace {

struct PlaceholderRow {
    PlaceholderInfo info;
    QString (*value)(const PlaceholderValues&);
};

QString fact(const std::string& text) {
    return QString::fromStdString(text);
}

const std::vector<PlaceholderRow>& rows() {
    static const std::vector<PlaceholderRow> table = {
        {{"date", "date taken, YYYY-MM-DD"},
         [](const PlaceholderValues& v) { return fact(v.facts.date); }},
        {{"time", "time taken, HH:MM"},
         [](const PlaceholderValues& v) { return fact(v.facts.time); }},
        {{"camera", "camera make and model"},
         [](const PlaceholderValues& v) { return fact(v.facts.camera); }},
        {{"lens", "lens model"}, [](const PlaceholderValues& v) { return fact(v.facts.lens); }},
        {{"exposure", "exposure time, like 1/250 s"},
         [](const PlaceholderValues& v) { return fact(v.facts.exposure); }},
        {{"aperture", "aperture, like f/2.8"},
         [](const PlaceholderValues& v) { return fact(v.facts.aperture); }},
        {{"iso", "sensitivity, like ISO 200"},
         [](const PlaceholderValues& v) { return fact(v.facts.iso); }},
        {{"focal", "focal length, like 50 mm"},
         [](const PlaceholderValues& v) { return fact(v.facts.focal); }},
        {{"gps", "position, like 48.85837° N, 2.29448° E"},
         [](const PlaceholderValues& v) { return fact(v.facts.gps); }},
        {{"filename", "the photo's file name"},
         [](const PlaceholderValues& v) { return v.fileName; }},
        {{"description", "the photo's description"},
         [](const PlaceholderValues& v) { return v.description; }},
    };
    return table;
}

} // namespace

const std::vector<PlaceholderInfo>& placeholderList() {
    static const std::vector<PlaceholderInfo> list = [] {
        std::vector<PlaceholderInfo> out;
        for (const PlaceholderRow& row : rows())
            out.push_back(row.info);
        return out;
    }();
    return list;
}

QString substitutePlaceholders(const QString& text, const PlaceholderValues& values) {
    if (!text.contains(u'{') && !text.contains(u'}'))
        return text;
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text.at(i);
        if ((c == u'{' || c == u'}') && i + 1 < text.size() && text.at(i + 1) == c) {
            out += c;
            i += 2;
            continue;
        }
        if (c == u'{') {
            const qsizetype close = text.indexOf(u'}', i + 1);
            if (close > i) {
                const QStringView name = QStringView(text).mid(i + 1, close - i - 1);
                bool known = false;
                for (const PlaceholderRow& row : rows()) {
                    if (name == QLatin1String(row.info.name)) {
                        out += row.value(values);
                        known = true;
                        break;
                    }
                }
                if (known) {
                    i = close + 1;
                    continue;
                }
            }
        }
        out += c;
        ++i;
    }
    return out;
}
