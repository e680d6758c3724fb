#include "picture_builder.h"

#include "archive_builder.h"

#include <algorithm>
#include <random>
#include <stdexcept>

namespace kelvot {

namespace {

// A width or height as a count: 0 for the negative ones a header may give.
std::size_t Side(std::int16_t value) {
    return static_cast<std::size_t>(std::max<int>(value, 0));
}

bool Indexed(const PictureSpec& spec) {
    return spec.FormatCode < 3;
}

// SRB headers are MIP headers moved 96 bytes on, after a leading block that only holds the magic.
std::size_t Shift(const PictureSpec& spec) {
    return spec.Kind == PictureKind::Srb ? 96 : 0;
}

void Check(const PictureSpec& spec) {
    const bool pbf = spec.Kind == PictureKind::Pbf;
    if (pbf && (spec.LayoutB || spec.Marker != 0))
        throw std::invalid_argument("PBF entries have no layout marker");
    if (spec.LayoutB && !Indexed(spec)) throw std::invalid_argument("layout B exists for codes 0-2 only");
    if (!spec.LayoutB && Indexed(spec) && spec.Marker == 0x40)
        throw std::invalid_argument("marker 0x40 selects layout B for codes 0-2");
    const std::size_t count = Side(spec.Width) * Side(spec.Height);
    if (spec.Pixels.size() != count) throw std::invalid_argument("Pixels must hold Width x Height values");
    if (Indexed(spec) && std::any_of(spec.Pixels.begin(), spec.Pixels.end(), [](auto p) { return p > 15; }))
        throw std::invalid_argument("colour indices run from 0 to 15");
}

// Bytes per pixel row in the entry.
std::size_t RowBytes(const PictureSpec& spec) {
    const std::size_t width = Side(spec.Width);
    const std::size_t packed = Indexed(spec) ? (width + 1) / 2 : 2 * width;
    return spec.Kind == PictureKind::Pbf ? (packed + 3) / 4 * 4 : packed;
}

} // namespace

std::size_t PixelOffset(const PictureSpec& spec) {
    if (spec.Kind == PictureKind::Pbf) return Indexed(spec) ? 128 : 52;
    return (Indexed(spec) ? 172 : 96) + Shift(spec);
}

std::vector<std::uint8_t> EncodePicture(const PictureSpec& spec) {
    Check(spec);
    const std::size_t width = Side(spec.Width);
    const std::size_t height = Side(spec.Height);
    const std::size_t start = PixelOffset(spec);
    const std::size_t rowBytes = RowBytes(spec);
    std::vector<std::uint8_t> out(start + rowBytes * height, 0);

    if (spec.Kind == PictureKind::Pbf) {
        std::copy_n("PAMB", 4, out.begin());
        out[24] = spec.FormatCode;
        testkit::PutU16(out, 25, static_cast<std::uint16_t>(spec.Width));
        testkit::PutU16(out, 29, static_cast<std::uint16_t>(spec.Height));
        if (Indexed(spec)) std::copy(spec.Colours.begin(), spec.Colours.end(), out.begin() + 52);
    } else {
        const std::size_t s = Shift(spec);
        if (spec.Kind == PictureKind::Mip)
            std::copy_n("PIM", 3, out.begin());
        else
            std::copy_n("BRS", 3, out.begin() + 1);
        out[s + 24] = spec.FormatCode;
        out[s + 37] = spec.Mapp;
        out[s + 38] = spec.SubImages;
        out[s + 52] = spec.LayoutB ? 0x40 : spec.Marker;
        const std::size_t size = s + (spec.LayoutB ? 145 : 69);
        testkit::PutU16(out, size, static_cast<std::uint16_t>(spec.Width));
        testkit::PutU16(out, size + 4, static_cast<std::uint16_t>(spec.Height));
        if (Indexed(spec))
            std::copy(spec.Colours.begin(), spec.Colours.end(), out.begin() + s + (spec.LayoutB ? 56 : 96));
    }

    for (std::size_t y = 0; y < height; ++y) {
        auto row = out.begin() + static_cast<std::ptrdiff_t>(start + y * rowBytes);
        std::fill_n(row, rowBytes, spec.PadByte);
        const std::uint16_t* pixels = spec.Pixels.data() + y * width;
        for (std::size_t x = 0; x < width; ++x) {
            if (Indexed(spec)) {
                // High nibble first; an odd width keeps the pad byte's low nibble in the last byte.
                auto& pair = row[static_cast<std::ptrdiff_t>(x / 2)];
                if (x % 2 == 0)
                    pair = static_cast<std::uint8_t>(pixels[x] << 4 | (spec.PadByte & 0x0F));
                else
                    pair = static_cast<std::uint8_t>((pair & 0xF0) | pixels[x]);
            } else {
                row[static_cast<std::ptrdiff_t>(2 * x)] = static_cast<std::uint8_t>(pixels[x]);
                row[static_cast<std::ptrdiff_t>(2 * x + 1)] = static_cast<std::uint8_t>(pixels[x] >> 8);
            }
        }
    }
    return out;
}

PictureSpec RandomPicture(PictureKind kind, std::uint8_t formatCode, std::int16_t width, std::int16_t height,
                          std::uint32_t seed) {
    std::mt19937 random(seed);
    PictureSpec spec;
    spec.Kind = kind;
    spec.FormatCode = formatCode;
    spec.Width = width;
    spec.Height = height;
    spec.Pixels.resize(Side(width) * Side(height));
    const std::uint32_t mask = formatCode < 3 ? 0x0F : 0xFFFF;
    for (auto& p : spec.Pixels)
        p = static_cast<std::uint16_t>(random() & mask);
    if (formatCode < 3)
        for (auto& c : spec.Colours)
            c = static_cast<std::uint8_t>(random());
    return spec;
}

} // namespace kelvot
