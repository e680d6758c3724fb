#include "hostile_archives.h"

#include "archive/dat_format.h"
#include "archive_builder.h"
#include "picture_builder.h"

#include <cstdio>

namespace kelvot::testkit {

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Text(std::string_view text) {
    return {text.begin(), text.end()};
}

// A sound picture whose header then gets another width and height (layout A, or B for codes 0-2 with
// layoutB), leaving the pixel bytes as they were.
Bytes Picture(PictureKind kind, std::uint8_t code, std::int16_t width, std::int16_t height,
              bool layoutB = false) {
    PictureSpec spec = RandomPicture(kind, code, 4, 3, code + 7u * static_cast<unsigned>(kind));
    spec.LayoutB = layoutB;
    Bytes entry = EncodePicture(spec);
    const std::size_t shift = kind == PictureKind::Srb ? 96 : 0;
    const std::size_t at = kind == PictureKind::Pbf ? 25 : shift + (layoutB ? 145 : 69);
    PutU16(entry, at, static_cast<std::uint16_t>(width));
    PutU16(entry, at + 4, static_cast<std::uint16_t>(height));
    return entry;
}

Bytes Sound(PictureKind kind, std::uint8_t code) {
    return EncodePicture(RandomPicture(kind, code, 5, 3, 100u + code));
}

// Gives entry `index` other size fields (both) and another offset.
void SetRecord(Bytes& bytes, int index, std::uint32_t size, std::uint32_t offset) {
    PutU32(bytes, RecordStart(index) + kSizeField, size);
    PutU32(bytes, RecordStart(index) + kSizeField + 4, size);
    PutU32(bytes, RecordStart(index) + kOffsetField, offset);
}

// GOOD.TXT, then ODD.MIP whose record gets the given size and offset fields.
Bytes OddRecord(std::uint32_t size, std::uint32_t offset) {
    Bytes bytes = BuildArchive({{"GOOD.TXT", Text("good bytes")}, {"ODD.MIP", Sound(PictureKind::Mip, 5)}});
    SetRecord(bytes, 1, size, offset);
    return bytes;
}

Bytes Count(std::uint16_t count, std::size_t length) {
    Bytes bytes(length, 0x41);
    PutU16(bytes, 0, count);
    return bytes;
}

Bytes ManyEntries() {
    std::vector<TestEntry> entries;
    char name[16];
    for (int i = 0; i < kMaxEntryCount; ++i) {
        std::snprintf(name, sizeof name, "E%05d.OTH", i);
        entries.push_back({name, {static_cast<std::uint8_t>(i)}});
    }
    entries[7].data = Sound(PictureKind::Pbf, 3);
    return BuildArchive(entries);
}

Bytes Overlapping() {
    Bytes bytes = BuildArchive({{"A.MIP", Sound(PictureKind::Mip, 2)},
                                {"B.MIP", {}},
                                {"C.TXT", {}},
                                {"D.SRB", Sound(PictureKind::Srb, 4)},
                                {"DIR.TXT", {}}});
    const std::uint32_t a = static_cast<std::uint32_t>(DirectoryEnd(5));
    const auto aSize = static_cast<std::uint32_t>(Sound(PictureKind::Mip, 2).size());
    SetRecord(bytes, 1, aSize, a);             // B: the same bytes as A
    SetRecord(bytes, 2, 10, a + 20);           // C: inside A
    SetRecord(bytes, 3, aSize, a + aSize / 2); // D: from A's middle past its end
    SetRecord(bytes, 4, 40, 0);                // DIR.TXT: the count and the directory
    return bytes;
}

// Entries named by raw 13-byte name fields; the ones whose names climb out are pictures, so export
// would write beside them too.
Bytes HostileNames() {
    const std::vector<std::pair<std::string, Bytes>> fields = {
        {"..", Text("dot dot")},
        {".", Text("dot")},
        {"/", Text("slash")},
        {"\\", Text("backslash")},
        {"../ESC1.LP", Sound(PictureKind::Mip, 5)},
        {"..\\ESC2.LP", Sound(PictureKind::Srb, 2)},
        {kAbsoluteEscape, Sound(PictureKind::Pbf, 5)},
        {"../../E4.LP", Sound(PictureKind::Mip, 2)},
        {"A/B.TXT", Text("a/b")},
        {"A\\B.TXT", Text("a\\b")},
        {"\x01\x02.TXT", Text("control")},
        {"\x7F.TXT", Text("delete")},
        {"\x1B[2J.TXT", Text("escape")},
        {"\x80\x81\x8D.TXT", Text("high")},
        {"\xFF\xE9\xC0.MIP", Sound(PictureKind::Mip, 3)},
        {std::string("\0\0", 2), Text("empty name")},
        {std::string("AB\0CD.TXT", 9), Text("zero inside")},
        {"ABCDEFGHIJKLM", Text("no dot, 13 bytes")},
        {".MIP", Sound(PictureKind::Mip, 0)},
        {"X.MIP", Sound(PictureKind::Mip, 1)},
        {"x.mip", Text("same name, other type")},
        {"A:B*C?.TXT", Text("signs")},
    };
    std::vector<TestEntry> entries;
    for (std::size_t i = 0; i < fields.size(); ++i)
        entries.push_back({"N" + std::to_string(i) + ".TXT", fields[i].second});
    Bytes bytes = BuildArchive(entries);
    for (std::size_t i = 0; i < fields.size(); ++i)
        PutNameField(bytes, static_cast<int>(i), Bytes(fields[i].first.begin(), fields[i].first.end()));
    return bytes;
}

// Names that would move a terminal's cursor or split one line into two when printed raw.
Bytes ControlNames() {
    Bytes bytes = BuildArchive({{"A.TXT", Text("newline")}, {"B.TXT", Text("return")}, {"C.TXT", Text("escape")},
                                {"D.TXT", Text("c1")}, {"PLAIN.TXT", Text("plain")}});
    const std::vector<std::string> fields = {"A\nB.TXT", "X\rY.TXT", "\x1B]0;T\x07.TXT", "\x9D\x90.TXT"};
    for (std::size_t i = 0; i < fields.size(); ++i)
        PutNameField(bytes, static_cast<int>(i), Bytes(fields[i].begin(), fields[i].end()));
    return bytes;
}

// Each entry's first bytes give its type; the names only number them.
Bytes Pictures(const std::vector<Bytes>& entries) {
    std::vector<TestEntry> named;
    for (std::size_t i = 0; i < entries.size(); ++i)
        named.push_back({"P" + std::to_string(i) + ".PIC", entries[i]});
    return BuildArchive(named);
}

Bytes Cut(Bytes bytes, std::size_t length) {
    bytes.resize(length);
    return bytes;
}

// Layout B's marker on a 16-bit picture.
Bytes MarkerOnSixteenBits() {
    PictureSpec spec = RandomPicture(PictureKind::Mip, 5, 3, 2, 1);
    spec.Marker = 0x40;
    return EncodePicture(spec);
}

} // namespace

