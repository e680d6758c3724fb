#include "images/pixel_rows.h"

#include <cstring>
#include <type_traits>

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

void LookUp4PixelsFrom(const std::uint8_t* in, std::uint8_t* out, std::int32_t from, std::int32_t width,
                       const std::array<std::uint32_t, 16>& table) {
    for (std::int32_t x = from; x < width; ++x) {
        const std::uint8_t pair = in[x / 2];
        std::memcpy(out + 4 * x, &table[x % 2 == 0 ? pair >> 4 : pair & 0x0F], 4);
    }
}

void AddOpaqueAlphaFrom(const std::uint8_t* in, std::uint8_t* out, std::int32_t from, std::int32_t width) {
    for (std::int32_t x = from; x < width; ++x) {
        std::memcpy(out + 4 * x, in + 3 * x, 3);
        out[4 * x + 3] = 255;
    }
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

// Sixteen indices in, sixteen pixels (64 bytes) out.
KELVOT_SSSE3 inline void LookUpSixteenPixels(const __m128i (&plane)[4], __m128i indices, std::uint8_t* to) {
    const __m128i b = _mm_shuffle_epi8(plane[0], indices), g = _mm_shuffle_epi8(plane[1], indices);
    const __m128i r = _mm_shuffle_epi8(plane[2], indices), a = _mm_shuffle_epi8(plane[3], indices);
    const __m128i bgLow = _mm_unpacklo_epi8(b, g), bgHigh = _mm_unpackhi_epi8(b, g);
    const __m128i raLow = _mm_unpacklo_epi8(r, a), raHigh = _mm_unpackhi_epi8(r, a);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_unpacklo_epi16(bgLow, raLow));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 16), _mm_unpackhi_epi16(bgLow, raLow));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 32), _mm_unpacklo_epi16(bgHigh, raHigh));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 48), _mm_unpackhi_epi16(bgHigh, raHigh));
}

// 32 pixels per step: 16 bytes in, 128 bytes out. Each of a pixel's four bytes is looked up by pshufb in
// a 16-byte table of its own, and the four results are interleaved into whole pixels.
KELVOT_SSSE3 void LookUp4PixelsVector(const std::uint8_t* in, std::uint8_t* out, std::int32_t width,
                                      const std::array<std::uint32_t, 16>& table) {
    alignas(16) std::uint8_t planes[4][16];
    for (int i = 0; i < 16; ++i) {
        std::uint8_t pixel[4];
        std::memcpy(pixel, &table[static_cast<std::size_t>(i)], 4);
        for (int c = 0; c < 4; ++c)
            planes[c][i] = pixel[c];
    }
    __m128i plane[4];
    for (int c = 0; c < 4; ++c)
        plane[c] = _mm_load_si128(reinterpret_cast<const __m128i*>(planes[c]));
    const __m128i low = _mm_set1_epi8(0x0F);
    std::int32_t x = 0;
    for (; x + 32 <= width; x += 32) {
        const __m128i pairs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x / 2));
        const __m128i left = _mm_and_si128(_mm_srli_epi16(pairs, 4), low);
        const __m128i right = _mm_and_si128(pairs, low);
        LookUpSixteenPixels(plane, _mm_unpacklo_epi8(left, right), out + 4 * x);
        LookUpSixteenPixels(plane, _mm_unpackhi_epi8(left, right), out + 4 * x + 64);
    }
    LookUp4PixelsFrom(in, out, x, width, table);
}

// 4 pixels per step: 12 bytes in (a 16-byte load, so it stops 6 pixels before the end), 16 bytes out.
KELVOT_SSSE3 void AddOpaqueAlphaVector(const std::uint8_t* in, std::uint8_t* out, std::int32_t width) {
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    std::int32_t x = 0;
    for (; x + 6 <= width; x += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 3 * x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x),
                         _mm_or_si128(_mm_shuffle_epi8(v, spread), opaque));
    }
    AddOpaqueAlphaFrom(in, out, x, width);
}

// Asked once; safe to call from any static initialiser, hence the explicit init.
bool Vector() {
    static const bool available = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("ssse3") != 0;
    }();
    return available;
}

#endif

// Calls f with the channel layout as a compile-time constant, so each layout gets its own loop.
template <class F> void WithChannels(Channels channels, F f) {
    switch (channels) {
    case Channels::Rgb565:
        return f(std::integral_constant<Channels, Channels::Rgb565>{});
    case Channels::Argb1555:
        return f(std::integral_constant<Channels, Channels::Argb1555>{});
    case Channels::Argb4444:
        return f(std::integral_constant<Channels, Channels::Argb4444>{});
    case Channels::Mask1555:
        return f(std::integral_constant<Channels, Channels::Mask1555>{});
    }
}

} // namespace

void Expand16(Channels channels, const std::uint8_t* in, std::uint8_t* out, std::int32_t width) {
    WithChannels(channels, [&](auto c) {
#ifdef KELVOT_VECTOR_ROWS
        if (Vector()) return Expand16Vector<c.value>(in, out, width);
#endif
        Expand16From<c.value>(in, out, 0, width);
    });
}

void HighNibbles(const std::uint8_t* in, std::uint8_t* out, std::int32_t width) {
#ifdef KELVOT_VECTOR_ROWS
    if (Vector()) return HighNibblesVector(in, out, width);
#endif
    HighNibblesFrom(in, out, 0, width);
}

void LookUp4(const std::uint8_t* in, std::uint8_t* out, std::int32_t width,
             const std::array<std::uint8_t, 16>& table) {
#ifdef KELVOT_VECTOR_ROWS
    if (Vector()) return LookUp4Vector(in, out, width, table);
#endif
    LookUp4From(in, out, 0, width, table);
}

void LookUp4Pixels(const std::uint8_t* in, std::uint8_t* out, std::int32_t width,
                   const std::array<std::uint32_t, 16>& table) {
#ifdef KELVOT_VECTOR_ROWS
    if (Vector()) return LookUp4PixelsVector(in, out, width, table);
#endif
    LookUp4PixelsFrom(in, out, 0, width, table);
}

void AddOpaqueAlpha(const std::uint8_t* in, std::uint8_t* out, std::int32_t width) {
#ifdef KELVOT_VECTOR_ROWS
    if (Vector()) return AddOpaqueAlphaVector(in, out, width);
#endif
    AddOpaqueAlphaFrom(in, out, 0, width);
}

} // namespace kelvot::rows
