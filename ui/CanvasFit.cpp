#include "ui/CanvasFit.h"

QRect fitCanvas(std::uint32_t canvasWidth, std::uint32_t canvasHeight, int viewWidth,
                int viewHeight) {
    // The ratios divide by the view's size: with nothing to show or nowhere
    // to show it there is no rectangle.
    if (viewWidth <= 0 || viewHeight <= 0 || canvasWidth == 0 || canvasHeight == 0)
        return {};
    const double rw = double(canvasWidth) / viewWidth;
    const double rh = double(canvasHeight) / viewHeight;
    if (rh > rw) {
        const int w = int(double(canvasWidth) / rh);
        return {(viewWidth - w) / 2, 0, w, viewHeight};
    }
    const int h = int(double(canvasHeight) / rw);
    return {0, (viewHeight - h) / 2, viewWidth, h};
}
