#include "images/pixel_decoders.h"

#include "images/pixel_rows.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <span>

namespace kelvot {

namespace {

constexpr std::int64_t RoundUp4(std::int64_t n) {
    return (n + 3) / 4 * 4;
}

// Where a picture's pixel rows lie according to its header alone.
struct Geometry {
    std::int64_t Width = 0;
    std::int64_t Height = 0;
    std::int64_t Start = 0;  // first byte of the top row
    std::int64_t Stride = 0; // bytes from one entry row to the next
};

// The pixels of one picture, known to lie inside its entry.
struct Fit {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    const std::uint8_t* Top = nullptr; // first byte of the top row
    std::size_t EntryStride = 0;
};

// Whether codes 0-2 of this entry use layout B; nullopt when the marker lies outside the entry.
std::optional<bool> UsesLayoutB(const PictureLayout& layout, EntryBytes entry) {
    if (!layout.Marker) return false;
    if (*layout.Marker >= entry.size()) return std::nullopt;
    return entry[*layout.Marker] == kLayoutBMarker;
}

// The geometry of a 4-bit (codes 0-2) or 16-bit (codes 3-5) picture; nullopt when a header field lies
// outside the bytes given or the size is 0 or less. 64-bit arithmetic: nothing here can overflow.
std::optional<Geometry> Measure(const PictureLayout& layout, EntryBytes entry, int entryBits) {
    const bool indexed = entryBits == 4;
    const auto layoutB = indexed ? UsesLayoutB(layout, entry) : false; // codes 3-5 ignore the marker
    if (!layoutB) return std::nullopt;
    const std::size_t widthAt = *layoutB ? layout.WidthB : layout.WidthA;
    const std::size_t heightAt = *layoutB ? layout.HeightB : layout.HeightA;
    if (std::max(widthAt, heightAt) + 2 > entry.size()) return std::nullopt;
    const std::int64_t width = static_cast<std::int16_t>(ReadU16(entry, widthAt));
    const std::int64_t height = static_cast<std::int16_t>(ReadU16(entry, heightAt));
    if (width <= 0 || height <= 0) return std::nullopt;
    const std::int64_t rowBytes = indexed ? (width + 1) / 2 : 2 * width; // odd 4-bit rows end in half a byte
    return Geometry{width, height, static_cast<std::int64_t>(indexed ? layout.Pixels4 : layout.Pixels16),
                    layout.PaddedRows ? RoundUp4(rowBytes) : rowBytes};
}

// Where the pixels lie, checked against the entry before anything is sized from the header.
std::optional<Fit> FitPixels(const PictureLayout& layout, EntryBytes entry, int entryBits) {
    const auto g = Measure(layout, entry, entryBits);
    const auto size = static_cast<std::int64_t>(entry.size());
    if (!g || g->Start > size || g->Stride * g->Height > size - g->Start) return std::nullopt;
    return Fit{static_cast<std::int32_t>(g->Width), static_cast<std::int32_t>(g->Height),
               entry.data() + g->Start, static_cast<std::size_t>(g->Stride)};
}

std::uint8_t* BufferRow(ImageState& state, std::int32_t j) {
    return state.Bits.data() + static_cast<std::size_t>(j) * static_cast<std::size_t>(state.Stride);
}

// Every step-th pixel of a decoded row of any width, into a row of `width` pixels.
void PickEvery(std::int32_t step, const std::uint8_t* in, std::uint8_t* out, std::int32_t width, int bits) {
    for (std::int64_t x = 0, from = 0; x < width; ++x, from += step) {
        if (bits == 24) {
            std::memcpy(out + 3 * x, in + 3 * from, 3);
        } else if (bits == 8) {
            out[x] = in[from];
        } else {
            const std::uint8_t v = from % 2 == 0 ? in[from / 2] >> 4 : in[from / 2] & 0x0F;
            out[x / 2] |= static_cast<std::uint8_t>(x % 2 == 0 ? v << 4 : v);
        }
    }
}

// The state of every step-th row and column: `decodeRow` turns one entry row into one buffer row of the
// picture's full width, straight into the state when nothing is left out, else into a scratch row that
// the kept pixels are picked from. Buffers run bottom-up, entries top-down.
template <class DecodeRow>
ImageState DecodeRows(const Fit& fit, std::uint8_t bitCount, std::int32_t step, DecodeRow decodeRow) {
    ImageState state;
    state.ImageWidth = (fit.Width - 1) / step + 1;
    state.ImageHeight = (fit.Height - 1) / step + 1;
    state.BitCount = bitCount;
    state.Stride = static_cast<std::int32_t>(DibStride(state.ImageWidth, bitCount));
    state.Bits.assign(static_cast<std::size_t>(state.Stride) * static_cast<std::size_t>(state.ImageHeight),
                      0);
    std::vector<std::uint8_t> scratch(step > 1 ? static_cast<std::size_t>(DibStride(fit.Width, bitCount))
                                               : 0);
    for (std::int32_t j = 0; j < state.ImageHeight; ++j) {
        const std::uint8_t* in = fit.Top + static_cast<std::size_t>(state.ImageHeight - 1 - j) *
                                               static_cast<std::size_t>(step) * fit.EntryStride;
        if (step == 1) {
            decodeRow(in, BufferRow(state, j));
        } else {
            decodeRow(in, scratch.data());
            PickEvery(step, scratch.data(), BufferRow(state, j), state.ImageWidth, bitCount);
        }
    }
    return state;
}

std::optional<Palette> LoadPalette(const PictureLayout& layout, EntryBytes entry) {
    const auto layoutB = UsesLayoutB(layout, entry);
    if (!layoutB) return std::nullopt;
    const std::size_t at = *layoutB ? layout.ColoursB : layout.ColoursA;
    if (at > entry.size() || entry.size() - at < 64) return std::nullopt;
    Palette palette{};
    std::copy_n(entry.begin() + static_cast<std::ptrdiff_t>(at), 64, palette.begin());
    return palette;
}

Palette GreyPalette(int levels, int step, bool opaque) {
    Palette palette{};
    for (int i = 0; i < levels; ++i) {
        const auto grey = static_cast<std::uint8_t>(i * step);
        palette[4 * i] = palette[4 * i + 1] = palette[4 * i + 2] = grey;
        palette[4 * i + 3] = opaque ? 255 : grey;
    }
    return palette;
}

std::optional<ImageState> WithPalette(std::optional<ImageState> state,
                                      const std::optional<Palette>& palette) {
    if (!state || !palette) return std::nullopt;
    state->ColourTable = *palette;
    return state;
}

// Entry rows are copied unchanged: the high nibble is the left pixel in both the entry and the DIB. A PBF
// row already has the DIB's padded length, so its padding bytes come along.
std::optional<ImageState> Decode4(const PictureLayout& layout, EntryBytes entry, std::int32_t step = 1) {
    const auto fit = FitPixels(layout, entry, 4);
    if (!fit) return std::nullopt;
    const std::size_t length = std::min(fit->EntryStride, static_cast<std::size_t>(DibStride(fit->Width, 4)));
    return DecodeRows(*fit, 4, step,
                      [&](const std::uint8_t* in, std::uint8_t* out) { std::memcpy(out, in, length); });
}

// One 16-bit pixel in, three bytes out.
std::optional<ImageState> Decode16(rows::Channels channels, const PictureLayout& layout, EntryBytes entry,
                                   std::int32_t step = 1) {
    const auto fit = FitPixels(layout, entry, 16);
    if (!fit) return std::nullopt;
    return DecodeRows(*fit, 24, step, [&](const std::uint8_t* in, std::uint8_t* out) {
        rows::Expand16(channels, in, out, fit->Width);
    });
}

std::optional<ImageState> MaskIndexed(const PictureLayout& layout, EntryBytes entry, std::int32_t step = 1) {
    const auto fit = FitPixels(layout, entry, 4);
    if (!fit) return std::nullopt;
    const auto colours = LoadPalette(layout, entry);
    if (!colours) return std::nullopt;
    std::array<std::uint8_t, 16> transparency{};
    for (std::size_t k = 0; k < 16; ++k)
        transparency[k] = (*colours)[4 * k + 3];
    return DecodeRows(*fit, 8, step, [&](const std::uint8_t* in, std::uint8_t* out) {
        rows::LookUp4(in, out, fit->Width, transparency);
    });
}

// Bits 12-15 of each pixel become one nibble of a 4-bit mask; an odd width leaves the last low nibble 0.
std::optional<ImageState> Mask4444(const PictureLayout& layout, EntryBytes entry, std::int32_t step = 1) {
    const auto fit = FitPixels(layout, entry, 16);
    if (!fit) return std::nullopt;
    return DecodeRows(*fit, 4, step, [&](const std::uint8_t* in, std::uint8_t* out) {
        rows::HighNibbles(in, out, fit->Width);
    });
}

const PictureLayout& Mip() {
    return LayoutOf(PictureKind::Mip);
}
const PictureLayout& Srb() {
    return LayoutOf(PictureKind::Srb);
}
const PictureLayout& Pbf() {
    return LayoutOf(PictureKind::Pbf);
}

} // namespace

std::int64_t DibStride(std::int64_t width, int bitCount) {
    return (width * bitCount + 31) / 32 * 4;
}

std::optional<Palette> LoadMipPalette(EntryBytes entry) {
    return LoadPalette(Mip(), entry);
}
std::optional<Palette> LoadSrbPalette(EntryBytes entry) {
    return LoadPalette(Srb(), entry);
}
std::optional<Palette> LoadPbfPalette(EntryBytes entry) {
    return LoadPalette(Pbf(), entry);
}
Palette SetGreyPalette256() {
    return GreyPalette(256, 1, true);
}
Palette SetGreyPalette16() {
    return GreyPalette(16, 16, false);
}
Palette SetGreyPalette16Pbf() {
    return GreyPalette(16, 16, true);
}

std::optional<ImageState> DecodeMip4(EntryBytes entry) {
    return Decode4(Mip(), entry);
}
std::optional<ImageState> DecodeSrb4(EntryBytes entry) {
    return Decode4(Srb(), entry);
}
std::optional<ImageState> DecodePbf4(EntryBytes entry) {
    return Decode4(Pbf(), entry);
}
std::optional<ImageState> DecodeMip565(EntryBytes entry) {
    return Decode16(rows::Channels::Rgb565, Mip(), entry);
}
std::optional<ImageState> DecodeSrb565(EntryBytes entry) {
    return Decode16(rows::Channels::Rgb565, Srb(), entry);
}
std::optional<ImageState> DecodePbf565(EntryBytes entry) {
    return Decode16(rows::Channels::Rgb565, Pbf(), entry);
}
std::optional<ImageState> DecodeMip1555(EntryBytes entry) {
    return Decode16(rows::Channels::Argb1555, Mip(), entry);
}
std::optional<ImageState> DecodeSrb1555(EntryBytes entry) {
    return Decode16(rows::Channels::Argb1555, Srb(), entry);
}
std::optional<ImageState> DecodePbf1555(EntryBytes entry) {
    return Decode16(rows::Channels::Argb1555, Pbf(), entry);
}
std::optional<ImageState> DecodeMip4444(EntryBytes entry) {
    return Decode16(rows::Channels::Argb4444, Mip(), entry);
}
std::optional<ImageState> DecodeSrb4444(EntryBytes entry) {
    return Decode16(rows::Channels::Argb4444, Srb(), entry);
}
std::optional<ImageState> DecodePbf4444(EntryBytes entry) {
    return Decode16(rows::Channels::Argb4444, Pbf(), entry);
}
std::optional<ImageState> MaskMip4(EntryBytes entry) {
    return MaskIndexed(Mip(), entry);
}
std::optional<ImageState> MaskSrb4(EntryBytes entry) {
    return MaskIndexed(Srb(), entry);
}
std::optional<ImageState> MaskMip1555(EntryBytes entry) {
    return Decode16(rows::Channels::Mask1555, Mip(), entry);
}
std::optional<ImageState> MaskSrb1555(EntryBytes entry) {
    return Decode16(rows::Channels::Mask1555, Srb(), entry);
}
std::optional<ImageState> MaskPbf1555(EntryBytes entry) {
    return Decode16(rows::Channels::Mask1555, Pbf(), entry);
}
std::optional<ImageState> MaskMip4444(EntryBytes entry) {
    return Mask4444(Mip(), entry);
}
std::optional<ImageState> MaskSrb4444(EntryBytes entry) {
    return Mask4444(Srb(), entry);
}
std::optional<ImageState> MaskPbf4444(EntryBytes entry) {
    return Mask4444(Pbf(), entry);
}

std::optional<ImageState> DecodePicture(PictureKind kind, EntryBytes entry, std::int32_t step) {
    const PictureLayout& layout = LayoutOf(kind);
    const auto code = ReadFormatCode(kind, entry);
    const auto format = code ? PixelFormatOf(*code) : std::nullopt;
    if (!format || step < 1) return std::nullopt;
    switch (*format) {
    case PixelFormat::Indexed4:
        return WithPalette(Decode4(layout, entry, step), LoadPalette(layout, entry));
    case PixelFormat::Rgb565:
        return Decode16(rows::Channels::Rgb565, layout, entry, step);
    case PixelFormat::Argb1555:
        return Decode16(rows::Channels::Argb1555, layout, entry, step);
    case PixelFormat::Argb4444:
        return Decode16(rows::Channels::Argb4444, layout, entry, step);
    }
    return std::nullopt;
}

std::optional<ImageState> DecodeMask(PictureKind kind, EntryBytes entry, std::int32_t step) {
    const PictureLayout& layout = LayoutOf(kind);
    const auto code = ReadFormatCode(kind, entry);
    if (!code || step < 1) return std::nullopt;
    switch (*code) {
    case 1:
    case 2:
        if (!layout.IndexedMask) return std::nullopt;
        return WithPalette(MaskIndexed(layout, entry, step), SetGreyPalette256());
    case 4:
        return Decode16(rows::Channels::Mask1555, layout, entry, step);
    case 5:
        return WithPalette(Mask4444(layout, entry, step), GreyPalette(16, 16, layout.OpaqueGrey16));
    default:
        return std::nullopt; // codes 0 and 3 carry no transparency; 6 and up are not decoded
    }
}

std::optional<ImageState> DecodeAlpha(PictureKind kind, EntryBytes entry, std::int32_t step) {
    const PictureLayout& layout = LayoutOf(kind);
    const auto code = ReadFormatCode(kind, entry);
    const auto format = code ? PixelFormatOf(*code) : std::nullopt;
    if (!format || step < 1) return std::nullopt;
    std::optional<ImageState> alpha;
    if (*format == PixelFormat::Indexed4) {
        const auto fit = FitPixels(layout, entry, 4);
        const auto colours = LoadPalette(layout, entry);
        if (!fit || !colours) return std::nullopt;
        std::array<std::uint8_t, 16> table;
        for (std::size_t k = 0; k < 16; ++k)
            table[k] = *code == 0 ? 255 : (*colours)[4 * k + 3];
        alpha = DecodeRows(*fit, 8, step, [&](const std::uint8_t* in, std::uint8_t* out) {
            rows::LookUp4(in, out, fit->Width, table);
        });
    } else {
        const auto fit = FitPixels(layout, entry, 16);
        if (!fit) return std::nullopt;
        alpha = DecodeRows(*fit, 8, step, [&](const std::uint8_t* in, std::uint8_t* out) {
            for (std::int32_t x = 0; x < fit->Width; ++x) {
                const unsigned pixel = in[2 * x] | static_cast<unsigned>(in[2 * x + 1]) << 8;
                out[x] = *format == PixelFormat::Rgb565     ? 255
                         : *format == PixelFormat::Argb1555 ? ((pixel & 0x8000) != 0 ? 255 : 0)
                                                            : static_cast<std::uint8_t>(17 * (pixel >> 12));
            }
        });
    }
    alpha->ColourTable = SetGreyPalette256();
    return alpha;
}

std::optional<PictureExtent> MeasurePicture(PictureKind kind, EntryBytes head) {
    const PictureLayout& layout = LayoutOf(kind);
    const auto code = ReadFormatCode(kind, head);
    const auto format = code ? PixelFormatOf(*code) : std::nullopt;
    if (!format) return std::nullopt;
    const bool indexed = *format == PixelFormat::Indexed4;
    const auto g = Measure(layout, head, indexed ? 4 : 16);
    if (!g) return std::nullopt;
    std::int64_t bytes = g->Start + g->Stride * g->Height;
    if (indexed) {
        const bool layoutB = UsesLayoutB(layout, head).value_or(false);
        bytes = std::max<std::int64_t>(
            bytes, static_cast<std::int64_t>(layoutB ? layout.ColoursB : layout.ColoursA) + 64);
    }
    return PictureExtent{static_cast<std::int32_t>(g->Width), static_cast<std::int32_t>(g->Height), bytes};
}

std::int32_t SampleStep(std::int64_t width, std::int64_t height, std::int64_t maxWidth,
                        std::int64_t maxHeight) {
    if (maxWidth <= 0 || maxHeight <= 0)
        return static_cast<std::int32_t>(std::max({width, height, std::int64_t{1}}));
    return static_cast<std::int32_t>(std::max({std::int64_t{1}, width / maxWidth, height / maxHeight}));
}

bool WriteBgra32TopDown(const ImageState& state, std::span<std::uint8_t> out) {
    const std::int64_t width = state.ImageWidth;
    const std::int64_t height = state.ImageHeight;
    const int bits = state.BitCount;
    if (width <= 0 || height <= 0 || (bits != 4 && bits != 8 && bits != 24)) return false;
    if (state.Stride < DibStride(width, bits) ||
        static_cast<std::int64_t>(state.Bits.size()) / state.Stride < height ||
        static_cast<std::int64_t>(out.size()) != 4 * width * height)
        return false;

    // The colour table as whole output pixels, so an indexed pixel is one load and one store.
    std::array<std::uint32_t, 256> palette{};
    const std::uint8_t opaqueBlack[4] = {0, 0, 0, 255};
    for (std::uint32_t& entry : palette)
        std::memcpy(&entry, opaqueBlack, 4);
    for (std::size_t i = 0; bits != 24 && i < palette.size() && 4 * i + 2 < state.ColourTable.size(); ++i) {
        const std::uint8_t* bgr = state.ColourTable.data() + 4 * i;
        const std::uint8_t pixel[4] = {bgr[0], bgr[1], bgr[2], 255};
        std::memcpy(&palette[i], pixel, 4);
    }
    std::array<std::uint32_t, 16> palette16{};
    std::copy_n(palette.begin(), palette16.size(), palette16.begin());
    const auto rowWidth = static_cast<std::int32_t>(width);
    for (std::int64_t y = 0; y < height; ++y) {
        const std::uint8_t* in = state.Bits.data() + (height - 1 - y) * state.Stride;
        std::uint8_t* px = out.data() + 4 * width * y;
        if (bits == 4) {
            rows::LookUp4Pixels(in, px, rowWidth, palette16);
        } else if (bits == 8) {
            for (std::int64_t x = 0; x < width; ++x, px += 4)
                std::memcpy(px, &palette[in[x]], 4);
        } else {
            rows::AddOpaqueAlpha(in, px, rowWidth);
        }
    }
    return true;
}

std::vector<std::uint8_t> ToBgra32TopDown(const ImageState& state) {
    if (state.ImageWidth <= 0 || state.ImageHeight <= 0) return {};
    std::vector<std::uint8_t> out(
        static_cast<std::size_t>(4 * std::int64_t{state.ImageWidth} * state.ImageHeight));
    if (!WriteBgra32TopDown(state, out)) return {};
    return out;
}

std::vector<std::uint8_t> ToPremultipliedBgra32TopDown(const ImageState& picture, const ImageState& alpha) {
    if (picture.ImageWidth != alpha.ImageWidth || picture.ImageHeight != alpha.ImageHeight) return {};
    std::vector<std::uint8_t> out = ToBgra32TopDown(picture);
    // The alpha state's grey table gives each opacity as its own blue byte.
    const std::vector<std::uint8_t> opacity = ToBgra32TopDown(alpha);
    if (out.empty() || opacity.size() != out.size()) return {};
    for (std::size_t i = 0; i < out.size(); i += 4) {
        const unsigned a = opacity[i];
        for (std::size_t c = 0; c < 3; ++c)
            out[i + c] = static_cast<std::uint8_t>((out[i + c] * a + 127) / 255);
        out[i + 3] = static_cast<std::uint8_t>(a);
    }
    return out;
}

} // namespace kelvot
