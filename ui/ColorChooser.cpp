#include "ui/ColorChooser.h"

#include "captions/Caption.h"

#include "ui/ColorBox.h"

#include <QColorDialog>

#include <array>

namespace {

// Qt keeps custom colours of its own and reloads them from the user's
// settings, so the program's table is kept here and handed to each chooser.
std::array<QRgb, ColorChooser::kCustomColorCount>& customTable() {
    static std::array<QRgb, ColorChooser::kCustomColorCount> table = [] {
        std::array<QRgb, ColorChooser::kCustomColorCount> white;
        white.fill(qRgb(255, 255, 255));
        return white;
    }();
    return table;
}

} // namespace

namespace ColorChooser {

std::optional<std::uint32_t> choose(QWidget* owner, std::uint32_t current) {
    auto& table = customTable();
    for (int i = 0; i < kCustomColorCount; ++i)
        QColorDialog::setCustomColor(i, QColor::fromRgb(table[i]));
    QColorDialog dialog(CColorBox::shownColor(current), owner);
    const int result = dialog.exec();
    // Colours added to the table count even when the choice is cancelled.
    for (int i = 0; i < kCustomColorCount; ++i)
        table[i] = QColorDialog::customColor(i).rgb();
    if (result != QDialog::Accepted)
        return std::nullopt;
    return captionColorValue(dialog.selectedColor());
}

QColor customColor(int index) {
    if (index < 0 || index >= kCustomColorCount)
        return {};
    return QColor::fromRgb(customTable()[index]);
}

} // namespace ColorChooser
