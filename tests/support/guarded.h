// Test buffers that catch routines reaching outside their rows.
//
// GuardedBuffer<T>: `count` elements with guard elements on both sides holding a position-
// dependent pattern; GuardsIntact() names the first guard element a routine overwrote. The data
// can be shifted off the 64-byte boundary to exercise unaligned loads and stores.
//
// ExactBlock<T>: a heap block that ends exactly where the data ends, so a read past the end hits
// the allocator's red zone under AddressSanitizer (the native-asan tree); writes go to a
// GuardedBuffer instead, where every build sees them.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace vle::test {

template <typename T>
class GuardedBuffer {
 public:
  // `shift` elements past a 64-byte boundary; `guard` elements on each side.
  explicit GuardedBuffer(std::size_t count, std::size_t shift = 0, std::size_t guard = 64)
      : count_(count), guard_(guard) {
    const std::size_t lead = guard + shift;
    storage_.resize(lead + count + guard + 64 / sizeof(T) + 1);
    // Place data at the requested distance from a 64-byte boundary.
    const auto base = reinterpret_cast<std::uintptr_t>(storage_.data());
    const std::size_t pad = ((64 - base % 64) % 64) / sizeof(T);
    begin_ = pad + lead;
    for (std::size_t i = 0; i < storage_.size(); ++i) storage_[i] = Pattern(i);
  }

  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;
  GuardedBuffer(GuardedBuffer&&) = default;  // the vector keeps its block, so the shift holds

  T* data() { return storage_.data() + begin_; }
  const T* data() const { return storage_.data() + begin_; }
  std::size_t size() const { return count_; }
  T& operator[](std::size_t i) { return data()[i]; }
  const T& operator[](std::size_t i) const { return data()[i]; }

  // Sets every data element (guards keep their pattern).
  void Fill(T value) {
    for (std::size_t i = 0; i < count_; ++i) data()[i] = value;
  }

  ::testing::AssertionResult GuardsIntact() const {
    for (std::size_t k = 1; k <= guard_; ++k) {
      const std::size_t i = begin_ - k;
      if (storage_[i] != Pattern(i)) {
        return ::testing::AssertionFailure() << "overwrite before the data at index -" << k;
      }
    }
    for (std::size_t k = 0; k < guard_; ++k) {
      const std::size_t i = begin_ + count_ + k;
      if (storage_[i] != Pattern(i)) {
        return ::testing::AssertionFailure() << "overwrite after the data at index " << count_ + k;
      }
    }
    return ::testing::AssertionSuccess();
  }

 private:
  // Varies with the position, so that a stray store of a constant cannot go unnoticed.
  static T Pattern(std::size_t i) {
    const uint64_t x = (uint64_t(i) + 1) * 0x9E3779B97F4A7C15ull;
    T value;
    std::memcpy(&value, &x, sizeof(T) <= sizeof(x) ? sizeof(T) : sizeof(x));
    return value;
  }

  std::vector<T> storage_;
  std::size_t count_;
  std::size_t guard_;
  std::size_t begin_ = 0;
};

template <typename T>
class ExactBlock {
 public:
  // `count` elements starting `shift` elements into the block, which ends right after them.
  ExactBlock(std::size_t count, std::size_t shift = 0)
      : block_(new T[shift + count]), shift_(shift), count_(count) {}

  T* data() { return block_.get() + shift_; }
  const T* data() const { return block_.get() + shift_; }
  std::size_t size() const { return count_; }

 private:
  std::unique_ptr<T[]> block_;
  std::size_t shift_;
  std::size_t count_;
};

// Fills [data, data + count) with reproducible random bytes.
inline void FillRandom(void* data, std::size_t bytes, std::mt19937& rng) {
  auto* p = static_cast<uint8_t*>(data);
  for (std::size_t i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(rng() >> 24);
}

}  // namespace vle::test
