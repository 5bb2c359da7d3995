#include "captions/Placeholders.h"

#include <QDateTime>

#include <optional>
#include <string>

namespace {

struct PlaceholderRow {
    PlaceholderInfo info;
    QString (*value)(const PlaceholderValues&);
};

QString fact(const std::string& text) {
    return QString::fromStdString(text);
}

QString megapixels(QSize size) {
    if (size.isEmpty())
        return {};
    const double millions = static_cast<double>(size.width()) * size.height() / 1e6;
    return QString::number(millions, 'f', 1) + QStringLiteral(" MP");
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
        {{"title", "the photo's title"},
         [](const PlaceholderValues& v) { return fact(v.facts.title); }},
        {{"headline", "the photo's headline"},
         [](const PlaceholderValues& v) { return fact(v.facts.headline); }},
        {{"creator", "the photographer"},
         [](const PlaceholderValues& v) { return fact(v.facts.creator); }},
        {{"copyright", "the copyright notice"},
         [](const PlaceholderValues& v) { return fact(v.facts.copyright); }},
        {{"city", "city shown"}, [](const PlaceholderValues& v) { return fact(v.facts.city); }},
        {{"state", "state or province shown"},
         [](const PlaceholderValues& v) { return fact(v.facts.state); }},
        {{"country", "country shown"},
         [](const PlaceholderValues& v) { return fact(v.facts.country); }},
        {{"sublocation", "place within the city"},
         [](const PlaceholderValues& v) { return fact(v.facts.sublocation); }},
        {{"keywords", "keywords, separated by commas"},
         [](const PlaceholderValues& v) { return fact(v.facts.keywords); }},
        {{"rating", "rating as stars, like ★★★"},
         [](const PlaceholderValues& v) { return fact(v.facts.rating); }},
        {{"width", "picture width in pixels"},
         [](const PlaceholderValues& v) {
             return v.size.isEmpty() ? QString() : QString::number(v.size.width());
         }},
        {{"height", "picture height in pixels"},
         [](const PlaceholderValues& v) {
             return v.size.isEmpty() ? QString() : QString::number(v.size.height());
         }},
        {{"megapixels", "picture size, like 24.2 MP"},
         [](const PlaceholderValues& v) { return megapixels(v.size); }},
    };
    return table;
}

// Longer formats are not a date pattern but text pasted by mistake; they
// stay as written, so that the output stays bounded.
constexpr qsizetype kMaxFormatLength = 64;

// {date:FORMAT} and {time:FORMAT}: the date taken in Qt's patterns; the
// list shows one example of each.
struct FormattedRow {
    QLatin1StringView prefix;
    PlaceholderInfo example;
    bool date;
};
const FormattedRow kFormatted[] = {
    {QLatin1StringView("date:"),
     {"date:d MMMM yyyy", "date taken, in a pattern of your own"},
     true},
    {QLatin1StringView("time:"), {"time:HH:mm", "time taken, in a pattern of your own"}, false},
};

// A pattern Qt reads as meant: quotes balanced ('' is a quote), not too long.
bool soundFormat(QStringView format) {
    return format.size() <= kMaxFormatLength && format.count(u'\'') % 2 == 0;
}

// The value of the placeholder `name`; none when it names none.
std::optional<QString> valueOf(QStringView name, const PlaceholderValues& values) {
    if (const auto column = values.columns.constFind(name.toString());
        column != values.columns.constEnd())
        return *column;
    for (const PlaceholderRow& row : rows()) {
        if (name == QLatin1StringView(row.info.name))
            return row.value(values);
    }
    for (const FormattedRow& row : kFormatted) {
        if (!name.startsWith(row.prefix))
            continue;
        const QStringView format = name.mid(row.prefix.size());
        if (!soundFormat(format))
            return std::nullopt;
        const QDateTime taken =
            QDateTime::fromString(QString::fromStdString(values.facts.dateTime), Qt::ISODate);
        if (!taken.isValid())
            return QString();
        return row.date ? values.locale.toString(taken.date(), format)
                        : values.locale.toString(taken.time(), format);
    }
    return std::nullopt;
}

} // namespace

const std::vector<PlaceholderInfo>& placeholderList() {
    static const std::vector<PlaceholderInfo> list = [] {
        std::vector<PlaceholderInfo> out;
        for (const PlaceholderRow& row : rows())
            out.push_back(row.info);
        for (const FormattedRow& row : kFormatted)
            out.push_back(row.example);
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
                const std::optional<QString> value =
                    valueOf(QStringView(text).mid(i + 1, close - i - 1), values);
                if (value) {
                    out += *value;
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
