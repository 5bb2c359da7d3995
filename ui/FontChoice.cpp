#include "ui/FontChoice.h"

#include "ui/DialogUnits.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>

int screenLogicalDpiY() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return 96;
    return std::max(1, static_cast<int>(std::lround(screen->logicalDotsPerInchY())));
}

QFont chooserFontOf(const LogFont& font, int dpi) {
    QFont shown = toQFont(font);
    shown.setPointSize(std::max(1, DialogUnits::mulDiv(pixelSizeOf(font), 72, dpi)));
    return shown;
}

LogFont logFontFromChooser(const QFont& chosen, const LogFont& previous, int dpi) {
    LogFont font = previous;
    int pixels = chosen.pixelSize();
    if (pixels <= 0)
        pixels = static_cast<int>(std::lround(chosen.pointSizeF() * dpi / 72.0));
    font.height = -std::max(1, pixels);
    font.width = 0;
    font.escapement = 0;
    font.orientation = 0;
    font.weight = chosen.weight();
    font.italic = chosen.italic() ? 1 : 0;
    font.underline = chosen.underline() ? 1 : 0;
    font.strikeOut = chosen.strikeOut() ? 1 : 0;
    font.setFaceName(chosen.family());
    return font;
}
