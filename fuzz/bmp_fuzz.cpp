// The BMP writer on whatever the decoders give for any entry bytes (kind and format code chosen by the
// two trailing bytes, as in the decoders target), and the mask that BMP export writes beside a picture.
// Every file must describe exactly the state it came from.

#include "check.h"
#include "export/bmp_writer.h"
#include "export/picture_export.h"
#include "picture_input.h"

#include <cstring>

using namespace kelvot;

namespace {

std::uint32_t U32At(const std::vector<std::uint8_t>& file, std::size_t at) {
    return file[at] | file[at + 1] << 8 | file[at + 2] << 16 | static_cast<std::uint32_t>(file[at + 3]) << 24;
}

void CheckBmp(const std::optional<ImageState>& state) {
    if (!state) return;
    const std::vector<std::uint8_t> file = BmpFileBytes(*state);
    const std::uint32_t offBits = BmpPixelOffset(state->BitCount);
    const std::size_t pixelBytes = static_cast<std::size_t>(state->Stride) * state->ImageHeight;
    FUZZ_CHECK(file.size() == offBits + pixelBytes);
    FUZZ_CHECK(file[0] == 'B' && file[1] == 'M');
    FUZZ_CHECK(U32At(file, 2) == file.size());
    FUZZ_CHECK(U32At(file, 10) == offBits);
    FUZZ_CHECK(static_cast<std::int32_t>(U32At(file, 18)) == state->ImageWidth);
    FUZZ_CHECK(static_cast<std::int32_t>(U32At(file, 22)) == state->ImageHeight);
    FUZZ_CHECK((file[28] | file[29] << 8) == state->BitCount);
    const std::size_t table = offBits - 54;
    FUZZ_CHECK(std::memcmp(file.data() + 54, state->ColourTable.data(), table) == 0);
    FUZZ_CHECK(std::memcmp(file.data() + offBits, state->Bits.data(), pixelBytes) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto input = kelvot::fuzz::ReadPictureInput(data, size);
    if (!input) return 0;
    const EntryBytes entry(input->Entry);
    const auto picture = DecodePicture(input->Kind, entry);
    CheckBmp(picture);
    CheckBmp(DecodeMask(input->Kind, entry));
    const auto mask = DecodeExportMask(input->Kind, entry);
    CheckBmp(mask);
    // Export writes a picture's mask file whenever its format has one; both come from the same pixels.
    const auto code = ReadFormatCode(input->Kind, entry);
    if (picture && HasExportMask(input->Kind, *code)) {
        FUZZ_CHECK(mask.has_value());
        FUZZ_CHECK(mask->ImageWidth == picture->ImageWidth && mask->ImageHeight == picture->ImageHeight);
    }
    if (mask) FUZZ_CHECK(picture.has_value());
    return 0;
}
