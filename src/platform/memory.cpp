#include "platform/memory.h"

#include <cstdint>
#include <cstdlib>

namespace vle::platform {
namespace {
int g_skip = 0;
int g_fail = 0;

bool InjectedFailure() {
  if (g_fail <= 0) return false;
  if (g_skip > 0) {
    --g_skip;
    return false;
  }
  --g_fail;
  return true;
}
}  // namespace

// The block is over-allocated by the alignment; the byte distance to the malloc'd start is kept
// in the word just below the returned address so that AlignedFree needs no size.
void* AlignedAlloc(std::size_t bytes) {
  if (bytes == 0 || InjectedFailure()) return nullptr;
  if (bytes > SIZE_MAX - kPixelAlignment - sizeof(void*)) return nullptr;
  void* raw = std::malloc(bytes + kPixelAlignment + sizeof(void*));
  if (raw == nullptr) return nullptr;
  std::uintptr_t start = reinterpret_cast<std::uintptr_t>(raw) + sizeof(void*);
  std::uintptr_t aligned = (start + kPixelAlignment - 1) & ~(std::uintptr_t{kPixelAlignment} - 1);
  reinterpret_cast<void**>(aligned)[-1] = raw;
  return reinterpret_cast<void*>(aligned);
}

void AlignedFree(void* block) {
  if (block == nullptr) return;
  std::free(static_cast<void**>(block)[-1]);
}

void FailAllocations(int skip, int count) {
  g_skip = skip;
  g_fail = count;
}

}  // namespace vle::platform
