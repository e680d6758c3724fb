#include "images/pixel_rows.h"

#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define KELVOT_VECTOR_ROWS 1
#include <immintrin.h>
#endif

namespace kelvot::rows {

namespace {

unsigned PixelAt(const std::uint8_t* row, std::int32_t x) {
    return row[2 * x] | static_cast<unsigned>(row[2 * x + 1]) << 8;
}

template <Channels C> void WritePixel(unsigned v, std::uint8_t* out) {
    if constexpr (C == Channels::Rgb565) {
        out[0] = static_cast<std::uint8_t>((v & 0x1F) << 3);
        out[1] = static_cast<std::uint8_t>(((v >> 5) & 0x3F) << 2);
        out[2] = static_cast<std::uint8_t>((v >> 11) << 3);
    } else if constexpr (C == Channels::Argb1555) {
        out[0] = static_cast<std::uint8_t>(((v & 0x1F) << 3) | 7);
        out[1] = static_cast<std::uint8_t>((((v >> 5) & 0x1F) << 3) | 7);
        out[2] = static_cast<std::uint8_t>((((v >> 10) & 0x1F) << 3) | 7);
    } else if constexpr (C == Channels::Argb4444) {
        out[0] = static_cast<std::uint8_t>((v & 0x0F) << 4);
        out[1] = static_cast<std::uint8_t>(((v >> 4) & 0x0F) << 4);
        out[2] = static_cast<std::uint8_t>(((v >> 8) & 0x0F) << 4);
    } else {
        const std::uint8_t level = (v & 0x8000) != 0 ? 255 : 0;
        out[0] = out[1] = out[2] = level;
    }
}

// The plain loops from pixel `from` on, so the vector loops can hand over their remainder.
template <Channels C>
void Expand16From(const std::uint8_t* in, std::uint8_t* out, std::int32_t from, std::int32_t width) {
    for (std::int32_t x = from; x < width; ++x)
        WritePixel<C>(PixelAt(in, x), out + 3 * x);
}

void HighNibblesFrom(const std::uint8_t* in, std::uint8_t* out, std::int32_t from, std::int32_t width) {
    // `from` is even: each step writes one whole byte.
    for (std::int32_t x = from; x < width; x += 2) {
        const auto left = static_cast<std::uint8_t>(in[2 * x + 1] & 0xF0);
        const auto right = x + 1 < width ? static_cast<std::uint8_t>(in[2 * x + 3] >> 4) : std::uint8_t{0};
        out[x / 2] = static_cast<std::uint8_t>(left | right);
    }
}

void LookUp4From(const std::uint8_t* in, std::uint8_t* out, std::int32_t from, std::int32_t width,
                 const std::array<std::uint8_t, 16>& table) {
    for (std::int32_t x = from; x < width; ++x) {
        const std::uint8_t pair = in[x / 2];
        out[x] = table[x % 2 == 0 ? pair >> 4 : pair & 0x0F];
    }
}

template <Channels C> void Expand16PlainOf(const std::uint8_t* in, std::uint8_t* out, std::int32_t width) {
    Expand16From<C>(in, out, 0, width);
}

#ifdef KELVOT_VECTOR_ROWS

#define KELVOT_SSSE3 __attribute__((target("ssse3")))

// Eight pixels (16-bit lanes) into two registers for the byte shuffles: `bg` holds blue in the low and
// green in the high byte of each lane, `r` red in the low byte (its high byte is not used).
template <Channels C> KELVOT_SSSE3 inline void SplitChannels(__m128i v, __m128i& bg, __m128i& r) {
    auto and16 = [](__m128i a, int mask) {
        return _mm_and_si128(a, _mm_set1_epi16(static_cast<short>(mask)));
    };
    if constexpr (C == Channels::Rgb565) {
        bg = _mm_or_si128(and16(_mm_slli_epi16(v, 3), 0x00F8), and16(_mm_slli_epi16(v, 5), 0xFC00));
        r = and16(_mm_srli_epi16(v, 8), 0x00F8);
    } else if constexpr (C == Channels::Argb1555) {
        bg = _mm_or_si128(
            _mm_or_si128(and16(_mm_slli_epi16(v, 3), 0x00F8), and16(_mm_slli_epi16(v, 6), 0xF800)),
            _mm_set1_epi16(0x0707));
        r = _mm_or_si128(and16(_mm_srli_epi16(v, 7), 0x00F8), _mm_set1_epi16(0x0007));
    } else if constexpr (C == Channels::Argb4444) {
        bg = _mm_or_si128(and16(_mm_slli_epi16(v, 4), 0x00F0), and16(_mm_slli_epi16(v, 8), 0xF000));
        r = and16(_mm_srli_epi16(v, 4), 0x00F0);
    } else {
        bg = _mm_srai_epi16(v, 15); // all ones where bit 15 is set
        r = bg;
    }
}

// 8 pixels per step: 16 bytes in, 24 bytes out (one 16-byte and one 8-byte store).
template <Channels C>
KELVOT_SSSE3 void Expand16Vector(const std::uint8_t* in, std::uint8_t* out, std::int32_t width) {
    const __m128i bgFirst = _mm_setr_epi8(0, 1, -1, 2, 3, -1, 4, 5, -1, 6, 7, -1, 8, 9, -1, 10);
    const __m128i rFirst = _mm_setr_epi8(-1, -1, 0, -1, -1, 2, -1, -1, 4, -1, -1, 6, -1, -1, 8, -1);
    const __m128i bgSecond = _mm_setr_epi8(11, -1, 12, 13, -1, 14, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i rSecond = _mm_setr_epi8(-1, 10, -1, -1, 12, -1, -1, 14, -1, -1, -1, -1, -1, -1, -1, -1);
    std::int32_t x = 0;
    for (; x + 8 <= width; x += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * x));
        __m128i bg, r;
        SplitChannels<C>(v, bg, r);
        const __m128i first = _mm_or_si128(_mm_shuffle_epi8(bg, bgFirst), _mm_shuffle_epi8(r, rFirst));
        const __m128i second = _mm_or_si128(_mm_shuffle_epi8(bg, bgSecond), _mm_shuffle_epi8(r, rSecond));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * x), first);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 3 * x + 16), second);
    }
    Expand16From<C>(in, out, x, width);
}

