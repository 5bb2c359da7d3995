#pragma once

#include <QWidget>

#include <cstdint>

// A swatch that shows one colour inside a one-pixel black frame. The colour
// is 0x00BBGGRR; the top byte is ignored, so 0xFF000000 shows black.
class CColorBox : public QWidget {
    Q_OBJECT

public:
    explicit CColorBox(QWidget* parent = nullptr);

    std::uint32_t color() const { return color_; }
    // Stores the colour and repaints the swatch at once.
    void setColor(std::uint32_t color);

    // The colour the swatch paints for a 0x00BBGGRR value.
    static QColor shownColor(std::uint32_t color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::uint32_t color_ = 0;
};
