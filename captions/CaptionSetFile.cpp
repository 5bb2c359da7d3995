#include "captions/CaptionSetFile.h"

#include "captions/FileReplacer.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace {

// The words of each choice, in the file and in the caption.
struct Word {
    const char* text;
    std::int32_t value;
};
constexpr std::array<Word, 3> kDispositions{{{"on-image", Disposition::OnImage},
                                             {"top-band", Disposition::TopBand},
                                             {"bottom-band", Disposition::BottomBand}}};
constexpr std::array<Word, 3> kHorizontal{{{"left", HorizontalAlignment::Left},
                                           {"center", HorizontalAlignment::Center},
                                           {"right", HorizontalAlignment::Right}}};
constexpr std::array<Word, 3> kVertical{{{"top", VerticalAlignment::Top},
                                         {"center", VerticalAlignment::Center},
                                         {"bottom", VerticalAlignment::Bottom}}};
constexpr std::array<Word, 2> kFits{{{"wrap", TextFit::Wrap}, {"shrink", TextFit::Shrink}}};
constexpr std::array<Word, 2> kUnits{
    {{"percent", static_cast<std::int32_t>(SizeUnit::PercentOfPicture)},
     {"px", static_cast<std::int32_t>(SizeUnit::Pixels)}}};

// The ranges numbers are brought into when read: nothing larger than the
// largest picture, nothing that would draw nothing at all.
constexpr double kMinPercent = 0.1;
constexpr double kMaxPercent = 100;
constexpr double kMinPixels = 1;
constexpr double kMaxPixels = 65535;
constexpr double kMaxLength = 65535; // margins, offsets, padding, widths
constexpr std::int32_t kRegularWeight = 400;
constexpr std::int32_t kBoldWeight = 700;

template <std::size_t N> QString wordOf(const std::array<Word, N>& words, std::int32_t value) {
    for (const Word& word : words) {
        if (word.value == value)
            return QString::fromLatin1(word.text);
    }
    // A value the caption keeps but the file has no word for: the first.
    return QString::fromLatin1(words[0].text);
}

template <std::size_t N> QString wordList(const std::array<Word, N>& words) {
    QStringList list;
    for (const Word& word : words)
        list << QString::fromLatin1(word.text);
    return list.join(QStringLiteral(", "));
}

QString colorText(std::uint32_t color) {
    // 0x00BBGGRR in the caption, #RRGGBB in the file.
    return captionColor(color).name().toUpper();
}

double fontSize(const Caption& caption) {
    if (caption.sizeUnit == SizeUnit::PercentOfPicture)
        return caption.sizePercent;
    // The file gives em heights; a cell height is turned into one.
    return caption.font.height < 0 ? -static_cast<double>(caption.font.height)
                                   : pixelSizeOf(caption.font);
}

QJsonObject toJson(const Caption& caption) {
    QString text = caption.text;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QJsonObject font{
        {"family", caption.font.faceName},
        {"size", fontSize(caption)},
        {"sizeUnit", wordOf(kUnits, static_cast<std::int32_t>(caption.sizeUnit))},
        {"bold", caption.font.isBold()},
        {"italic", caption.font.italic != 0},
        {"underline", caption.font.underline != 0},
        {"strikeOut", caption.font.strikeOut != 0},
    };
    const QJsonObject margins{{"left", caption.marginLeft},
                              {"top", caption.marginTop},
                              {"right", caption.marginRight},
                              {"bottom", caption.marginBottom}};
    const QJsonObject outline{
        {"enabled", caption.outline.enabled},
        {"width", caption.outline.width},
        {"widthUnit", wordOf(kUnits, static_cast<std::int32_t>(caption.outline.widthUnit))},
        {"color", colorText(caption.outline.color)},
    };
    const QJsonObject shadow{
        {"enabled", caption.shadow.enabled},        {"offsetX", caption.shadow.offsetX},
        {"offsetY", caption.shadow.offsetY},        {"blur", caption.shadow.blur},
        {"color", colorText(caption.shadow.color)}, {"opacity", caption.shadow.opacity},
    };
    const QJsonObject box{
        {"enabled", caption.box.enabled},
        {"color", colorText(caption.box.color)},
        {"opacity", caption.box.opacity},
        {"padding", caption.box.padding},
    };
    return QJsonObject{
        {"text", text},
        {"disposition", wordOf(kDispositions, caption.disposition)},
        {"horizontalAlignment", wordOf(kHorizontal, caption.horizontalAlignment)},
        {"verticalAlignment", wordOf(kVertical, caption.verticalAlignment)},
        {"fit", wordOf(kFits, caption.fit)},
        {"font", font},
        {"textColor", colorText(caption.textColor)},
        {"backgroundColor", colorText(caption.backgroundColor)},
        {"margins", margins},
        {"useTextAsDescription", caption.useTextAsDescription},
        {"useDescriptionAsText", caption.useDescriptionAsText},
        {"outline", outline},
        {"shadow", shadow},
        {"box", box},
    };
}

