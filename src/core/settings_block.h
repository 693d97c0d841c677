// The eight settings of the plug-in, as one 32-byte block, and the key colour in pixel order.
#pragma once

#include <atomic>
#include <cstdint>

namespace vle {

// Field order is the block's layout; the settings file uses another order (settings/settings_table).
struct SettingsBlock {
  int32_t logoPosX;          // tenths of a percent of the frame width, 0..1000
  int32_t logoPosY;          // tenths of a percent of the frame height
  int32_t logoSizeX;
  int32_t logoSizeY;
  uint32_t colorKey;         // COLORREF 0x00BBGGRR
  uint32_t inverseSelection; // 0 or 1
  int32_t threshold;         // luma levels 0..255
  int32_t blackLevel;
};
static_assert(sizeof(SettingsBlock) == 32, "settings block is copied as 32 bytes");

// The settings window's stored position that means "none remembered": centre over the host.
constexpr int32_t kNoWindowPosition = -100;

// The defaults of a fresh installation.
constexpr SettingsBlock kDefaultSettings{20, 20, 200, 200, 0x00FF8000u, 0, 50, 0};

// The key colour with its first and third bytes exchanged: 0x00BBGGRR becomes 0x00RRGGBB, the
// order of a BgrLuma32/Bgr32 pixel read as a little-endian word. The top byte is kept.
constexpr uint32_t KeyPixel(uint32_t colorKey) {
  return (colorKey & 0xFF00FF00u) | ((colorKey & 0xFFu) << 16) | ((colorKey >> 16) & 0xFFu);
}
static_assert(KeyPixel(0x00FF8000u) == 0x000080FFu, "default key colour");

// The settings in effect: written by the user-interface thread, read by the video thread from its
// next frame on. Each field is one relaxed atomic 32-bit value (the same machine code as a plain
// aligned store on x86, without the data race); a whole-block copy may be seen half-done by the
// other thread, which only delays part of a change by one frame.
class SharedSettings {
 public:
  SettingsBlock Load() const {
    return SettingsBlock{logoPosX.load(kOrder),  logoPosY.load(kOrder),  logoSizeX.load(kOrder),
                         logoSizeY.load(kOrder), colorKey.load(kOrder),  inverseSelection.load(kOrder),
                         threshold.load(kOrder), blackLevel.load(kOrder)};
  }
  void Store(const SettingsBlock& b) {
    logoPosX.store(b.logoPosX, kOrder);
    logoPosY.store(b.logoPosY, kOrder);
    logoSizeX.store(b.logoSizeX, kOrder);
    logoSizeY.store(b.logoSizeY, kOrder);
    colorKey.store(b.colorKey, kOrder);
    inverseSelection.store(b.inverseSelection, kOrder);
    threshold.store(b.threshold, kOrder);
    blackLevel.store(b.blackLevel, kOrder);
  }

  static constexpr std::memory_order kOrder = std::memory_order_relaxed;
  std::atomic<int32_t> logoPosX{0};
  std::atomic<int32_t> logoPosY{0};
  std::atomic<int32_t> logoSizeX{0};
  std::atomic<int32_t> logoSizeY{0};
  std::atomic<uint32_t> colorKey{0};
  std::atomic<uint32_t> inverseSelection{0};
  std::atomic<int32_t> threshold{0};
  std::atomic<int32_t> blackLevel{0};
};

}  // namespace vle
