// The per-frame pixel routines over whole frames, at the scalar level and at the best level of
// this CPU, next to memcpy floors that move as many bytes (bytes read + bytes written); names are
// "<routine>/<size>/<level>" and "memcpy <n> B/px/<size>" with n = half the routine's traffic per
// pixel. scripts/bench.sh turns the report into a table of ms per frame and ratios to the floor.
//
// Traffic per pixel: Yuy2 import reads 2 and writes 4 bytes, Bgr24 import reads 3 and writes 4,
// the accumulators and the template read 8 and write 4. A memcpy of n bytes moves 2n.
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
#include "frame/frame_adapter.h"
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
const std::map<std::string, int> kBytesMoved = {{"import yuy2->3", 6}, {"import bgr24->3", 7},
                                                {"AccumulateMax", 12}, {"AccumulateMin", 12},
                                                {"BuildTemplate", 12}};

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

void RegisterImport(int32_t frameFormat, const std::string& routine, FrameSize s, Level level) {
  benchmark::RegisterBenchmark(
      (routine + "/" + s.name() + "/" + level.name).c_str(),
      [=](benchmark::State& state) {
        std::vector<uint8_t> frame(size_t(s.width) * s.height * (frameFormat == kYuy2 ? 2 : 3));
        FillRandom(frame.data(), frame.size(), 1);
        FrameAdapter adapter;
        adapter.SetFormat(s.width, s.height, frameFormat);
        ImageBuffer capture(s.width, s.height);
        const int64_t bytes = int64_t{s.width} * s.height * kBytesMoved.at(routine);
        AtLevel(state, level, bytes, [&] {
          adapter.ImportRegion(frame.data(), Point{0, 0}, capture.bits, capture.size(),
                               capture.rect, kBgrLuma32);
        });
      })
      ->Unit(benchmark::kMillisecond);
}

// The accumulators see two alternating captures, as on video whose picture keeps changing a
// little; after the first frames most positions keep their pixel, as they do in real use.
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
        int frame = 0;
        if (routine == "AccumulateMax") {
          AtLevel(state, level, moved, [&] { AccumulateMax(captures[frame++ & 1], max); });
        } else if (routine == "AccumulateMin") {
          AtLevel(state, level, moved, [&] { AccumulateMin(captures[frame++ & 1], min); });
        } else {
          AtLevel(state, level, moved,
                  [&] { BuildTemplate(max, min, out, 0x00FF8000u, 50, 16, 0); });
        }
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
      RegisterImport(kYuy2, "import yuy2->3", s, level);
      RegisterImport(kBgr24, "import bgr24->3", s, level);
      for (const char* k : {"AccumulateMax", "AccumulateMin", "BuildTemplate"}) {
        RegisterKernel(k, s, level);
      }
    }
    for (int moved : {6, 7, 12}) RegisterFloor(moved, s);
  }
}

// Registered before main (Google Benchmark's, or any file's BENCHMARK_MAIN) runs.
[[maybe_unused]] const bool kRegistered = (RegisterAll(), true);

}  // namespace
}  // namespace vle