// Reads the members of one object into fields that already hold the
// default caption's values; the first problem ends the reading and is kept
// with where it was found.
class ObjectReader {
public:
    ObjectReader(const QJsonObject& object, QString where, QString& problem)
        : object_(object), where_(std::move(where)), problem_(problem) {}

    void text(const char* key, QString& field) {
        if (const auto value = member(key, QJsonValue::String, "text"))
            field = value->toString();
    }
    void flag(const char* key, bool& field) {
        if (const auto value = member(key, QJsonValue::Bool, "true or false"))
            field = value->toBool();
    }
    void flag(const char* key, std::uint8_t& field) {
        bool on = field != 0;
        flag(key, on);
        field = on ? 1 : 0;
    }
    void number(const char* key, double& field, double low, double high) {
        if (const auto value = member(key, QJsonValue::Double, "a number"))
            field = std::clamp(value->toDouble(), low, high);
    }
    void number(const char* key, std::int32_t& field, double low, double high) {
        double read = field;
        number(key, read, low, high);
        field = static_cast<std::int32_t>(std::lround(read));
    }
    template <std::size_t N>
    void word(const char* key, const std::array<Word, N>& words, std::int32_t& field) {
        const auto value = member(key, QJsonValue::String, "a word");
        if (!value)
            return;
        for (const Word& word : words) {
            if (value->toString() == QLatin1String(word.text)) {
                field = word.value;
                return;
            }
        }
        fail(key, QStringLiteral("is \"%1\"; it must be one of %2")
                      .arg(value->toString(), wordList(words)));
    }
    void unit(const char* key, SizeUnit& field) {
        auto value = static_cast<std::int32_t>(field);
        word(key, kUnits, value);
        field = static_cast<SizeUnit>(value);
    }
    void color(const char* key, std::uint32_t& field) {
        const auto value = member(key, QJsonValue::String, "a colour");
        if (!value)
            return;
        const QString text = value->toString();
        bool ok = text.size() == 7 && text.startsWith(QLatin1Char('#'));
        const std::uint32_t rgb = ok ? text.mid(1).toUInt(&ok, 16) : 0;
        if (!ok) {
            fail(key, QStringLiteral("is \"%1\"; a colour is written #RRGGBB").arg(text));
            return;
        }
        // The top byte is not drawn; the default caption's is kept.
        field =
            (field & 0xFF000000u) | ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
    }
    // A member holding an object, read by its own reader; none when absent.
    std::optional<ObjectReader> object(const char* key) {
        const auto value = member(key, QJsonValue::Object, "an object");
        if (!value)
            return std::nullopt;
        return ObjectReader(value->toObject(), name(key), problem_);
    }

private:
    QString name(const char* key) const {
        return QStringLiteral("%1\"%2\"")
            .arg(where_.isEmpty() ? QString() : where_ + QLatin1Char('.'), QLatin1String(key));
    }
    void fail(const char* key, const QString& what) {
        if (problem_.isEmpty())
            problem_ = QStringLiteral("%1 %2").arg(name(key), what);
    }
    std::optional<QJsonValue> member(const char* key, QJsonValue::Type type, const char* kind) {
        if (!problem_.isEmpty())
            return std::nullopt;
        const QJsonValue value = object_.value(QLatin1String(key));
        if (value.isUndefined())
            return std::nullopt;
        if (value.type() != type) {
            fail(key, QStringLiteral("must be %1").arg(QLatin1String(kind)));
            return std::nullopt;
        }
        return value;
    }

    QJsonObject object_;
    QString where_;
    QString& problem_;
};

