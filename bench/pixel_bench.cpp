// The template rebuild over whole frames, at the scalar level and at the best level of this CPU,
// next to a memcpy floor that moves as many bytes (bytes read + bytes written); names are
// "<routine>/<size>/<level>" and "memcpy <n> B/px/<size>" with n = half the routine's traffic per
// pixel. scripts/bench.sh turns the report into a table of ms per frame and ratios to the floor.
// The import and the accumulators are scalar only (the product folds frames in the capture rows,
// which pipeline_bench measures); the template is rebuilt on every frame that shows it.
//
// Traffic per pixel: the template reads 8 and writes 4 bytes. A memcpy of n bytes moves 2n.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/image_buffer.h"
#include "core/template_kernels.h"
#include "fill_random.h"
#include "platform/cpu.h"

namespace vle {
namespace {

using bench::FillRandom;

struct FrameSize {
  int32_t width, height;
  std::string name() const { return std::to_string(width) + "x" + std::to_string(height); }
};
const FrameSize kSizes[] = {{720, 576}, {1920, 1080}};

struct Level {
  std::string name;
  int mask;
};

Level BestLevel() {
  const int f = platform::CpuFeatures();
  if (f & platform::kCpuAvx2) return {"avx2", -1};
  if (f & platform::kCpuSse2) return {"sse2", -1};
  return {"scalar", 0};
}

// Bytes moved per pixel, by routine; the floor copies half of it.
const std::map<std::string, int> kBytesMoved = {{"BuildTemplate", 12}};

// Runs `body` once per iteration at `level`, with the CPU mask restored afterwards.
template <typename Body>
void AtLevel(benchmark::State& state, const Level& level, int64_t bytesPerFrame, Body body) {
  platform::MaskCpuFeatures(level.mask);
  for (auto _ : state) {
    body();
    benchmark::ClobberMemory();
  }
  platform::MaskCpuFeatures(-1);
  state.SetBytesProcessed(state.iterations() * bytesPerFrame);
}

// The accumulators have seen two captures, as on video whose picture keeps changing a little.
void RegisterKernel(const std::string& routine, FrameSize s, Level level) {
  benchmark::RegisterBenchmark(
      (routine + "/" + s.name() + "/" + level.name).c_str(),
      [=](benchmark::State& state) {
        ImageBuffer captures[2] = {{s.width, s.height}, {s.width, s.height}};
        ImageBuffer max(s.width, s.height), min(s.width, s.height), out(s.width, s.height);
        const size_t bytes = size_t(s.width) * s.height * 4;
        FillRandom(captures[0].bits, bytes, 2);
        FillRandom(captures[1].bits, bytes, 3);
        ResetAccumulators(&max, &min);
        for (const ImageBuffer& c : captures) {
          AccumulateMax(c, max);
          AccumulateMin(c, min);
        }
        const int64_t moved = int64_t{s.width} * s.height * kBytesMoved.at(routine);
        AtLevel(state, level, moved, [&] { BuildTemplate(max, min, out, 0x00FF8000u, 50, 16, 0); });
      })
      ->Unit(benchmark::kMillisecond);
}

std::string FloorName(int bytesMovedPerPixel, FrameSize s) {
  char name[64];
  std::snprintf(name, sizeof name, "memcpy %.1f B/px/%s", bytesMovedPerPixel / 2.0,
                s.name().c_str());
  return name;
}

void RegisterFloor(int bytesMovedPerPixel, FrameSize s) {
  benchmark::RegisterBenchmark(
      FloorName(bytesMovedPerPixel, s).c_str(),
      [=](benchmark::State& state) {
        const size_t bytes = size_t(s.width) * s.height * bytesMovedPerPixel / 2;
        std::vector<uint8_t> src(bytes), dst(bytes);
        FillRandom(src.data(), bytes, 4);
        for (auto _ : state) {
          std::memcpy(dst.data(), src.data(), bytes);
          benchmark::DoNotOptimize(dst.data());
          benchmark::ClobberMemory();
        }
        state.SetBytesProcessed(state.iterations() * int64_t(bytes) * 2);
      })
      ->Unit(benchmark::kMillisecond);
}

void RegisterAll() {
  const Level levels[] = {{"scalar", 0}, BestLevel()};
  for (const FrameSize& s : kSizes) {
    for (const Level& level : levels) {
      RegisterKernel("BuildTemplate", s, level);
    }
    RegisterFloor(kBytesMoved.at("BuildTemplate"), s);
  }
}

// Registered before main (Google Benchmark's, or any file's BENCHMARK_MAIN) runs.
[[maybe_unused]] const bool kRegistered = (RegisterAll(), true);

}  // namespace
}  // namespace vle
