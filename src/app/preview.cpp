#include "app/preview.h"

#include "images/fitting.h"

namespace kelvot::app {

namespace {

using Decoder = std::optional<ImageState> (*)(PictureKind, EntryBytes, std::int32_t);

bool Show(PictureBox* box, PictureKind kind, EntryBytes entry, Decoder decode) {
    const auto extent = MeasurePicture(kind, entry);
    if (!extent) return false;
    const qreal ratio = box->devicePixelRatioF();
    const std::int32_t step =
        SampleStep(extent->Width, extent->Height, static_cast<std::int64_t>(box->width() * ratio),
                   static_cast<std::int64_t>(box->height() * ratio));
    const auto state = decode(kind, entry, step);
    QImage image = state ? ToQImage(*state) : QImage();
    if (image.isNull()) return false;
    const DrawRect r = FitPicture(box->width(), box->height(), extent->Width, extent->Height);
    box->setPicture(std::move(image), QRect(r.x, r.y, r.width, r.height));
    return true;
}

} // namespace

QImage ToQImage(const ImageState& state) {
    const std::vector<std::uint8_t> pixels = ToBgra32TopDown(state);
    if (pixels.empty()) return {};
    // copy(): the image must own its pixels once the vector is gone.
    return QImage(pixels.data(), state.ImageWidth, state.ImageHeight, 4 * state.ImageWidth,
                  QImage::Format_RGB32)
        .copy();
}

bool ShowPicture(PictureBox* box, PictureKind kind, EntryBytes entry) {
    return Show(box, kind, entry, DecodePicture);
}

bool ShowMask(PictureBox* box, PictureKind kind, EntryBytes entry) {
    return Show(box, kind, entry, DecodeMask);
}

} // namespace kelvot::app
