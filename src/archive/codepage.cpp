#include "archive/codepage.h"

#include "archive/dat_format.h"

#include <array>
#include <cstdint>

namespace kelvot {

namespace {

// Bytes 0x80-0x9F; the five codes Windows-1252 leaves unassigned map to the C1 controls of the same value.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::optional<unsigned char> UnicodeToCp1252(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<unsigned char>(c);
    for (std::size_t i = 0; i < kHighControls.size(); ++i)
        if (kHighControls[i] == c) return static_cast<unsigned char>(0x80 + i);
    return std::nullopt;
}

// One code point from UTF-8 at pos; nullopt on a malformed or overlong sequence.
std::optional<char32_t> NextCodePoint(std::string_view s, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(s[pos]);
    int extra = 0;
    char32_t c = 0;
    if (lead < 0x80) {
        c = lead;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1, c = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, c = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, c = lead & 0x07;
    } else {
        return std::nullopt;
    }
    if (pos + extra >= s.size()) return std::nullopt;
    for (int k = 1; k <= extra; ++k) {
        const auto b = static_cast<unsigned char>(s[pos + k]);
        if ((b & 0xC0) != 0x80) return std::nullopt;
        c = (c << 6) | (b & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (c < kMin[extra]) return std::nullopt;
    pos += extra + 1;
    return c;
}

} // namespace

char32_t Cp1252ToUnicode(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F) return kHighControls[byte - 0x80];
    return byte;
}

std::string PrintableName(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (std::size_t k = 0; k < bytes.size(); ++k) {
        const auto b = static_cast<unsigned char>(bytes[k]);
        if (HasControlCharacter(bytes.substr(k, 1)))
            text += {'\\', 'x', kHex[b >> 4], kHex[b & 15]};
        else
            AppendUtf8(text, Cp1252ToUnicode(b));
    }
    return text;
}

std::string Cp1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char b : bytes)
        AppendUtf8(out, Cp1252ToUnicode(static_cast<unsigned char>(b)));
    return out;
}

std::optional<std::string> Utf8ToCp1252(std::string_view utf8) {
    std::string out;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const auto c = NextCodePoint(utf8, pos);
        if (!c) return std::nullopt;
        const auto b = UnicodeToCp1252(*c);
        if (!b) return std::nullopt;
        out += static_cast<char>(*b);
    }
    return out;
}

unsigned char FoldCase(unsigned char b) {
    if (b >= 'A' && b <= 'Z') return b + 32;
    if (b >= 0xC0 && b <= 0xDE && b != 0xD7) return b + 32;
    switch (b) {
    case 0x8A:
        return 0x9A; // S with caron
    case 0x8C:
        return 0x9C; // OE
    case 0x8E:
        return 0x9E; // Z with caron
    case 0x9F:
        return 0xFF; // Y with diaeresis
    default:
        return b;
    }
}

std::string FoldName(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        c = static_cast<char>(FoldCase(static_cast<unsigned char>(c)));
    return out;
}

bool NamesEqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldCase(static_cast<unsigned char>(a[i])) != FoldCase(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

int CompareNamesIgnoringCase(std::string_view a, std::string_view b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char32_t ca = Cp1252ToUnicode(FoldCase(static_cast<unsigned char>(a[i])));
        const char32_t cb = Cp1252ToUnicode(FoldCase(static_cast<unsigned char>(b[i])));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

} // namespace kelvot
