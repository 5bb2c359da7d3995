#include "ui/DialogUnits.h"

#include <QFontMetrics>
#include <QGuiApplication>

#include <cstdint>
#include <limits>

namespace {
// Every letter once in each case: the text Windows measures to find a
// font's average character width.
constexpr QStringView kAlphabet = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
} // namespace

DialogUnits::DialogUnits(const QFont& dialogFont) {
    const QFontMetrics metrics(dialogFont);
    // Halving the width of 26 letters, plus one, rounds the average of all
    // 52 to the nearest pixel in integers.
    averageCharWidth_ = (metrics.horizontalAdvance(kAlphabet.toString()) / 26 + 1) / 2;
    charHeight_ = metrics.height();
}

int DialogUnits::toPixelsX(int units) const {
    return mulDiv(units, averageCharWidth_, 4);
}

int DialogUnits::toPixelsY(int units) const {
    return mulDiv(units, charHeight_, 8);
}

QSize DialogUnits::toPixels(QSize units) const {
    return {toPixelsX(units.width()), toPixelsY(units.height())};
}

QRect DialogUnits::toPixels(QRect units) const {
    return {toPixelsX(units.x()), toPixelsY(units.y()), toPixelsX(units.width()),
            toPixelsY(units.height())};
}

int DialogUnits::mulDiv(int number, int numerator, int denominator) {
    if (denominator == 0)
        return -1;
    const std::int64_t product = std::int64_t{number} * numerator;
    const bool negative = (product < 0) != (denominator < 0);
    // Work on magnitudes so that adding half the divisor rounds away from
    // zero in both directions.
    const std::uint64_t magnitude =
        product < 0 ? 0 - static_cast<std::uint64_t>(product) : static_cast<std::uint64_t>(product);
    const std::uint64_t divisor = denominator < 0 ? 0 - static_cast<std::uint64_t>(denominator)
                                                  : static_cast<std::uint64_t>(denominator);
    const std::uint64_t quotient = (magnitude + divisor / 2) / divisor;
    const std::uint64_t limit =
        negative ? std::uint64_t{1} << 31 : std::uint64_t{std::numeric_limits<int>::max()};
    if (quotient > limit)
        return -1;
    return negative ? static_cast<int>(-static_cast<std::int64_t>(quotient))
                    : static_cast<int>(quotient);
}

QFont DialogUnits::templateFont(const QString& face, int points) {
    const bool shellDialogFace = face.compare(u"MS Shell Dlg", Qt::CaseInsensitive) == 0 ||
                                 face.compare(u"MS Shell Dlg 2", Qt::CaseInsensitive) == 0;
    QFont font(shellDialogFace ? QGuiApplication::font().family() : face);
    font.setPointSize(points);
    return font;
}
