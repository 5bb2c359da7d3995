// Dialog units to pixels: the rounding and the font they are based on.
#include "ui/DialogUnits.h"
#include "tests/support/QtPrinters.h"

#include <QApplication>
#include <QFontMetrics>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

namespace {

TEST(DialogUnitsTest, MulDivRoundsHalvesAwayFromZeroIn64Bits) {
    struct Case {
        int number, numerator, denominator, expected;
    };
    for (const Case c : {Case{1, 1, 2, 1},
                         {3, 1, 2, 2},
                         {-1, 1, 2, -1},
                         {-3, 1, 2, -2},
                         {1, -3, 2, -2},
                         {-3, 1, -2, 2},
                         {21, 7, 4, 37},
                         {5, 1, 4, 1},
                         {94, 13, 8, 153},
                         {4, 13, 8, 7},
                         {INT_MAX, INT_MAX, INT_MAX, INT_MAX},
                         {INT_MIN, 2, 2, INT_MIN},
                         {5, 3, 0, -1},
                         {INT_MAX, 2, 1, -1},
                         {INT_MIN, 2, 1, -1}}) {
        EXPECT_EQ(DialogUnits::mulDiv(c.number, c.numerator, c.denominator), c.expected)
            << c.number << " * " << c.numerator << " / " << c.denominator;
    }
}

TEST(DialogUnitsTest, ConvertsWithTheFontsAverageLetterWidthAndHeight) {
    for (const QFont& font : {DialogUnits::templateFont(QStringLiteral("MS Shell Dlg"), 8),
                              QFont(QStringLiteral("DejaVu Serif"), 15)}) {
        const QFontMetrics metrics(font);
        const double across =
            std::lround(metrics.horizontalAdvance(QStringLiteral(
                            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                        52.0);
        const DialogUnits units(font);
        for (int value = 0; value <= 300; ++value) {
            ASSERT_EQ(units.toPixelsX(value), std::lround(value * across / 4)) << value;
            ASSERT_EQ(units.toPixelsY(value), std::lround(value * metrics.height() / 8.0)) << value;
        }
        EXPECT_EQ(units.toPixels(QRect(143, 72, 50, 14)),
                  QRect(units.toPixelsX(143), units.toPixelsY(72), units.toPixelsX(50),
                        units.toPixelsY(14)));
    }
}

TEST(DialogUnitsTest, TheShellDialogFaceIsTheApplicationsFont) {
    const QFont shell = DialogUnits::templateFont(QStringLiteral("MS Shell Dlg"), 8);
    EXPECT_EQ(shell.family(), QApplication::font().family());
    EXPECT_EQ(shell.pointSize(), 8);
    const QFont other = DialogUnits::templateFont(QStringLiteral("DejaVu Serif"), 12);
    EXPECT_EQ(other.family(), QStringLiteral("DejaVu Serif"));
    EXPECT_EQ(other.pointSize(), 12);
}

} // namespace
