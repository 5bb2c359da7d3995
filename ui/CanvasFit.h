#pragma once

#include <QRect>

#include <cstdint>

// Where a canvas of W x H pixels goes in a view of cw x ch pixels: scaled
// with its aspect ratio kept until it touches two opposite edges (enlarged
// as well as reduced), centred on the other axis. The other side is W or H
// divided by the ratio and truncated, so a result just below a whole number
// loses a pixel. An empty view or canvas gives an empty rectangle.
QRect fitCanvas(std::uint32_t canvasWidth, std::uint32_t canvasHeight, int viewWidth,
                int viewHeight);
