// A byte block with guard zones on both sides, for catching writes outside a frame or a row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace vle::test {

class GuardedBytes {
 public:
  static constexpr std::size_t kGuard = 64;
  static constexpr uint8_t kGuardByte = 0xA5;

  // `size` usable bytes, starting `misalign` bytes further into the block than the front guard.
  explicit GuardedBytes(std::size_t size, std::size_t misalign = 0)
      : size_(size), front_(kGuard + misalign), storage_(front_ + size + kGuard, kGuardByte) {}

  uint8_t* data() { return storage_.data() + front_; }
  const uint8_t* data() const { return storage_.data() + front_; }
  std::size_t size() const { return size_; }

  void FillRandom(std::mt19937& rng) {
    for (std::size_t i = 0; i < size_; ++i) data()[i] = static_cast<uint8_t>(rng());
  }
  void Fill(uint8_t v) {
    for (std::size_t i = 0; i < size_; ++i) data()[i] = v;
  }

  // True when no byte before data() or past data() + size() has changed.
  bool GuardsIntact() const {
    for (std::size_t i = 0; i < front_; ++i) {
      if (storage_[i] != kGuardByte) return false;
    }
    for (std::size_t i = front_ + size_; i < storage_.size(); ++i) {
      if (storage_[i] != kGuardByte) return false;
    }
    return true;
  }

  std::vector<uint8_t> Bytes() const { return std::vector<uint8_t>(data(), data() + size_); }

 private:
  std::size_t size_;
  std::size_t front_;
  std::vector<uint8_t> storage_;
};

}  // namespace vle::test
