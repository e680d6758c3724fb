#include "images/picture_encoders.h"

#include "images/pixel_decoders.h"

#include <libimagequant.h>

#include <algorithm>
#include <memory>
#include <set>

namespace kelvot {

namespace {

// The stored value whose decoded form, value × scale + offset, is nearest to `c`.
unsigned Nearest(unsigned c, unsigned scale, unsigned offset, unsigned top) {
    return std::min(top, (c < offset ? 0 : c - offset + scale / 2) / scale);
}

unsigned Encode16(PixelFormat format, const std::uint8_t* rgba) {
    const unsigned r = rgba[0], g = rgba[1], b = rgba[2], a = rgba[3];
    switch (format) {
    case PixelFormat::Rgb565:
        return Nearest(r, 8, 0, 31) << 11 | Nearest(g, 4, 0, 63) << 5 | Nearest(b, 8, 0, 31);
    case PixelFormat::Argb1555:
        return (a >= 128 ? 0x8000u : 0) | Nearest(r, 8, 7, 31) << 10 | Nearest(g, 8, 7, 31) << 5 |
               Nearest(b, 8, 7, 31);
    case PixelFormat::Argb4444:
        return Nearest(a, 17, 0, 15) << 12 | Nearest(r, 16, 0, 15) << 8 | Nearest(g, 16, 0, 15) << 4 |
               Nearest(b, 16, 0, 15);
    case PixelFormat::Indexed4:
        break;
    }
    return 0;
}

struct Indexed {
    std::vector<std::uint8_t> Indices;
    std::vector<std::array<std::uint8_t, 4>> Palette; // at most 16; empty: the entry's table stays
    std::int32_t ReducedFrom = 0;
};

// A colour as the table compares it: red, green, blue, and alpha where the code carries one.
std::uint32_t Key(const std::uint8_t* rgba, bool withAlpha) {
    return rgba[0] | rgba[1] << 8 | rgba[2] << 16 | static_cast<std::uint32_t>(withAlpha ? rgba[3] : 0) << 24;
}

// libimagequant's objects, each freed by its own function.
struct LiqFree {
    void operator()(liq_attr* p) const { liq_attr_destroy(p); }
    void operator()(liq_image* p) const { liq_image_destroy(p); }
    void operator()(liq_result* p) const { liq_result_destroy(p); }
};
template <class T> using Liq = std::unique_ptr<T, LiqFree>;

Indexed ReduceTo16(const RgbaPicture& picture, bool withAlpha, std::int32_t colours) {
    std::vector<std::uint8_t> rgba = picture.Rgba;
    if (!withAlpha)
        for (std::size_t k = 3; k < rgba.size(); k += 4)
            rgba[k] = 255;
    const Liq<liq_attr> attr(liq_attr_create());
    liq_set_max_colors(attr.get(), 16);
    const Liq<liq_image> image(
        liq_image_create_rgba(attr.get(), rgba.data(), picture.Width, picture.Height, 0));
    liq_result* raw = nullptr;
    if (!image || liq_image_quantize(image.get(), attr.get(), &raw) != LIQ_OK) return {};
    const Liq<liq_result> result(raw);
    Indexed out;
    out.Indices.resize(static_cast<std::size_t>(picture.Width) * picture.Height);
    if (liq_write_remapped_image(result.get(), image.get(), out.Indices.data(), out.Indices.size()) != LIQ_OK)
        return {};
    const liq_palette* palette = liq_get_palette(result.get());
    for (unsigned k = 0; k < palette->count && k < 16; ++k)
        out.Palette.push_back(
            {palette->entries[k].r, palette->entries[k].g, palette->entries[k].b, palette->entries[k].a});
    out.ReducedFrom = colours;
    return out;
}

// The indices and palette a 4-bit code stores, chosen as the header comment says. `table` is the entry's
// colour table (blue, green, red, fourth byte).
std::optional<Indexed> ChooseIndices(const RgbaPicture& picture, EntryBytes table, bool withAlpha) {
    if (!picture.Indices.empty() && picture.Palette.size() <= 16)
        return Indexed{picture.Indices, picture.Palette, 0};
    std::vector<std::uint32_t> keys(16);
    for (std::size_t k = 0; k < 16; ++k) {
        const std::uint8_t rgba[4] = {table[4 * k + 2], table[4 * k + 1], table[4 * k], table[4 * k + 3]};
        keys[k] = Key(rgba, withAlpha);
    }
    Indexed inTable;
    std::set<std::uint32_t> colours;
    for (std::size_t p = 0; p < picture.Rgba.size(); p += 4) {
        const std::uint32_t key = Key(&picture.Rgba[p], withAlpha);
        const auto found = std::find(keys.begin(), keys.end(), key);
        if (found != keys.end()) inTable.Indices.push_back(static_cast<std::uint8_t>(found - keys.begin()));
        colours.insert(key);
    }
    if (inTable.Indices.size() * 4 == picture.Rgba.size()) return inTable;
    Indexed reduced = ReduceTo16(picture, withAlpha, static_cast<std::int32_t>(colours.size()));
    if (reduced.Indices.empty()) return std::nullopt;
    return reduced;
}

} // namespace

std::optional<StoredPicture> StorePicture(PictureKind kind, EntryBytes entry, const RgbaPicture& picture) {
    const auto code = ReadFormatCode(kind, entry);
    const auto format = code ? PixelFormatOf(*code) : std::nullopt;
    const auto extent = MeasurePicture(kind, entry);
    if (!format || !extent || extent->Width != picture.Width || extent->Height != picture.Height ||
        extent->Bytes > static_cast<std::int64_t>(entry.size()) ||
        picture.Rgba.size() != 4 * static_cast<std::size_t>(picture.Width) * picture.Height)
        return std::nullopt;
    const PictureLayout& layout = LayoutOf(kind);
    StoredPicture stored{{entry.begin(), entry.end()}, 0};
    std::uint8_t* bytes = stored.Entry.data();
    const auto width = static_cast<std::size_t>(picture.Width);

    if (*format != PixelFormat::Indexed4) {
        const std::size_t stride = layout.PaddedRows ? (2 * width + 3) / 4 * 4 : 2 * width;
        for (std::size_t y = 0; y < static_cast<std::size_t>(picture.Height); ++y)
            for (std::size_t x = 0; x < width; ++x) {
                const unsigned pixel = Encode16(*format, &picture.Rgba[4 * (y * width + x)]);
                std::uint8_t* out = bytes + layout.Pixels16 + y * stride + 2 * x;
                out[0] = static_cast<std::uint8_t>(pixel);
                out[1] = static_cast<std::uint8_t>(pixel >> 8);
            }
        return stored;
    }

    const bool layoutB = layout.Marker && entry[*layout.Marker] == kLayoutBMarker;
    std::uint8_t* table = bytes + (layoutB ? layout.ColoursB : layout.ColoursA);
    const auto chosen = ChooseIndices(picture, {table, 64}, *code != 0);
    if (!chosen) return std::nullopt;
    for (std::size_t k = 0; k < chosen->Palette.size(); ++k) {
        const auto& [r, g, b, a] = chosen->Palette[k];
        table[4 * k] = b, table[4 * k + 1] = g, table[4 * k + 2] = r;
        if (*code != 0) table[4 * k + 3] = a; // code 0 carries no transparency: its fourth bytes stay
    }
    const std::size_t rowBytes = (width + 1) / 2;
    const std::size_t stride = layout.PaddedRows ? (rowBytes + 3) / 4 * 4 : rowBytes;
    for (std::size_t y = 0; y < static_cast<std::size_t>(picture.Height); ++y)
        for (std::size_t x = 0; x < width; ++x) {
            std::uint8_t& pair = bytes[layout.Pixels4 + y * stride + x / 2];
            const std::uint8_t index = chosen->Indices[y * width + x] & 0x0F;
            pair = x % 2 == 0 ? static_cast<std::uint8_t>((pair & 0x0F) | index << 4)
                              : static_cast<std::uint8_t>((pair & 0xF0) | index);
        }
    stored.ReducedFrom = chosen->ReducedFrom;
    return stored;
}

} // namespace kelvot
