#include "app/preview.h"

#include "images/fitting.h"

namespace kelvot::app {

QImage ToQImage(const ImageState& state) {
    const std::vector<std::uint8_t> pixels = ToBgra32TopDown(state);
    if (pixels.empty()) return {};
    // copy(): the image must own its pixels once the vector is gone.
    return QImage(pixels.data(), state.ImageWidth, state.ImageHeight, 4 * state.ImageWidth,
                  QImage::Format_RGB32)
        .copy();
}

void DrawPreview(PictureBox* box, const ImageState& state) {
    QImage image = ToQImage(state);
    if (image.isNull()) return;
    const DrawRect r = FitPicture(box->width(), box->height(), state.ImageWidth, state.ImageHeight);
    box->setPicture(std::move(image), QRect(r.x, r.y, r.width, r.height));
}

} // namespace kelvot::app
