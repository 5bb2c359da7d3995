#include "ui/PreviewCanvas.h"

#include <algorithm>
#include <cstring>

namespace {

// Whether a working caption can be drawn over a base canvas without it:
// on the image (no band strip of its own) and not setting the description
// the other captions may show.
bool drawsOverBase(const Caption& caption) {
    return caption.disposition == Disposition::OnImage && !caption.useTextAsDescription;
}

// A band caption that sets no description: a change of it alone changes its
// own strip only.
bool isBand(const Caption& caption) {
    return (caption.disposition == Disposition::TopBand ||
            caption.disposition == Disposition::BottomBand) &&
           !caption.useTextAsDescription;
}

void copyArea(const QImage& from, QImage& to, const QRect& area) {
    const QRect rows = area.intersected(from.rect());
    const std::size_t bytes = static_cast<std::size_t>(rows.width()) * 4;
    for (int y = rows.top(); y <= rows.bottom(); ++y)
        std::memcpy(to.scanLine(y) + static_cast<std::size_t>(rows.left()) * 4,
                    from.constScanLine(y) + static_cast<std::size_t>(rows.left()) * 4, bytes);
}

} // namespace

const QImage& PreviewCanvas::update(const PictureDocument& document, WorkingCaption working,
                                    const std::function<const QImage&()>& documentCanvas) {
    std::vector<const Caption*> shown = shownCaptions(document, working);
    const auto at = std::find(shown.begin(), shown.end(), working.caption);
    const auto index = static_cast<std::size_t>(at - shown.begin());
    if (working.caption != nullptr && at != shown.end() && isBand(*working.caption)) {
        fromBase_ = false;
        const BandStrip now = bandStripOf(document, shown, index);
        if (fromBand_ && bandIndex_ == index && now == bandStrip_ && !now.strip.isEmpty() &&
            canvas_.height() == now.canvasHeight && canvas_.isDetached()) {
            // The strip as a new canvas has it before any caption is drawn,
            // then every caption that reaches it.
            for (int y = now.strip.top(); y <= now.strip.bottom(); ++y) {
                auto* line = reinterpret_cast<QRgb*>(canvas_.scanLine(y));
                std::fill(line, line + canvas_.width(), qRgb(0, 0, 0));
            }
            redrawCaptions(canvas_, document, shown, 0, now.strip);
            return canvas_;
        }
        const BandStrip& was = bandStrip_;
        if (fromBand_ && bandIndex_ == index && !now.strip.isEmpty() && !was.strip.isEmpty() &&
            now.strip.top() == was.strip.top() && canvas_.height() == was.canvasHeight &&
            now.canvasHeight - now.strip.height() == was.canvasHeight - was.strip.height()) {
            // The strip grew or shrank: the rows above it stay, the rows
            // below it (the photo among them) move with its end, and only
            // the strip is drawn again.
            QImage moved(canvas_.width(), static_cast<int>(now.canvasHeight), canvas_.format());
            if (!moved.isNull()) {
                const std::size_t rowBytes = static_cast<std::size_t>(canvas_.bytesPerLine());
                for (int y = 0; y < now.strip.top(); ++y)
                    std::memcpy(moved.scanLine(y), canvas_.constScanLine(y), rowBytes);
                const int below = canvas_.height() - was.strip.bottom() - 1;
                for (int i = 0; i < below; ++i)
                    std::memcpy(moved.scanLine(now.strip.bottom() + 1 + i),
                                canvas_.constScanLine(was.strip.bottom() + 1 + i), rowBytes);
                for (int y = now.strip.top(); y <= now.strip.bottom(); ++y) {
                    auto* line = reinterpret_cast<QRgb*>(moved.scanLine(y));
                    std::fill(line, line + moved.width(), qRgb(0, 0, 0));
                }
                redrawCaptions(moved, document, shown, 0, now.strip);
                canvas_ = std::move(moved);
                bandStrip_ = now;
                return canvas_;
            }
        }
        canvas_ = renderCaptionList(document, shown, std::move(canvas_));
        fromBand_ = true;
        bandIndex_ = index;
        bandStrip_ = now;
        return canvas_;
    }
    fromBand_ = false;
    if (working.caption == nullptr || at == shown.end() || !drawsOverBase(*working.caption)) {
        canvas_ = renderCaptionList(document, shown, std::move(canvas_));
        fromBase_ = false;
        return canvas_;
    }
    const bool added =
        index + 1 == shown.size() && document.captions.at(working.replaces) == nullptr;
    const QImage* base = nullptr;
    if (added) {
        base = &documentCanvas();
    } else {
        if (ownBase_.isNull() || ownBaseOmits_ != working.replaces) {
            // The captions before the edited one, over every band strip.
            ownBase_ = renderCaptionList(document, shown, std::move(ownBase_), index);
            ownBaseOmits_ = working.replaces;
            fromBase_ = false;
        }
        base = &ownBase_;
    }
    if (base->isNull()) {
        canvas_ = QImage();
        fromBase_ = false;
        return canvas_;
    }
    const QRect reach = inkReach(document, shown, index);
    if (!fromBase_ || canvas_.size() != base->size() || !canvas_.isDetached()) {
        // Outside what the working caption reaches, the canvas holds every
        // caption: the base itself when none comes after the working one.
        fromBase_ = true;
        dirty_ = reach;
        if (index + 1 < shown.size()) {
            canvas_ = renderCaptionList(document, shown, std::move(canvas_));
            return canvas_;
        }
        canvas_ = base->copy();
        dirty_ = QRect();
    }
    const QRect area = dirty_ | reach;
    copyArea(*base, canvas_, area);
    redrawCaptions(canvas_, document, shown, index, area);
    dirty_ = reach;
    fromBase_ = true;
    return canvas_;
}

void PreviewCanvas::invalidate() {
    fromBase_ = false;
    fromBand_ = false;
    ownBase_ = QImage();
    ownBaseOmits_ = -1;
}

void PreviewCanvas::clear() {
    invalidate();
    canvas_ = QImage();
    dirty_ = QRect();
}
