#pragma once

#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>

// Dialog units, the measure dialog templates are written in: a horizontal
// unit is a quarter of the dialog font's average character width, a
// vertical unit an eighth of its character height. Both bases are worked
// out as Windows does, so a template keeps the proportions it was drawn
// with.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& dialogFont);

    // Average width of the letters A-Z and a-z, rounded to whole pixels.
    int averageCharWidth() const { return averageCharWidth_; }
    int charHeight() const { return charHeight_; }

    int toPixelsX(int units) const;
    int toPixelsY(int units) const;
    QSize toPixels(QSize units) const;
    // Position and size are converted each on its own, as a template's
    // controls are created, not by converting both corners.
    QRect toPixels(QRect units) const;

    // number * numerator / denominator, computed in 64 bits and rounded to
    // the nearest integer with halves away from zero. A zero denominator,
    // or a result that does not fit an int, gives -1.
    static int mulDiv(int number, int numerator, int denominator);

    // The font a template names. "MS Shell Dlg" is Windows' alias for its
    // dialog face and exists nowhere else: it stands for the application's
    // own sans face here, at the template's point size, so the dialog looks
    // like the rest of the desktop.
    static QFont templateFont(const QString& face, int points);

private:
    int averageCharWidth_ = 0;
    int charHeight_ = 0;
};
