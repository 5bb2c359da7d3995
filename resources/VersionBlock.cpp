#include "resources/VersionBlock.h"

#include "resources/VersionValues.h"

#include <array>

namespace VersionBlock {

namespace {

struct StringEntry {
    QStringView name;
    QStringView value;
};

constexpr std::array kStrings{
    StringEntry{u"ProductName", LUMORA_PRODUCT_NAME},
    StringEntry{u"ProductVersion", LUMORA_PRODUCT_VERSION},
    StringEntry{u"LegalCopyright", LUMORA_LEGAL_COPYRIGHT},
};

QString hex8(std::uint32_t value) {
    return QStringLiteral("%1").arg(value, 8, 16, QLatin1Char('0')).toUpper();
}

} // namespace

QString stringFileInfoPath(std::uint32_t translation, QStringView name) {
    return QStringLiteral("\\StringFileInfo\\") + hex8(translation) + QLatin1Char('\\') +
           name.toString();
}

std::optional<QString> queryValue(QStringView path) {
    if (path.compare(u"\\VarFileInfo\\Translation", Qt::CaseInsensitive) == 0)
        return hex8(kTranslation);
    for (const StringEntry& entry : kStrings) {
        if (path.compare(stringFileInfoPath(kTranslation, entry.name), Qt::CaseInsensitive) == 0)
            return entry.value.toString();
    }
    return std::nullopt;
}

std::optional<QString> stringValue(QStringView name) {
    return queryValue(stringFileInfoPath(kTranslation, name));
}

} // namespace VersionBlock

QString makerWebAddress() {
    return QString::fromUtf16(LUMORA_WEB_ADDRESS);
}
