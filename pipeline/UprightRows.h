#pragma once

#include "codec/JpegRows.h"
#include "metadata/PhotoMetadata.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>

// Receives a JPEG's decoded rows and places them upright in a new RGB32
// picture, by the orientation its header's metadata gives, after refusing
// a picture the open's gate refuses for its size. Whole, or at the smallest
// of libjpeg's reduced sizes whose longer side reaches `longerSide`.
class UprightRows : public JpegRowSink {
public:
    // `longerSide` 0 decodes the whole picture. `stop`, once set, stops the
    // decode between rows.
    UprightRows(std::uint64_t maxPixels, int longerSide = 0,
                const std::atomic<bool>* stop = nullptr);

    unsigned scaleDenominator(std::uint32_t width, std::uint32_t height) override;
    bool begin(const JpegFrame& frame, const JpegKeptSegments& kept) override;
    std::uint8_t* directRow(std::uint32_t y) override;
    void rows(std::uint32_t first, std::uint32_t count, const std::uint8_t* const* rows) override;
    bool stopped() override;

    QImage takePicture() { return std::move(picture_); }
    std::shared_ptr<const PhotoMetadata> metadata() const { return metadata_; }
    // The whole picture's size, upright.
    QSize fullSize() const { return fullSize_; }
    // Why the gate refused the picture for its size; empty otherwise.
    const QString& gateRefusal() const { return gateRefusal_; }

private:
    std::uint64_t maxPixels_;
    std::uint32_t longerSide_;
    const std::atomic<bool>* stop_;
    std::uint32_t storedWidth_ = 0;
    std::uint32_t storedHeight_ = 0;
    JpegFrame frame_;
    int orientation_ = 1;
    QSize fullSize_;
    QString gateRefusal_;
    QImage picture_;
    std::shared_ptr<PhotoMetadata> metadata_;
};
