#pragma once

// Builds DAT files in memory for tests, the demo archive and the benchmarks.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kelvot::testkit {

struct TestEntry {
    std::string name; // Windows-1252 bytes, at most 12
    std::vector<std::uint8_t> data;
};

// An archive laid out as the writers lay it out: count, records, then the data back to back.
std::vector<std::uint8_t> BuildArchive(const std::vector<TestEntry>& entries);

// Overwrites fields of a built archive, to make damaged ones.
void PutU16(std::vector<std::uint8_t>& bytes, std::size_t pos, std::uint16_t value);
void PutU32(std::vector<std::uint8_t>& bytes, std::size_t pos, std::uint32_t value);
// Puts 13 raw bytes into entry i's name field.
void PutNameField(std::vector<std::uint8_t>& bytes, int index, const std::vector<std::uint8_t>& field);

// Entry data that classifies as the given tag ("MIP", "SRB", "PBF", "3DO", "OTH"), padded to size.
std::vector<std::uint8_t> DataOfType(const std::string& tag, std::size_t size = 16);

void WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path);

} // namespace kelvot::testkit
