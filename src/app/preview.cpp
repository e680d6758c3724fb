#include "app/preview.h"

#include <cmath>
#include <memory>

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
    auto pixels = std::make_unique<std::vector<std::uint8_t>>(ToBgra32TopDown(state));
    if (pixels->empty()) return {};
    // The image takes the pixels over, without a copy, and frees them with itself.
    std::uint8_t* data = pixels->data();
    return QImage(
        data, state.ImageWidth, state.ImageHeight, 4 * state.ImageWidth, QImage::Format_RGB32,
        [](void* owned) { delete static_cast<std::vector<std::uint8_t>*>(owned); }, pixels.release());
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
