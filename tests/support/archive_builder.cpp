#include "archive_builder.h"

#include "archive/dat_format.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

namespace kelvot::testkit {

std::vector<std::uint8_t> BuildArchive(const std::vector<TestEntry>& entries) {
    const auto count = static_cast<std::int64_t>(entries.size());
    std::vector<std::uint8_t> out;
    out.push_back(static_cast<std::uint8_t>(count & 0xFF));
    out.push_back(static_cast<std::uint8_t>((count >> 8) & 0xFF));
    auto offset = static_cast<std::uint32_t>(DirectoryEnd(count));
    for (const TestEntry& e : entries) {
        const auto size = static_cast<std::uint32_t>(e.data.size());
        const auto record = EncodeDirectoryRecord(size, e.name, offset);
        out.insert(out.end(), record.begin(), record.end());
        offset += size;
    }
    for (const TestEntry& e : entries)
        out.insert(out.end(), e.data.begin(), e.data.end());
    return out;
}

void PutU16(std::vector<std::uint8_t>& bytes, std::size_t pos, std::uint16_t value) {
    bytes.at(pos) = static_cast<std::uint8_t>(value);
    bytes.at(pos + 1) = static_cast<std::uint8_t>(value >> 8);
}

void PutU32(std::vector<std::uint8_t>& bytes, std::size_t pos, std::uint32_t value) {
    for (int k = 0; k < 4; ++k)
        bytes.at(pos + k) = static_cast<std::uint8_t>(value >> (8 * k));
}

void PutNameField(std::vector<std::uint8_t>& bytes, int index, const std::vector<std::uint8_t>& field) {
    const auto pos = static_cast<std::size_t>(RecordStart(index) + kNameField);
    for (std::size_t k = 0; k < static_cast<std::size_t>(kNameFieldSize); ++k)
        bytes.at(pos + k) = k < field.size() ? field[k] : 0;
}

std::vector<std::uint8_t> DataOfType(const std::string& tag, std::size_t size) {
    // The four bytes each type is known by.
    static const std::map<std::string, std::string> kMagic = {{"MIP", {'P', 'I', 'M', 0}},
                                                              {"SRB", {0, 'B', 'R', 'S'}},
                                                              {"PBF", "PAMB"},
                                                              {"3DO", {0, 'O', 'D', '3'}},
                                                              {"OTH", "TEXT"}};
    const std::string& magic = kMagic.at(tag);
    std::vector<std::uint8_t> data(magic.begin(), magic.end());
    data.resize(std::max(size, data.size()), 0x20);
    return data;
}

void WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace kelvot::testkit
