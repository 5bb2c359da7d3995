#include "captions/LogFont.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QHash>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace {
// Em height used for a description whose height is 0.
constexpr int kDefaultEmPixels = 14;
// No caption can use a font taller than the largest picture.
constexpr std::int64_t kMaxPixelSize = kMaxCaptionPixelSize;
// Size at which a face's cell-to-em ratio is measured.
constexpr int kReferencePixels = 1000;
constexpr char kColourEmojiFamily[] = "Noto Color Emoji";

// The installed family a face name is drawn with, looked up once per name.
QString resolvedFamily(const QString& face) {
    static std::mutex lock;
    static QHash<QString, QString> resolved;
    const std::lock_guard guard(lock);
    auto found = resolved.constFind(face);
    if (found == resolved.constEnd())
        found = resolved.insert(face, QFontInfo(QFont(face)).family());
    return *found;
}
} // namespace

void LogFont::setFaceName(const QString& name) {
    faceName = name.left(kFaceNameCapacity - 1);
}

int pixelSizeOf(const LogFont& font) {
    const std::int64_t height = font.height;
    if (height == 0) {
        return kDefaultEmPixels;
    }
    if (height < 0) {
        return static_cast<int>(std::min(-height, kMaxPixelSize));
    }
    // A cell height includes the face's internal leading: scale it to the
    // em height by the face's own ratio.
    QFont reference(font.faceName);
    reference.setPixelSize(kReferencePixels);
    const QFontMetricsF metrics(reference);
    const double cell = metrics.ascent() + metrics.descent();
    const double em = cell > 0 ? static_cast<double>(height) * kReferencePixels / cell
                               : static_cast<double>(height);
    return static_cast<int>(std::clamp<double>(std::lround(em), 1, kMaxPixelSize));
}

QFont toQFont(const LogFont& font) {
    return toQFont(font, pixelSizeOf(font));
}

QFont toQFont(const LogFont& font, int pixelSize) {
    QFont result(font.faceName);
    // Characters the face lacks come from the colour emoji font before the
    // system's fallbacks, which would give some emoji in outline only. The
    // list names the family the face resolves to ("Arial" is Liberation
    // Sans): a name the font database lacks would be passed over for the
    // emoji font.
    result.setFamilies({resolvedFamily(font.faceName), QString::fromLatin1(kColourEmojiFamily)});
    result.setPixelSize(std::clamp(pixelSize, 1, kMaxCaptionPixelSize));
    result.setWeight(font.isBold() ? QFont::Bold : QFont::Normal);
    result.setItalic(font.italic != 0);
    result.setUnderline(font.underline != 0);
    result.setStrikeOut(font.strikeOut != 0);
    return result;
}
