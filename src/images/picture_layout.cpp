#include "images/picture_layout.h"

#include <algorithm>

namespace kelvot {

namespace {

// SRB fields lie 96 bytes further on than MIP fields; PBF has its own compact header.
constexpr PictureLayout kMip{.FormatCode = 24,
                             .Mapp = 37,
                             .SubImages = 38,
                             .Marker = 52,
                             .WidthA = 69,
                             .HeightA = 73,
                             .WidthB = 145,
                             .HeightB = 149,
                             .ColoursA = 96,
                             .ColoursB = 56,
                             .Pixels4 = 172,
                             .Pixels16 = 96,
                             .PaddedRows = false,
                             .IndexedMask = true,
                             .OpaqueGrey16 = false};
constexpr PictureLayout kSrb{.FormatCode = 120,
                             .Mapp = 133,
                             .SubImages = 134,
                             .Marker = 148,
                             .WidthA = 165,
                             .HeightA = 169,
                             .WidthB = 241,
                             .HeightB = 245,
                             .ColoursA = 192,
                             .ColoursB = 152,
                             .Pixels4 = 268,
                             .Pixels16 = 192,
                             .PaddedRows = false,
                             .IndexedMask = true,
                             .OpaqueGrey16 = false};
constexpr PictureLayout kPbf{.FormatCode = 24,
                             .Mapp = std::nullopt,
                             .SubImages = std::nullopt,
                             .Marker = std::nullopt,
                             .WidthA = 25,
                             .HeightA = 29,
                             .WidthB = 25,
                             .HeightB = 29,
                             .ColoursA = 52,
                             .ColoursB = 52,
                             .Pixels4 = 128,
                             .Pixels16 = 52,
                             .PaddedRows = true,
                             .IndexedMask = false,
                             .OpaqueGrey16 = true};

// One past the last header byte the layout names.
constexpr std::size_t HeaderEnd(const PictureLayout& l) {
    std::size_t end = std::max({l.FormatCode + 1, l.WidthA + 2, l.HeightA + 2, l.WidthB + 2, l.HeightB + 2});
    for (const auto& field : {l.Mapp, l.SubImages, l.Marker})
        if (field) end = std::max(end, *field + 1);
    return end;
}
static_assert(HeaderEnd(kMip) <= kPictureHeaderBytes && HeaderEnd(kSrb) <= kPictureHeaderBytes &&
              HeaderEnd(kPbf) <= kPictureHeaderBytes);

std::optional<std::uint8_t> ByteAt(EntryBytes entry, std::size_t pos) {
    if (pos >= entry.size()) return std::nullopt;
    return entry[pos];
}

std::optional<std::int16_t> Int16At(EntryBytes entry, std::size_t pos) {
    if (pos > entry.size() || entry.size() - pos < 2) return std::nullopt;
    return static_cast<std::int16_t>(ReadU16(entry, pos));
}

} // namespace

std::optional<PictureKind> PictureKindOf(EntryType type) {
    switch (type) {
    case EntryType::MIP:
        return PictureKind::Mip;
    case EntryType::SRB:
        return PictureKind::Srb;
    case EntryType::PBF:
        return PictureKind::Pbf;
    case EntryType::ThreeDO:
    case EntryType::OTH:
        break;
    }
    return std::nullopt;
}

const PictureLayout& LayoutOf(PictureKind kind) {
    switch (kind) {
    case PictureKind::Srb:
        return kSrb;
    case PictureKind::Pbf:
        return kPbf;
    case PictureKind::Mip:
        break;
    }
    return kMip;
}

std::optional<PixelFormat> PixelFormatOf(std::uint8_t formatCode) {
    switch (formatCode) {
    case 0:
    case 1:
    case 2:
        return PixelFormat::Indexed4;
    case 3:
        return PixelFormat::Rgb565;
    case 4:
        return PixelFormat::Argb1555;
    case 5:
        return PixelFormat::Argb4444;
    default:
        return std::nullopt;
    }
}

std::optional<std::uint8_t> ReadFormatCode(PictureKind kind, EntryBytes entry) {
    return ByteAt(entry, LayoutOf(kind).FormatCode);
}

std::optional<PictureHeader> ReadPictureHeader(PictureKind kind, EntryBytes entry) {
    const PictureLayout& layout = LayoutOf(kind);
    PictureHeader header;
    const auto code = ByteAt(entry, layout.FormatCode);
    if (!code) return std::nullopt;
    header.FormatCode = *code;
    if (layout.Marker) {
        const auto marker = ByteAt(entry, *layout.Marker);
        if (!marker) return std::nullopt;
        header.LayoutB = *marker == kLayoutBMarker;
    }
    const auto width = Int16At(entry, header.LayoutB ? layout.WidthB : layout.WidthA);
    const auto height = Int16At(entry, header.LayoutB ? layout.HeightB : layout.HeightA);
    if (!width || !height) return std::nullopt;
    header.Width = *width;
    header.Height = *height;
    if (layout.Mapp) {
        header.Mapp = ByteAt(entry, *layout.Mapp);
        if (!header.Mapp) return std::nullopt;
    }
    if (layout.SubImages) {
        header.SubImages = ByteAt(entry, *layout.SubImages);
        if (!header.SubImages) return std::nullopt;
    }
    header.DepthText = header.LayoutB || header.FormatCode < 3 ? "4 BPP" : "16 BPP";
    return header;
}

} // namespace kelvot