Caption fromJson(const QJsonObject& object, const QString& where, QString& problem) {
    Caption caption;
    ObjectReader read(object, where, problem);
    read.text("text", caption.text);
    // Any line break in the file becomes the CR LF of a multi-line edit.
    caption.text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    caption.text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    caption.text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    read.word("disposition", kDispositions, caption.disposition);
    read.word("horizontalAlignment", kHorizontal, caption.horizontalAlignment);
    read.word("verticalAlignment", kVertical, caption.verticalAlignment);
    read.word("fit", kFits, caption.fit);
    if (auto font = read.object("font")) {
        QString family = caption.font.faceName;
        font->text("family", family);
        caption.font.setFaceName(family);
        font->unit("sizeUnit", caption.sizeUnit);
        if (caption.sizeUnit == SizeUnit::PercentOfPicture) {
            font->number("size", caption.sizePercent, kMinPercent, kMaxPercent);
        } else {
            double pixels = pixelSizeOf(caption.font);
            font->number("size", pixels, kMinPixels, kMaxPixels);
            caption.font.height = -static_cast<std::int32_t>(std::lround(pixels));
        }
        bool bold = caption.font.isBold();
        font->flag("bold", bold);
        caption.font.weight = bold ? kBoldWeight : kRegularWeight;
        font->flag("italic", caption.font.italic);
        font->flag("underline", caption.font.underline);
        font->flag("strikeOut", caption.font.strikeOut);
    }
    read.color("textColor", caption.textColor);
    read.color("backgroundColor", caption.backgroundColor);
    if (auto margins = read.object("margins")) {
        margins->number("left", caption.marginLeft, 0, kMaxLength);
        margins->number("top", caption.marginTop, 0, kMaxLength);
        margins->number("right", caption.marginRight, 0, kMaxLength);
        margins->number("bottom", caption.marginBottom, 0, kMaxLength);
    }
    read.flag("useTextAsDescription", caption.useTextAsDescription);
    read.flag("useDescriptionAsText", caption.useDescriptionAsText);
    if (auto outline = read.object("outline")) {
        outline->flag("enabled", caption.outline.enabled);
        outline->unit("widthUnit", caption.outline.widthUnit);
        outline->number("width", caption.outline.width, 0,
                        caption.outline.widthUnit == SizeUnit::Pixels ? kMaxLength : kMaxPercent);
        outline->color("color", caption.outline.color);
    }
    if (auto shadow = read.object("shadow")) {
        shadow->flag("enabled", caption.shadow.enabled);
        shadow->number("offsetX", caption.shadow.offsetX, -kMaxLength, kMaxLength);
        shadow->number("offsetY", caption.shadow.offsetY, -kMaxLength, kMaxLength);
        shadow->number("blur", caption.shadow.blur, 0, kMaxLength);
        shadow->color("color", caption.shadow.color);
        shadow->number("opacity", caption.shadow.opacity, 0, 100);
    }
    if (auto box = read.object("box")) {
        box->flag("enabled", caption.box.enabled);
        box->color("color", caption.box.color);
        box->number("opacity", caption.box.opacity, 0, 100);
        box->number("padding", caption.box.padding, 0, kMaxLength);
    }
    return caption;
}

CaptionSetRead refused(const QString& name, const QString& reason) {
    CaptionSetRead result;
    result.message = QStringLiteral("Could not read the caption set \"%1\": %2.")
                         .arg(QDir::toNativeSeparators(name), reason);
    return result;
}

} // namespace

QByteArray captionSetToJson(const CaptionList& captions) {
    QJsonArray list;
    for (std::int32_t i = 0; i < captions.count(); ++i)
        list.append(toJson(*captions.at(i)));
    const QJsonObject root{{"format", QLatin1String(kCaptionSetFormat)},
                           {"version", kCaptionSetVersion},
                           {"captions", list}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

CaptionSetRead parseCaptionSet(const QByteArray& json, const QString& name) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError) {
        return refused(name, QStringLiteral("it is not valid JSON (%1 at byte %2)")
                                 .arg(error.errorString())
                                 .arg(error.offset));
    }
    const QJsonObject root = document.object();
    if (!document.isObject() ||
        root.value(QLatin1String("format")).toString() != QLatin1String(kCaptionSetFormat)) {
        return refused(name, QStringLiteral("it is not a Lumora caption set (it has no "
                                            "\"format\": \"%1\")")
                                 .arg(QLatin1String(kCaptionSetFormat)));
    }
    const QJsonValue version = root.value(QLatin1String("version"));
    const double number = version.toDouble(-1);
    if (!version.isDouble() || number < 1 || number != std::floor(number)) {
        return refused(name, QStringLiteral("its \"version\" must be a whole number from 1"));
    }
    if (number > kCaptionSetVersion) {
        return refused(name, QStringLiteral("it is version %1 of the format, and this program "
                                            "reads up to version %2")
                                 .arg(number)
                                 .arg(kCaptionSetVersion));
    }
    const QJsonValue list = root.value(QLatin1String("captions"));
    if (!list.isArray())
        return refused(name, QStringLiteral("its \"captions\" must be a list"));

    CaptionSetRead result;
    const QJsonArray array = list.toArray();
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QString where = QStringLiteral("caption %1").arg(i + 1);
        if (!array[i].isObject())
            return refused(name, QStringLiteral("%1 must be an object").arg(where));
        QString problem;
        const Caption caption = fromJson(array[i].toObject(), QString(), problem);
        if (!problem.isEmpty())
            return refused(name, QStringLiteral("in %1, %2").arg(where, problem));
        result.captions.append(caption);
    }
    result.ok = true;
    return result;
}

CaptionSetRead readCaptionSet(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refused(path, file.errorString());
    // A set is a few kilobytes; anything far larger is not one.
    constexpr qint64 kMaxSetBytes = 16 << 20;
    if (file.size() > kMaxSetBytes)
        return refused(path, QStringLiteral("it is larger than a caption set can be (16 MB)"));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return refused(path, file.errorString());
    return parseCaptionSet(bytes, path);
}

QString writeCaptionSet(const CaptionList& captions, const QString& path) {
    const QByteArray json = captionSetToJson(captions);
    FileReplacer replacer(path);
    if (replacer.open() &&
        replacer.write(json.constData(), static_cast<std::size_t>(json.size())) &&
        replacer.commit())
        return {};
    return QStringLiteral("Could not save the caption set \"%1\": %2.")
        .arg(QDir::toNativeSeparators(path), replacer.errorText());
}
