// Writes the files and archives that bench/run.sh times, made with the test builders:
//
//   make_bench_data FOLDER
//
//   FOLDER/many/     32,767 files of 1 byte to 8 KiB (about 128 MiB), types mixed, names scrambled
//   FOLDER/MANY.DAT  the same files as one archive
//   FOLDER/pics/     10,000 pictures of every kind and format code, 16 to 200 pixels a side
//   FOLDER/PICS.DAT  the same pictures as one archive
//   FOLDER/PICS1K.DAT the first 1,000 of them
//   FOLDER/magick/   those 1,000 as ImageMagick's input, the pixels of each BMP file the export writes
//                    (picture, and mask as name_ti): colour table and indices as a colour-mapped TGA file
//                    where the BMP file has a colour table (4 and 8 bits), else a PPM file (24 bits)
//   FOLDER/big/      256 files of 2 to 6 MiB of random bytes (about 1 GiB)
//   FOLDER/BIG.DAT   the same files as one archive
//   FOLDER/WIN.DAT   32,767 entries of 1 byte to 125 KiB (about 2 GiB), types mixed, names scrambled: the
//                    window's largest archive
//   FOLDER/pic/      PIC.MIP, a 512 x 512 picture, and PIC.png, another picture of that size, to import
//
// Everything is derived from fixed seeds, so two runs write the same bytes. The large archives are
// written one entry at a time, so this program never holds more than one entry's bytes.

#include "archive/dat_format.h"
#include "archive_builder.h"
#include "editing/archive_writer.h"
#include "export/picture_export.h"
#include "export/png_export.h"
#include "images/pixel_decoders.h"
#include "picture_builder.h"

#include <cstdio>
#include <fstream>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace kelvot;

