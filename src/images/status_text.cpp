#include "images/status_text.h"

#include "archive/codepage.h"
#include "images/picture_layout.h"

#include <cstdlib>

namespace kelvot {

namespace {

// Upper case in Windows-1252: the inverse of the lower-case folding used for names. Letters whose capital
// the code page lacks (ß, µ) stay as they are.
unsigned char UpperCase(unsigned char b) {
    if (b >= 'a' && b <= 'z') return static_cast<unsigned char>(b - 32);
    if (b >= 0xE0 && b <= 0xFE && b != 0xF7) return static_cast<unsigned char>(b - 32);
    switch (b) {
    case 0x9A:
        return 0x8A; // s with caron
    case 0x9C:
        return 0x8C; // oe
    case 0x9E:
        return 0x8E; // z with caron
    case 0xFF:
        return 0x9F; // y with diaeresis
    default:
        return b;
    }
}

// The last three characters of a list line, upper-cased: what an entry of no known type shows as its type.
std::string LastThreeUpper(std::string_view line) {
    std::string tail(line.substr(line.size() > 3 ? line.size() - 3 : 0));
    for (char& c : tail)
        c = static_cast<char>(UpperCase(static_cast<unsigned char>(c)));
    return PrintableName(tail);
}

} // namespace

std::string FormatKilobytes(std::int32_t size, std::string_view decimalSeparator) {
    // size / 1024 has at most ten binary fraction digits, so the rounding is done exactly in integers:
    // hundredths = size × 100 / 1024, a remainder of exactly half going to the even neighbour.
    const std::int64_t scaled = std::llabs(static_cast<std::int64_t>(size)) * 100;
    std::int64_t hundredths = scaled / 1024;
    const std::int64_t rest = scaled % 1024;
    if (rest > 512 || (rest == 512 && hundredths % 2 == 1)) ++hundredths;

    std::string text = size < 0 && hundredths > 0 ? "-" : "";
    text += std::to_string(hundredths / 100);
    const auto fraction = static_cast<int>(hundredths % 100);
    if (fraction != 0) {
        text += decimalSeparator;
        text += static_cast<char>('0' + fraction / 10);
        if (fraction % 10 != 0) text += static_cast<char>('0' + fraction % 10);
    }
    return text + " KB";
}

std::array<std::string, 7> StatusPanelTexts(const StatusLine& line, std::string_view decimalSeparator) {
    std::array<std::string, 7> panels;
    panels[1] = std::to_string(line.LineNumber) + " / " + std::to_string(line.LineCount);
    panels[2] = FormatKilobytes(line.EntrySize, decimalSeparator);

    const auto kind = line.Type ? PictureKindOf(*line.Type) : std::nullopt;
    if (!kind) {
        panels[3] = line.Type == EntryType::ThreeDO ? std::string("3DO") : LastThreeUpper(line.LineText);
        return panels;
    }
    panels[3] = std::string(TypeTag(*line.Type));
    const auto header = ReadPictureHeader(*kind, line.Entry);
    if (!header) return panels;
    panels[0] = std::to_string(header->Width) + " x " + std::to_string(header->Height) + " x " +
                std::string(header->DepthText);
    panels[4] = "Type " + std::to_string(header->FormatCode);
    if (header->Mapp) panels[5] = "Mapp " + std::to_string(*header->Mapp);
    if (header->SubImages) panels[6] = std::to_string(*header->SubImages - 1) + " Sub-images";
    return panels;
}

} // namespace kelvot
