// Decode throughput per picture kind and format code on 512 x 512 pictures, beside a plain copy of as many
// bytes as the decoder writes. Items processed are pixels, so the items/s column reads as pixels per
// second; the counter output_bytes is the size of what each run writes, the key bench/run.sh pairs a
// decoder with its copy by.

#include "images/pixel_decoders.h"
#include "picture_builder.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <numeric>
#include <vector>

namespace kelvot {
namespace {

constexpr std::int16_t kSide = 512;
constexpr std::int64_t kPixels = std::int64_t(kSide) * kSide;

std::vector<std::uint8_t> Entry(PictureKind kind, std::uint8_t code) {
    return EncodePicture(RandomPicture(kind, code, kSide, kSide, 42));
}

template <auto Decode> void DecodeBench(benchmark::State& state) {
    const auto kind = static_cast<PictureKind>(state.range(0));
    const auto entry = Entry(kind, static_cast<std::uint8_t>(state.range(1)));
    const auto once = Decode(kind, entry, 1);
    if (!once) {
        state.SkipWithError("the picture does not decode");
        return;
    }
    for (auto _ : state) {
        auto image = Decode(kind, entry, 1);
        benchmark::DoNotOptimize(image);
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
    state.counters["output_bytes"] = static_cast<double>(once->Bits.size());
}

void DecodePictureBench(benchmark::State& state) {
    DecodeBench<DecodePicture>(state);
}
void DecodeMaskBench(benchmark::State& state) {
    DecodeBench<DecodeMask>(state);
}

// The floor: copying as many bytes as a decoder writes into a buffer allocated once, so neither the
// allocation nor the zeroing of a new buffer is timed. Items are a 512 x 512 picture's pixels per copy.
void CopyBench(benchmark::State& state) {
    const auto bytes = static_cast<std::size_t>(state.range(0));
    std::vector<std::uint8_t> from(bytes);
    std::iota(from.begin(), from.end(), std::uint8_t{0});
    std::vector<std::uint8_t> to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
    state.counters["output_bytes"] = static_cast<double>(bytes);
}

// kind: 0 MIP, 1 SRB, 2 PBF.
BENCHMARK(DecodePictureBench)->ArgNames({"kind", "code"})->ArgsProduct({{0, 1, 2}, {0, 3, 4, 5}});
// PBF pictures of codes 1-2 carry no mask.
BENCHMARK(DecodeMaskBench)
    ->ArgNames({"kind", "code"})
    ->ArgsProduct({{0, 1}, {1, 4, 5}})
    ->ArgsProduct({{2}, {4, 5}});
// What the decoders write for 512 x 512: 4-bit rows (128 KiB), 8-bit rows (256 KiB), 24-bit rows (768 KiB).
BENCHMARK(CopyBench)->ArgName("bytes")->Arg(kPixels / 2)->Arg(kPixels)->Arg(kPixels * 3);

} // namespace
} // namespace kelvot

BENCHMARK_MAIN();