namespace {

// Random bytes quickly: 8 at a time from splitmix64.
void FillRandom(std::vector<std::uint8_t>& bytes, std::uint64_t& state) {
    std::size_t k = 0;
    for (; k + 8 <= bytes.size(); k += 8) {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        for (int b = 0; b < 8; ++b)
            bytes[k + static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(z >> (8 * b));
    }
    for (; k < bytes.size(); ++k)
        bytes[k] = static_cast<std::uint8_t>(state += 0x9E37);
}

std::string Name(const char* format, int n) {
    char name[16];
    std::snprintf(name, sizeof name, format, n);
    return name;
}

void WriteEntries(const fs::path& folder, const fs::path& archive,
                  const std::vector<testkit::TestEntry>& entries) {
    fs::create_directories(folder);
    for (const auto& e : entries)
        testkit::WriteFile(folder / e.name, e.data);
    testkit::WriteFile(archive, testkit::BuildArchive(entries));
}

void Many(const fs::path& out) {
    const char* tags[] = {"MIP", "SRB", "PBF", "3DO", "OTH"};
    std::mt19937 random(32767);
    std::uint64_t state = 1;
    std::vector<testkit::TestEntry> entries;
    for (int i = 0; i < kMaxEntryCount; ++i) {
        const char* tag = tags[i % 5];
        // Scrambled numbers, so the list's sort has work to do.
        testkit::TestEntry e{Name("E%05d.", (i * 7919) % kMaxEntryCount) + tag, {}};
        e.data.resize(1 + random() % 8192);
        FillRandom(e.data, state);
        const auto head = testkit::DataOfType(tag, 4); // the first bytes give the entry its type
        std::copy_n(head.begin(), std::min(head.size(), e.data.size()), e.data.begin());
        entries.push_back(std::move(e));
    }
    WriteEntries(out / "many", out / "MANY.DAT", entries);
}

// A 24-bit picture as a PPM file.
void WritePpm(const fs::path& path, const ImageState& state) {
    const std::vector<std::uint8_t> bgra = ToBgra32TopDown(state);
    const std::string text =
        "P6\n" + std::to_string(state.ImageWidth) + " " + std::to_string(state.ImageHeight) + "\n255\n";
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    for (std::size_t k = 0; k < bgra.size(); k += 4)
        bytes.insert(bytes.end(), {bgra[k + 2], bgra[k + 1], bgra[k]});
    testkit::WriteFile(path, bytes);
}

// A 4- or 8-bit picture as a colour-mapped TGA file: its own colour table and one index per pixel, rows
// bottom-up as the state holds them.
void WriteTga(const fs::path& path, const ImageState& state) {
    const int colours = 1 << state.BitCount;
    auto low = [](int v) { return static_cast<std::uint8_t>(v & 0xFF); };
    auto high = [](int v) { return static_cast<std::uint8_t>(v >> 8); };
    std::vector<std::uint8_t> bytes = {0,
                                       1,
                                       1,
                                       0,
                                       0,
                                       low(colours),
                                       high(colours),
                                       24,
                                       0,
                                       0,
                                       0,
                                       0,
                                       low(state.ImageWidth),
                                       high(state.ImageWidth),
                                       low(state.ImageHeight),
                                       high(state.ImageHeight),
                                       8,
                                       0};
    for (int c = 0; c < colours; ++c)
        bytes.insert(bytes.end(), state.ColourTable.begin() + 4 * c, state.ColourTable.begin() + 4 * c + 3);
    for (std::int32_t y = 0; y < state.ImageHeight; ++y) {
        const std::uint8_t* row = state.Bits.data() + std::size_t(y) * std::size_t(state.Stride);
        for (std::int32_t x = 0; x < state.ImageWidth; ++x)
            bytes.push_back(state.BitCount == 8 ? row[x] : (row[x / 2] >> (x % 2 ? 0 : 4)) & 0x0F);
    }
    testkit::WriteFile(path, bytes);
}

// ImageMagick's input for a picture the BMP export writes: a TGA file where the export writes a colour
// table, else a PPM file.
void WriteMagickInput(const fs::path& stem, const ImageState& state) {
    if (state.BitCount == 24)
        WritePpm(stem.string() + ".ppm", state);
    else
        WriteTga(stem.string() + ".tga", state);
}

void Pictures(const fs::path& out) {
    const PictureKind kinds[] = {PictureKind::Mip, PictureKind::Srb, PictureKind::Pbf};
    const char* extensions[] = {"MIP", "SRB", "PBF"};
    std::mt19937 random(10000);
    std::vector<testkit::TestEntry> entries;
    fs::create_directories(out / "magick");
    for (int i = 0; i < 10000; ++i) {
        const auto kind = kinds[i % 3];
        const auto code = static_cast<std::uint8_t>(random() % 6);
        const auto width = static_cast<std::int16_t>(16 + random() % 185);
        const auto height = static_cast<std::int16_t>(16 + random() % 185);
        PictureSpec spec = RandomPicture(kind, code, width, height, static_cast<std::uint32_t>(i));
        spec.LayoutB = code < 3 && kind != PictureKind::Pbf && random() % 2 == 0;
        testkit::TestEntry e{Name("P%05d.", i) + extensions[i % 3], EncodePicture(spec)};
        if (i < 1000) {
            const std::string stem = Name("P%05d", i);
            const auto picture = DecodePicture(kind, e.data);
            if (!picture) throw std::runtime_error("picture " + stem + " does not decode");
            WriteMagickInput(out / "magick" / stem, *picture);
            if (HasExportMask(kind, code))
                WriteMagickInput(out / "magick" / (stem + "_ti"), *DecodeExportMask(kind, e.data));
        }
        entries.push_back(std::move(e));
    }
    WriteEntries(out / "pics", out / "PICS.DAT", entries);
    entries.resize(1000);
    testkit::WriteFile(out / "PICS1K.DAT", testkit::BuildArchive(entries));
}

// An archive laid out as BuildArchive lays it out, its entries made one at a time by fill(i, data).
void StreamArchive(const fs::path& path, const std::vector<std::string>& names,
                   const std::vector<std::int64_t>& sizes,
                   const std::function<void(int, std::vector<std::uint8_t>&)>& fill) {
    const auto count = static_cast<std::int64_t>(sizes.size());
    std::vector<std::uint8_t> directory(2);
    testkit::PutU16(directory, 0, static_cast<std::uint16_t>(count));
    std::int64_t offset = DirectoryEnd(count);
    for (int i = 0; i < count; ++i) {
        const auto record = EncodeDirectoryRecord(static_cast<std::uint32_t>(sizes[i]), names[i],
                                                  static_cast<std::uint32_t>(offset));
        directory.insert(directory.end(), record.begin(), record.end());
        offset += sizes[i];
    }
    if (offset > kMaxArchiveSize) throw std::runtime_error(path.string() + " would be too large");
    std::ofstream archive(path, std::ios::binary | std::ios::trunc);
    archive.write(reinterpret_cast<const char*>(directory.data()),
                  static_cast<std::streamsize>(directory.size()));
    std::vector<std::uint8_t> data;
    for (int i = 0; i < count; ++i) {
        data.resize(static_cast<std::size_t>(sizes[i]));
        fill(i, data);
        archive.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    }
    if (!archive.flush()) throw std::runtime_error("cannot write " + path.string());
}

// About 1 GiB of random bytes, each entry also written as a file.
void Big(const fs::path& out) {
    std::mt19937 random(1024);
    std::vector<std::string> names;
    std::vector<std::int64_t> sizes;
    for (int i = 0; i < 256; ++i) {
        names.push_back(Name("B%03d.OTH", i));
        sizes.push_back((std::int64_t{2} << 20) + random() % (std::int64_t{4} << 20));
    }
    fs::create_directories(out / "big");
    std::uint64_t state = 2;
    StreamArchive(out / "BIG.DAT", names, sizes, [&](int i, std::vector<std::uint8_t>& data) {
        FillRandom(data, state);
        testkit::WriteFile(out / "big" / names[static_cast<std::size_t>(i)], data);
    });
}

// The most entries an archive holds, about 2 GiB in all: random bytes behind each type's first bytes.
void Window(const fs::path& out) {
    const char* tags[] = {"MIP", "SRB", "PBF", "3DO", "OTH"};
    std::mt19937 random(2048);
    std::vector<std::string> names;
    std::vector<std::int64_t> sizes;
    for (int i = 0; i < kMaxEntryCount; ++i) {
        names.push_back(Name("W%05d.", (i * 7919) % kMaxEntryCount) + tags[i % 5]);
        sizes.push_back(1 + random() % 128000);
    }
    std::uint64_t state = 3;
    StreamArchive(out / "WIN.DAT", names, sizes, [&](int i, std::vector<std::uint8_t>& data) {
        FillRandom(data, state);
        const auto head = testkit::DataOfType(tags[i % 5], 4);
        std::copy_n(head.begin(), std::min(head.size(), data.size()), data.begin());
    });
}

void PictureToImport(const fs::path& out) {
    fs::create_directories(out / "pic");
    testkit::WriteFile(out / "pic" / "PIC.MIP",
                       EncodePicture(RandomPicture(PictureKind::Mip, 3, 512, 512, 1)));
    const auto other = EncodePicture(RandomPicture(PictureKind::Mip, 3, 512, 512, 2));
    testkit::WriteFile(out / "pic" / "PIC.png",
                       EncodePng(PictureKind::Mip, other, *DecodePicture(PictureKind::Mip, other)));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_bench_data FOLDER\n");
        return 2;
    }
    try {
        const fs::path out = argv[1];
        fs::create_directories(out);
        Many(out);
        Pictures(out);
        Big(out);
        Window(out);
        PictureToImport(out);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_bench_data: %s\n", e.what());
        return 1;
    }
    return 0;
}