std::vector<HostileArchive> HostileArchives() {
    using K = PictureKind;
    const std::uint32_t afterGood = 2 + 2 * 27 + 10; // where ODD.MIP's data begins
    return {
        {"empty.dat", {}},
        {"one-byte.dat", {1}},
        {"count-0.dat", Count(0, 40)},
        {"count-minus-1.dat", Count(0xFFFF, 40)},
        {"count-minus-32768.dat", Count(0x8000, 40)},
        {"count-1-short.dat", Count(1, 10)},
        {"count-32767-short.dat", Count(0x7FFF, 200)},
        {"count-32767.dat", ManyEntries()},
        {"count-1-empty-entry.dat", BuildArchive({{"E.TXT", {}}})},
        {"size-7fffffff.dat", OddRecord(0x7FFFFFFF, afterGood)},
        {"size-80000000.dat", OddRecord(0x80000000, afterGood)},
        {"size-ffffffff.dat", OddRecord(0xFFFFFFFF, afterGood)},
        {"offset-7fffffff.dat", OddRecord(16, 0x7FFFFFFF)},
        {"offset-80000000.dat", OddRecord(16, 0x80000000)},
        {"offset-ffffffff.dat", OddRecord(16, 0xFFFFFFFF)},
        {"offset-wraps.dat", OddRecord(0x20, 0xFFFFFFF0)},
        {"offset-past-end.dat", OddRecord(16, static_cast<std::uint32_t>(OddRecord(0, 0).size() + 20))},
        {"offset-in-directory.dat", OddRecord(10, 0)},
        {"overlapping.dat", Overlapping()},
        {"names.dat", HostileNames()},
        {"control-names.dat", ControlNames()},
        // Extracted into its own folder, it would write over itself.
        {"self-named.dat", BuildArchive({{"ARCH.DAT", Text("not the archive")}, {"OTHER.TXT", Text("o")}})},
        {"pictures-negative.dat", Pictures({Picture(K::Mip, 5, -1, 3), Picture(K::Srb, 3, 4, -32768),
                                            Picture(K::Pbf, 4, -32768, -1), Picture(K::Mip, 0, -5, 3, true),
                                            Picture(K::Srb, 2, 3, -1, true), Picture(K::Pbf, 1, -4, 3)})},
        {"pictures-zero.dat",
         Pictures({Picture(K::Mip, 2, 0, 5), Picture(K::Srb, 5, 5, 0), Picture(K::Pbf, 0, 0, 0),
                   Picture(K::Mip, 4, 0, 0), Picture(K::Srb, 1, 0, 3, true)})},
        {"pictures-huge.dat",
         Pictures({Picture(K::Mip, 0, 32767, 32767), Picture(K::Srb, 2, 32767, 32767, true),
                   Picture(K::Pbf, 2, 32767, 32767), Picture(K::Mip, 3, 32767, 1),
                   Picture(K::Srb, 5, 1, 32767), Picture(K::Pbf, 5, 32767, 32767),
                   Picture(K::Mip, 4, 16383, 2)})},
        {"pictures-codes.dat", Pictures({Sound(K::Mip, 6), Sound(K::Srb, 7), Sound(K::Pbf, 0x40),
                                         Sound(K::Mip, 0xFF), MarkerOnSixteenBits()})},
        {"pictures-cut.dat",
         Pictures({Text("PIM"), Cut(Sound(K::Mip, 0), 30), Cut(Sound(K::Mip, 3), 70),
                   Cut(Sound(K::Srb, 5), 130), Cut(Sound(K::Pbf, 4), 27), Cut(Sound(K::Pbf, 1), 60),
                   Cut(Sound(K::Srb, 2), Sound(K::Srb, 2).size() - 1)})},
        {"pictures-sound.dat", Pictures({Sound(K::Mip, 0), Sound(K::Mip, 2), Sound(K::Srb, 1),
                                         Sound(K::Srb, 4), Sound(K::Pbf, 3), Sound(K::Pbf, 5)})},
    };
}

