#include "app/preview.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace kelvot::app {

namespace {

using Decoder = std::optional<ImageState> (*)(PictureKind, EntryBytes, std::int32_t);

bool HasTransparency(PictureKind kind, EntryBytes entry) {
    const auto code = ReadFormatCode(kind, entry);
    return code && (*code == 1 || *code == 2 || *code == 4 || *code == 5);
}

QImage Decode(PictureKind kind, EntryBytes entry, std::int32_t step, Decoder decode, bool checkerboard) {
    const auto state = decode(kind, entry, step);
    if (!state) return {};
    if (!checkerboard || !HasTransparency(kind, entry)) return ToQImage(*state);
    const auto alpha = DecodeAlpha(kind, entry, step);
    const std::vector<std::uint8_t> pixels =
        alpha ? ToPremultipliedBgra32TopDown(*state, *alpha) : std::vector<std::uint8_t>();
    if (pixels.empty()) return {};
    return QImage(pixels.data(), state->ImageWidth, state->ImageHeight, 4 * state->ImageWidth,
                  QImage::Format_ARGB32_Premultiplied)
        .copy();
}

bool Show(PictureBox* box, PictureKind kind, EntryBytes entry, Decoder decode, bool checkerboard) {
    const auto extent = MeasurePicture(kind, entry);
    if (!extent) return false;
    const qreal ratio = box->devicePixelRatioF();
    const std::int32_t step =
        SampleStep(extent->Width, extent->Height, static_cast<std::int64_t>(box->width() * ratio),
                   static_cast<std::int64_t>(box->height() * ratio));
    QImage image = Decode(kind, entry, step, decode, checkerboard);
    if (image.isNull()) return false;
    box->setPicture(std::move(image), QSize(extent->Width, extent->Height), step);
    return true;
}

} // namespace

QImage ToQImage(const ImageState& state) {
    if (state.ImageWidth <= 0 || state.ImageHeight <= 0) return {};
    // Written straight into the image's own memory: no second buffer, no copy.
    QImage image(state.ImageWidth, state.ImageHeight, QImage::Format_RGB32);
    if (image.isNull() ||
        !WriteBgra32TopDown(state, {image.bits(), static_cast<std::size_t>(image.sizeInBytes())}))
        return {};
    return image;
}

bool ShowPicture(PictureBox* box, PictureKind kind, EntryBytes entry, bool checkerboard) {
    return Show(box, kind, entry, DecodePicture, checkerboard);
}

bool ShowMask(PictureBox* box, PictureKind kind, EntryBytes entry) {
    return Show(box, kind, entry, DecodeMask, false);
}

void SharpenPicture(PictureBox* box, PictureKind kind, EntryBytes entry, bool checkerboard) {
    if (box->isEmpty()) return;
    const double shown = box->scale() * box->devicePixelRatioF();
    const auto step = static_cast<std::int32_t>(std::max(1.0, std::floor(1 / shown)));
    if (step >= box->step()) return;
    QImage image = Decode(kind, entry, step, DecodePicture, checkerboard);
    if (!image.isNull()) box->replaceImage(std::move(image), step);
}

} // namespace kelvot::app
