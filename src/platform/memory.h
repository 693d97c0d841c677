// 16-byte aligned heap blocks for pixels, tables and line buffers.
#pragma once

#include <cstddef>

namespace vle::platform {

constexpr std::size_t kPixelAlignment = 16;

// Returns null when the block cannot be had (including sizes of 0 and sizes that do not fit the
// address space); never throws.
void* AlignedAlloc(std::size_t bytes);
void AlignedFree(void* block);

// Test hook for fault injection: the next `count` calls of AlignedAlloc fail after `skip` calls
// succeed. FailAllocations(0, 0) turns injection off. Not thread-safe; tests only.
void FailAllocations(int skip, int count);

}  // namespace vle::platform