SparseArchive ExtractionBomb() {
    const std::uint64_t length = std::uint64_t{1} << 32;
    std::vector<TestEntry> entries(kMaxEntryCount);
    for (int i = 0; i < kMaxEntryCount; ++i)
        entries[i].name = "B" + std::to_string(i) + ".BIN";
    Bytes bytes = BuildArchive(entries);
    const auto start = static_cast<std::uint32_t>(DirectoryEnd(kMaxEntryCount));
    for (int i = 0; i < kMaxEntryCount; ++i)
        SetRecord(bytes, i, static_cast<std::uint32_t>(length - 1 - start), start);
    return {bytes, length};
}

SparseArchive HugePicture() {
    PictureSpec spec = RandomPicture(PictureKind::Mip, 5, 1, 1, 1);
    Bytes entry = EncodePicture(spec);
    PutU16(entry, 69, 32767);
    PutU16(entry, 73, 16383);
    entry.resize(PixelOffset(spec));
    const std::uint64_t size = entry.size() + std::uint64_t{2} * 32767 * 16383;
    Bytes bytes = BuildArchive({{"HUGE.MIP", entry}});
    SetRecord(bytes, 0, static_cast<std::uint32_t>(size), static_cast<std::uint32_t>(DirectoryEnd(1)));
    return {bytes, DirectoryEnd(1) + size};
}

void WriteSparse(const std::filesystem::path& path, const SparseArchive& archive) {
    WriteFile(path, archive.bytes);
    std::filesystem::resize_file(path, archive.length);
}

} // namespace kelvot::testkit
