#include "export/bmp_writer.h"

#include <limits>
#include <span>
#include <stdexcept>

namespace kelvot {

namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;

std::uint32_t ColourTableEntries(int bitCount) {
    return bitCount == 24 ? 0 : 1u << bitCount;
}

class LittleEndian {
  public:
    explicit LittleEndian(std::vector<std::uint8_t>& out) : out_(out) {}
    LittleEndian& U16(std::uint16_t v) {
        out_.push_back(static_cast<std::uint8_t>(v));
        out_.push_back(static_cast<std::uint8_t>(v >> 8));
        return *this;
    }
    LittleEndian& U32(std::uint32_t v) {
        return U16(static_cast<std::uint16_t>(v)).U16(static_cast<std::uint16_t>(v >> 16));
    }

  private:
    std::vector<std::uint8_t>& out_;
};

} // namespace

std::uint32_t BmpPixelOffset(int bitCount) {
    return kFileHeaderSize + kInfoHeaderSize + 4 * ColourTableEntries(bitCount);
}

namespace {

// The pixel rows as the file holds them: the state's own, bottom row first.
std::span<const std::uint8_t> PixelRows(const ImageState& image) {
    return std::span(image.Bits)
        .first(static_cast<std::size_t>(image.Stride) * static_cast<std::size_t>(image.ImageHeight));
}

} // namespace

std::vector<std::uint8_t> BmpHeaderBytes(const ImageState& image) {
    const int bits = image.BitCount;
    if (bits != 4 && bits != 8 && bits != 24)
        throw std::invalid_argument("a BMP is written at 4, 8 or 24 bits, not " + std::to_string(bits));
    if (image.ImageWidth <= 0 || image.ImageHeight <= 0 ||
        image.Stride != DibStride(image.ImageWidth, bits) ||
        image.Bits.size() / static_cast<std::size_t>(image.Stride) <
            static_cast<std::size_t>(image.ImageHeight))
        throw std::invalid_argument("the picture's pixel rows do not match its size");

    const std::uint64_t pixelBytes =
        static_cast<std::uint64_t>(image.Stride) * static_cast<std::uint64_t>(image.ImageHeight);
    const std::uint32_t offBits = BmpPixelOffset(bits);
    if (offBits + pixelBytes > std::numeric_limits<std::uint32_t>::max())
        throw std::invalid_argument("the picture is too large for a BMP file");
    const auto fileSize = static_cast<std::uint32_t>(offBits + pixelBytes);

    std::vector<std::uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    LittleEndian le(out);
    le.U32(fileSize).U16(0).U16(0).U32(offBits);
    le.U32(kInfoHeaderSize)
        .U32(static_cast<std::uint32_t>(image.ImageWidth))
        .U32(static_cast<std::uint32_t>(image.ImageHeight)) // positive: rows run bottom-up
        .U16(1)
        .U16(static_cast<std::uint16_t>(bits))
        .U32(0)  // biCompression: none
        .U32(0)  // biSizeImage
        .U32(0)  // biXPelsPerMeter
        .U32(0)  // biYPelsPerMeter
        .U32(0)  // biClrUsed: all the depth allows
        .U32(0); // biClrImportant
    const std::size_t tableBytes = 4 * ColourTableEntries(bits);
    out.insert(out.end(), image.ColourTable.begin(),
               image.ColourTable.begin() + static_cast<std::ptrdiff_t>(tableBytes));
    return out;
}

std::vector<std::uint8_t> BmpFileBytes(const ImageState& image) {
    std::vector<std::uint8_t> out = BmpHeaderBytes(image);
    const auto rows = PixelRows(image);
    out.insert(out.end(), rows.begin(), rows.end());
    return out;
}

void WriteBmpFile(const ImageState& image, const FileHandle& file) {
    WriteBytes(file, BmpHeaderBytes(image));
    WriteBytes(file, PixelRows(image));
}

} // namespace kelvot
