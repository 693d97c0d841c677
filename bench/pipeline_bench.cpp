// The whole per-frame work of the Capturing state, timed through the descriptor's processFrame:
// import, both accumulators, the template, the overlay and the outline, under the buffer lock, as a
// host calls it. Next to it, in the same run, the traffic floor: memcpy moving as many bytes as the
// frame must move at least (PipelineCase::trafficBytes). The OpenCV peer is in opencv_peer.cpp.
//
// Names: "pipeline <format>[ after clear]/<size>/<level>" and "floor <format>/<size>".
//   steady       the picture changes everywhere on every frame (a pool of random frames), the
//                accumulators have seen the pool: what most frames of a long capture look like;
//   after clear  the accumulators are reset before every frame (untimed): every position of both
//                accumulators and of the template changes, the most a frame can write.
// Each timed frame starts from a fresh copy of its host frame (untimed), as a decoder hands it over.
#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "pipeline_case.h"
#include "platform/cpu.h"
#include "plugin_host.h"

namespace vle::bench {
namespace {

struct Level {
  const char* name;
  int mask;  // features left on
};

std::vector<Level> Levels() {
  std::vector<Level> levels{{"scalar", 0}};
  const int f = platform::CpuFeatures();
  if (f & platform::kCpuSse2) levels.push_back({"sse2", platform::kCpuSse2});
  if (f & platform::kCpuAvx2) levels.push_back({"avx2", platform::kCpuSse2 | platform::kCpuAvx2});
  return levels;
}

}  // namespace

const std::vector<std::vector<uint8_t>>& FramePool(const PipelineCase& c) {
  static std::map<std::pair<int64_t, int32_t>, std::vector<std::vector<uint8_t>>> pools;
  auto& pool = pools[{c.pixels(), c.format}];
  if (pool.empty()) {
    const size_t bytes = HostFrameBytes(c.width, c.height, c.format);
    pool.assign(kFramePool, std::vector<uint8_t>(bytes));
    for (int i = 0; i < kFramePool; ++i) FillRandom(pool[i].data(), bytes, 10 + i);
  }
  return pool;
}

namespace {

void RegisterPipeline(const PipelineCase& c, const Level& level, bool afterClear) {
  const std::string name = "pipeline " + c.formatName() + (afterClear ? " after clear" : "") + "/" +
                           c.sizeName() + "/" + level.name;
  benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& state) {
    const size_t bytes = HostFrameBytes(c.width, c.height, c.format);
    const auto& pool = FramePool(c);
    std::vector<uint8_t> frame = pool[0];
    platform::MaskCpuFeatures(level.mask);
    PluginHost& host = SharedHost();
    if (!host.StartCapturing(c.width, c.height, c.format, kDefaultSettings, frame.data())) {
      platform::MaskCpuFeatures(-1);
      state.SkipWithError("the plug-in did not start capturing");
      return;
    }
    for (const auto& f : pool) {  // the accumulators see every picture of the pool once
      frame = f;
      host.Process(frame.data());
    }
    int n = 0;
    for (auto _ : state) {
      state.PauseTiming();
      std::memcpy(frame.data(), pool[n++ % kFramePool].data(), bytes);
      if (afterClear) host.ResetAccumulators();
      state.ResumeTiming();
      benchmark::DoNotOptimize(host.Process(frame.data()));
      benchmark::ClobberMemory();
    }
    platform::MaskCpuFeatures(-1);
    host.Close();
    state.SetBytesProcessed(state.iterations() * c.trafficBytes());
  })->Unit(benchmark::kMillisecond);
}

// memcpy of half the traffic: it reads and writes as many bytes as the pipeline must.
void RegisterFloor(const PipelineCase& c) {
  const std::string name = "floor " + c.formatName() + "/" + c.sizeName();
  benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& state) {
    const size_t bytes = size_t(c.trafficBytes() / 2);
    std::vector<uint8_t> src(bytes), dst(bytes);
    FillRandom(src.data(), bytes, 4);
    std::memset(dst.data(), 0, bytes);
    for (auto _ : state) {
      std::memcpy(dst.data(), src.data(), bytes);
      benchmark::DoNotOptimize(dst.data());
      benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(bytes) * 2);
  })->Unit(benchmark::kMillisecond);
}

void RegisterAll() {
  for (const PipelineCase& c : PipelineCases()) {
    for (const Level& level : Levels()) {
      RegisterPipeline(c, level, false);
      RegisterPipeline(c, level, true);
    }
    RegisterFloor(c);
  }
}

[[maybe_unused]] const bool kRegistered = (RegisterAll(), true);

}  // namespace
}  // namespace vle::bench
