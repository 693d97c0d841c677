// Reproducible random bytes for the benchmarks' frames and buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>

namespace vle::bench {

inline void FillRandom(void* data, size_t bytes, uint32_t seed) {
  std::mt19937 rng(seed);
  auto* p = static_cast<uint8_t*>(data);
  size_t i = 0;
  for (; i + 4 <= bytes; i += 4) {
    const uint32_t v = rng();
    p[i] = uint8_t(v), p[i + 1] = uint8_t(v >> 8), p[i + 2] = uint8_t(v >> 16);
    p[i + 3] = uint8_t(v >> 24);
  }
  for (; i < bytes; ++i) p[i] = uint8_t(rng());
}

}  // namespace vle::bench