// 16 pixels per step: 32 bytes in, 8 bytes out. pmaddwd joins each pair as left × 16 + right.
KELVOT_SSSE3 void HighNibblesVector(const std::uint8_t* in, std::uint8_t* out, std::int32_t width) {
    const __m128i weights = _mm_set1_epi32(0x0001'0010);
    std::int32_t x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * x));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * x + 16));
        const __m128i pairsA = _mm_madd_epi16(_mm_srli_epi16(a, 12), weights);
        const __m128i pairsB = _mm_madd_epi16(_mm_srli_epi16(b, 12), weights);
        const __m128i words = _mm_packs_epi32(pairsA, pairsB);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x / 2), _mm_packus_epi16(words, words));
    }
    HighNibblesFrom(in, out, x, width);
}

// 32 pixels per step: 16 bytes in, 32 bytes out; pshufb looks the indices up in the 16-byte table.
KELVOT_SSSE3 void LookUp4Vector(const std::uint8_t* in, std::uint8_t* out, std::int32_t width,
                                const std::array<std::uint8_t, 16>& table) {
    const __m128i values = _mm_loadu_si128(reinterpret_cast<const __m128i*>(table.data()));
    const __m128i low = _mm_set1_epi8(0x0F);
    std::int32_t x = 0;
    for (; x + 32 <= width; x += 32) {
        const __m128i pairs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x / 2));
        const __m128i left = _mm_and_si128(_mm_srli_epi16(pairs, 4), low);
        const __m128i right = _mm_and_si128(pairs, low);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x),
                         _mm_shuffle_epi8(values, _mm_unpacklo_epi8(left, right)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x + 16),
                         _mm_shuffle_epi8(values, _mm_unpackhi_epi8(left, right)));
    }
    LookUp4From(in, out, x, width, table);
}

// Asked once; safe to call from any static initialiser, hence the explicit init.
bool Vector() {
    static const bool available = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("ssse3") != 0;
    }();
    return available;
}

#else

bool Vector() {
    return false;
}

#endif

} // namespace

bool VectorRowsAvailable() {
    return Vector();
}

void Expand16Plain(Channels channels, const std::uint8_t* in, std::uint8_t* out, std::int32_t width) {
    switch (channels) {
    case Channels::Rgb565:
        return Expand16PlainOf<Channels::Rgb565>(in, out, width);
    case Channels::Argb1555:
        return Expand16PlainOf<Channels::Argb1555>(in, out, width);
    case Channels::Argb4444:
        return Expand16PlainOf<Channels::Argb4444>(in, out, width);
    case Channels::Mask1555:
        return Expand16PlainOf<Channels::Mask1555>(in, out, width);
    }
}

void HighNibblesPlain(const std::uint8_t* in, std::uint8_t* out, std::int32_t width) {
    HighNibblesFrom(in, out, 0, width);
}

void LookUp4Plain(const std::uint8_t* in, std::uint8_t* out, std::int32_t width,
                  const std::array<std::uint8_t, 16>& table) {
    LookUp4From(in, out, 0, width, table);
}

void Expand16(Channels channels, const std::uint8_t* in, std::uint8_t* out, std::int32_t width) {
#ifdef KELVOT_VECTOR_ROWS
    if (Vector()) {
        switch (channels) {
        case Channels::Rgb565:
            return Expand16Vector<Channels::Rgb565>(in, out, width);
        case Channels::Argb1555:
            return Expand16Vector<Channels::Argb1555>(in, out, width);
        case Channels::Argb4444:
            return Expand16Vector<Channels::Argb4444>(in, out, width);
        case Channels::Mask1555:
            return Expand16Vector<Channels::Mask1555>(in, out, width);
        }
    }
#endif
    Expand16Plain(channels, in, out, width);
}

void HighNibbles(const std::uint8_t* in, std::uint8_t* out, std::int32_t width) {
#ifdef KELVOT_VECTOR_ROWS
    if (Vector()) return HighNibblesVector(in, out, width);
#endif
    HighNibblesPlain(in, out, width);
}

void LookUp4(const std::uint8_t* in, std::uint8_t* out, std::int32_t width,
             const std::array<std::uint8_t, 16>& table) {
#ifdef KELVOT_VECTOR_ROWS
    if (Vector()) return LookUp4Vector(in, out, width, table);
#endif
    LookUp4Plain(in, out, width, table);
}

} // namespace kelvot::rows
