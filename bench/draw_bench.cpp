// DrawImage with the template's code 0 over whole frames, as the frame driver draws it, at the
// scalar level and the best level of this processor, next to a plain copy of the same bytes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "frame/frame_adapter.h"
#include "platform/cpu.h"

namespace vle {
namespace {

std::vector<uint32_t> RandomImage(int32_t w, int32_t h) {
  std::mt19937 rng(1);
  std::vector<uint32_t> image(std::size_t(w) * h);
  for (uint32_t& p : image) p = rng();
  return image;
}

// Arguments: width, height, frame format, CPU mask (0 scalar, 1 SSE2, -1 best).
void BM_DrawImageBgr32(benchmark::State& state) {
  const int32_t w = int32_t(state.range(0)), h = int32_t(state.range(1));
  const int32_t format = int32_t(state.range(2));
  platform::MaskCpuFeatures(int(state.range(3)));
  FrameAdapter adapter;
  adapter.SetFormat(w, h, format);
  const std::vector<uint32_t> image = RandomImage(w, h);
  std::vector<uint8_t> frame(std::size_t(w) * h * (format == kBgr24 ? 3 : 2));
  for (auto _ : state) {
    adapter.DrawImage(frame.data(), Point{0, 0}, image.data(), Size{w, h}, Rect{0, 0, w, h}, kBgr32,
                      100);
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
  platform::MaskCpuFeatures(-1);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(frame.size()));
}

// The floor: copying the frame's bytes from a buffer of the same size.
void BM_MemcpyFrame(benchmark::State& state) {
  const int32_t w = int32_t(state.range(0)), h = int32_t(state.range(1));
  const std::size_t bytes = std::size_t(w) * h * (state.range(2) == kBgr24 ? 3 : 2);
  std::vector<uint8_t> source(bytes, 7), frame(bytes);
  for (auto _ : state) {
    std::memcpy(frame.data(), source.data(), bytes);
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

void FrameSizes(benchmark::internal::Benchmark* b, bool withLevels) {
  for (int64_t format : {int64_t{kYuy2}, int64_t{kBgr24}}) {
    for (auto size : {std::pair<int64_t, int64_t>{720, 576}, {1920, 1080}}) {
      if (withLevels) {
        for (int64_t mask : {0, int(platform::kCpuSse2), -1}) {
          b->Args({size.first, size.second, format, mask});
        }
      } else {
        b->Args({size.first, size.second, format});
      }
    }
  }
}

BENCHMARK(BM_DrawImageBgr32)
    ->Apply([](benchmark::internal::Benchmark* b) { FrameSizes(b, true); })
    ->ArgNames({"w", "h", "bgr24", "cpu"});
BENCHMARK(BM_MemcpyFrame)
    ->Apply([](benchmark::internal::Benchmark* b) { FrameSizes(b, false); })
    ->ArgNames({"w", "h", "bgr24"});

}  // namespace
}  // namespace vle
