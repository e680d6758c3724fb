// Decode throughput per picture kind and format code on 512 x 512 pictures, beside a plain copy of the
// same pixel bytes. Items processed are pixels, so the items/s column reads as pixels per second.

#include "images/pixel_decoders.h"
#include "picture_builder.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace kelvot {
namespace {

constexpr std::int16_t kSide = 512;
constexpr std::int64_t kPixels = std::int64_t(kSide) * kSide;

std::vector<std::uint8_t> Entry(PictureKind kind, std::uint8_t code) {
    return EncodePicture(RandomPicture(kind, code, kSide, kSide, 42));
}

void DecodePictureBench(benchmark::State& state) {
    const auto kind = static_cast<PictureKind>(state.range(0));
    const auto code = static_cast<std::uint8_t>(state.range(1));
    const auto entry = Entry(kind, code);
    for (auto _ : state) {
        auto image = DecodePicture(kind, entry);
        benchmark::DoNotOptimize(image);
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
}

void DecodeMaskBench(benchmark::State& state) {
    const auto kind = static_cast<PictureKind>(state.range(0));
    const auto code = static_cast<std::uint8_t>(state.range(1));
    const auto entry = Entry(kind, code);
    for (auto _ : state) {
        auto mask = DecodeMask(kind, entry);
        benchmark::DoNotOptimize(mask);
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
}

// The floor: copying the entry's pixel bytes into a fresh buffer, as the 4-bit decoder does row by row.
void MemcpyBench(benchmark::State& state) {
    const auto code = static_cast<std::uint8_t>(state.range(0));
    const auto spec = RandomPicture(PictureKind::Mip, code, kSide, kSide, 42);
    const auto entry = EncodePicture(spec);
    const std::size_t bytes = entry.size() - PixelOffset(spec);
    for (auto _ : state) {
        std::vector<std::uint8_t> copy(bytes);
        std::memcpy(copy.data(), entry.data() + PixelOffset(spec), bytes);
        benchmark::DoNotOptimize(copy);
    }
    state.SetItemsProcessed(state.iterations() * kPixels);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
}

// kind: 0 MIP, 1 SRB, 2 PBF.
BENCHMARK(DecodePictureBench)->ArgNames({"kind", "code"})->ArgsProduct({{0, 1, 2}, {0, 3, 4, 5}});
// PBF pictures of codes 1-2 carry no mask.
BENCHMARK(DecodeMaskBench)
    ->ArgNames({"kind", "code"})
    ->ArgsProduct({{0, 1}, {1, 4, 5}})
    ->ArgsProduct({{2}, {4, 5}});
// code 0: the 128 KiB of a 4-bit picture; code 3: the 512 KiB of a 16-bit one.
BENCHMARK(MemcpyBench)->ArgName("code")->Arg(0)->Arg(3);

} // namespace
} // namespace kelvot

BENCHMARK_MAIN();
