// Any bytes as a picture entry of the kind and format code its two trailing bytes choose: every named
// decoder and mask builder of that kind, the palette loaders, DecodePicture and DecodeMask as the preview
// calls them, the status-bar texts, and the pixels in the form the window and JPEG export draw from.

#include "check.h"
#include "images/picture_encoders.h"
#include "images/pixel_decoders.h"
#include "images/status_text.h"
#include "picture_input.h"

#include <array>

using namespace kelvot;
using kelvot::fuzz::IsUtf8;

namespace {

using Routine = std::optional<ImageState> (*)(EntryBytes);

// The named routines of each kind, in the order of PictureKind.
const std::array<std::vector<Routine>, 3> kRoutines = {{
    {DecodeMip4, DecodeMip565, DecodeMip1555, DecodeMip4444, MaskMip4, MaskMip1555, MaskMip4444},
    {DecodeSrb4, DecodeSrb565, DecodeSrb1555, DecodeSrb4444, MaskSrb4, MaskSrb1555, MaskSrb4444},
    {DecodePbf4, DecodePbf565, DecodePbf1555, DecodePbf4444, MaskPbf1555, MaskPbf4444},
}};

// A decoded state is a DIB as it stands, sized from the entry's own bytes rather than from its header
// alone: the pixels it holds came from the entry, at most two buffer bytes per entry byte plus row padding.
void CheckState(const std::optional<ImageState>& state, EntryBytes entry) {
    if (!state) return;
    FUZZ_CHECK(state->ImageWidth > 0 && state->ImageHeight > 0);
    FUZZ_CHECK(state->BitCount == 4 || state->BitCount == 8 || state->BitCount == 24);
    FUZZ_CHECK(state->Stride == DibStride(state->ImageWidth, state->BitCount));
    const auto rows = static_cast<std::size_t>(state->ImageHeight);
    FUZZ_CHECK(state->Bits.size() == static_cast<std::size_t>(state->Stride) * rows);
    FUZZ_CHECK(state->Bits.size() <= 2 * entry.size() + 4 * rows);
    const std::vector<std::uint8_t> pixels = ToBgra32TopDown(*state);
    FUZZ_CHECK(pixels.size() == 4 * static_cast<std::size_t>(state->ImageWidth) * rows);
    for (std::size_t k = 3; k < pixels.size(); k += 4)
        FUZZ_CHECK(pixels[k] == 255);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto input = kelvot::fuzz::ReadPictureInput(data, size);
    if (!input) return 0;
    const EntryBytes entry(input->Entry);
    for (const Routine routine : kRoutines[static_cast<std::size_t>(input->Kind)])
        CheckState(routine(entry), entry);
    const std::optional<Palette> palettes[] = {LoadMipPalette(entry), LoadSrbPalette(entry),
                                               LoadPbfPalette(entry)};
    (void)palettes;

    const auto picture = DecodePicture(input->Kind, entry);
    CheckState(picture, entry);
    CheckState(DecodeMask(input->Kind, entry), entry);
    const auto code = ReadFormatCode(input->Kind, entry);
    // The header alone tells how many bytes a picture takes, and a picture sampled for a small view is
    // the same picture, smaller.
    const auto extent = MeasurePicture(input->Kind, entry);
    const auto sampled = DecodePicture(input->Kind, entry, 3);
    CheckState(sampled, entry);
    FUZZ_CHECK(sampled.has_value() == picture.has_value());
    if (picture) {
        FUZZ_CHECK(extent && extent->Width == picture->ImageWidth && extent->Height == picture->ImageHeight &&
                   extent->Bytes <= static_cast<std::int64_t>(entry.size()));
        FUZZ_CHECK(sampled->ImageWidth == (picture->ImageWidth + 2) / 3);
        FUZZ_CHECK(
            DecodePicture(input->Kind, entry.first(static_cast<std::size_t>(extent->Bytes))).has_value());
    }
    if (picture) {
        // Only codes 0-5 decode, and codes 0-2 at 4 bits with their colour table.
        FUZZ_CHECK(code && PixelFormatOf(*code));
        FUZZ_CHECK(picture->BitCount == (*code < 3 ? 4 : 24));
        // Codes 0-2 read their size where the status bar reads it. (Codes 3-5 under the layout-B marker
        // do not: the status bar reads layout B, the decoder layout A.)
        if (*code < 3) {
            const auto header = ReadPictureHeader(input->Kind, entry);
            FUZZ_CHECK(header && header->Width == picture->ImageWidth &&
                       header->Height == picture->ImageHeight);
        }
    }

    // A picture stored back (import) changes no byte outside the picture and keeps the entry's length;
    // stored from its own decoded colours, a 16-bit picture gives the entry back.
    if (picture && extent && std::int64_t{extent->Width} * extent->Height <= 4096) {
        RgbaPicture colours{extent->Width, extent->Height, {}, {}, {}};
        const std::vector<std::uint8_t> bgra = ToBgra32TopDown(*picture);
        for (std::size_t k = 0; k < bgra.size(); k += 4)
            colours.Rgba.insert(colours.Rgba.end(), {bgra[k + 2], bgra[k + 1], bgra[k], 255});
        const auto stored = StorePicture(input->Kind, entry, colours);
        FUZZ_CHECK(stored && stored->Entry.size() == entry.size());
        FUZZ_CHECK(
            std::equal(entry.begin() + extent->Bytes, entry.end(), stored->Entry.begin() + extent->Bytes));
        if (*code == 3) FUZZ_CHECK(std::equal(entry.begin(), entry.end(), stored->Entry.begin()));
    }

    constexpr EntryType kTypes[] = {EntryType::MIP, EntryType::SRB, EntryType::PBF};
    StatusLine line;
    line.Type = kTypes[static_cast<std::size_t>(input->Kind)];
    line.LineText = "P.MIP";
    line.Entry = entry;
    line.EntrySize = static_cast<std::int32_t>(entry.size());
    line.LineNumber = line.LineCount = 1;
    for (const auto& panel : StatusPanelTexts(line, "."))
        FUZZ_CHECK(IsUtf8(panel));
    return 0;
}
